#pragma once
#include <quillmark/vErr.h>
#include <quillmark/vExport.h>
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

// An open file. Every call tests the record's check word first, so a null, closed or foreign
// handle is answered with vErrParam instead of touching memory.
typedef struct vFileRecord *vFileHandle;

typedef enum vFileMode {
    // Existing file only; others may read and write it meanwhile.
    vFileModeRead = 0,
    // Created or truncated; no other writer while open; each write reaches the disk before it
    // returns.
    vFileModeWrite = 1,
    // Opened or created and positioned at its end; read and written; writes reach the disk.
    vFileModeAppend = 2,
} vFileMode;

// Longest path vFile_Open accepts.
#define V_FILE_PATH_MAX 260

// Sizes count bytes; text sizes include the terminator.
V_API bool vFile_Exists(const char *path);
V_API vFileHandle vFile_Open(const char *path, uint32_t mode);
V_API vErr vFile_Close(vFileHandle *handle);
V_API vErr vFile_Read(vFileHandle handle, void *buffer, size_t length, size_t *read);
V_API vErr vFile_Write(vFileHandle handle, const void *data, size_t length, size_t *written);
// printf rules; output of 65536 bytes or more is refused with vErrIO.
V_API vErr vFile_Printf(vFileHandle handle, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
// One line, its line feed (and any carriage return) included; vErrOverrun when the line goes on
// past size - 1 bytes, the rest coming with the next call.
V_API vErr vFile_ReadLine(vFileHandle handle, char *buffer, size_t size, size_t *length);
// origin 0: from the start, 1: from the current position, 2: from the end.
V_API vErr vFile_Seek(vFileHandle handle, int64_t offset, int32_t origin);
V_API vErr vFile_GetSize(vFileHandle handle, uint64_t *size);
V_API vErr vFile_GetPosition(vFileHandle handle, uint64_t *position);
V_API vErr vFile_Delete(const char *path);
// Unbuffered files are not offered on this platform: always vErrMode.
V_API vErr vFile_SetUnbuffered(vFileHandle handle);

// Replacing a file whole: vFile_OpenReplacement opens a new hidden file beside path for writing
// (mode vFileModeWrite); vFile_CommitReplacement puts its data on the disk, closes it and renames
// it over path in one step. vFile_Close on a replacement instead discards it. Until the commit
// succeeds the file at path keeps its old content, whatever fails on the way.
V_API vFileHandle vFile_OpenReplacement(const char *path);
V_API vErr vFile_CommitReplacement(vFileHandle *handle);
