#pragma once
// The library's one window onto the operating system. Every system call of the device library
// goes through the functions declared here; each backend folder (posix/ now, win32/ later)
// implements all of them, so callers never change when a backend is added.
//
// Conventions: functions return vErr (or a plain value where failure cannot happen), take and
// give zero-terminated 8-bit texts, and never throw.

#include <quillmark/vErr.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace platform {

// The path separator of this platform, as a one-character text.
extern const char *const kPathSeparator;

// ---- directories and process ----

// The outcome of creating one directory.
enum class DirectoryCreation { created, existedAlready, failed };

// One entry met while listing a directory. The name is valid only during the visit.
struct DirectoryItem {
    const char *name;
    uint64_t size;
    bool isDirectory; // a symbolic link counts as what it is, never as its target
};

// Returns false to stop the listing.
using DirectoryVisitor = bool (*)(const DirectoryItem &item, void *reference);

// True when the path names an existing directory (following symbolic links).
bool isDirectory(const char *path);
DirectoryCreation createDirectory(const char *path, uint32_t mode);
// Removes an empty directory.
bool removeDirectory(const char *path);
// Removes one non-directory entry: vErrNotFound, vErrPermission or vErrIO on failure.
vErr removeFileEntry(const char *path);
// Visits every entry in the order the system lists them, "." and ".." included. False when the
// directory cannot be opened.
bool listDirectory(const char *path, DirectoryVisitor visitor, void *reference);
// Both fail when the text does not fit into size bytes, terminator included.
bool currentDirectory(char *buffer, size_t size);
bool executableFilePath(char *buffer, size_t size);
// The value of an environment variable, or null when it is not set.
const char *environmentValue(const char *name);

// ---- files ----

// The operating system's handle of an open file.
using FileHandle = int;

// How openFile opens a file. Sharing follows what Linux offers: advisory locks that keep two
// exclusive writers (or an exclusive writer and a shared writer) apart, never readers.
enum class FileOpenMode {
    ReadShared,     // existing file only, read
    WriteExclusive, // created or truncated, written through to the disk
    AppendShared,   // opened or created, read and written through, positioned at the end
};

// On failure errno tells why (the callers' diagnostics print it). A directory is refused with
// EISDIR.
vErr openFile(const char *path, FileOpenMode mode, FileHandle *handle);
// Creates a new, empty file beside path (same directory, a name beginning with "." so that
// listings that skip hidden entries pass over it), opened for writing without write-through.
// The created path goes into created. errno tells why on failure.
vErr createFileBeside(const char *path, char *created, std::size_t size, FileHandle *handle);
vErr closeFile(FileHandle handle);
// Reads until length bytes arrived or the file ended; vErrRead on a system failure.
vErr readFile(FileHandle handle, void *buffer, std::size_t length, std::size_t *count);
// Writes all bytes or fails with vErrWrite; count holds what reached the file either way.
vErr writeFile(FileHandle handle, const void *data, std::size_t length, std::size_t *count);
// Waits until the file's data is on the disk.
vErr flushFileData(FileHandle handle);
vErr fileSize(FileHandle handle, std::uint64_t *size);
vErr filePosition(FileHandle handle, std::uint64_t *position);
vErr setFilePosition(FileHandle handle, std::uint64_t position);
// True when path names an existing entry that is not a directory.
bool isNonDirectory(const char *path);
// Renames from over to in one step and makes the new directory entry durable; to keeps its old
// content when this fails.
vErr replaceFile(const char *from, const char *to);

// ---- clock and sleeping ----

// Milliseconds of a clock that never jumps (not the wall clock).
std::uint64_t monotonicMilliseconds();
// Sleeps the whole time, resuming after signals.
void sleepMilliseconds(std::uint32_t milliseconds);

// ---- terminals ----

// True when the C stream is attached to an interactive terminal.
bool isTerminal(std::FILE *stream);

// ---- TCP sockets and readiness ----

// ---- serial ports ----

// ---- USB bus (real or simulated backend, see usb_bus.h) ----

// ---- network interfaces ----

} // namespace platform
