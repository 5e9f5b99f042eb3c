#pragma once
#include <quillmark/vErr.h>
#include <quillmark/vExport.h>
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

// What vDirectory_List hands to its callback for each entry. path is valid only during the
// callback.
typedef struct vDirectoryEntry {
    const char *path;     // the directory joined with the entry's name
    uint32_t size;        // low 32 bits of the entry's size in bytes
    uint32_t isDirectory; // 1 for a directory, else 0
} vDirectoryEntry;

// Returns false to stop the listing.
typedef bool (*vDirectory_ListCallback)(const vDirectoryEntry *entry, void *reference);

// Sizes are buffer sizes in bytes, terminator included.
V_API bool vDirectory_Exists(const char *path);
V_API vErr vDirectory_Ensure(const char *path, uint32_t mode);
V_API vErr vDirectory_List(const char *directory, vDirectory_ListCallback callback,
                           void *reference);
V_API vErr vDirectory_Delete(const char *path);
V_API vErr vDirectory_DeleteTree(const char *path);
V_API vErr vDirectory_CWD(char *buffer, size_t size);
V_API vErr vDirectory_ExecutableFilePath(char *buffer, size_t size);
V_API vErr vDirectory_GetHomeDirectory(char *buffer, size_t size);
V_API vErr vDirectory_JoinPath(char *buffer, size_t size, const char *first, const char *second);
// Joins first and the further components (a null-terminated list) with the platform separator.
V_API vErr vDirectory_BuildPath(char *buffer, size_t size, const char *first, ...);
// The platform path separator as a one-character text.
V_API const char *vDirectory_Separator(void);
