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

// ---- clock and sleeping ----

// ---- terminals ----

// True when the C stream is attached to an interactive terminal.
bool isTerminal(std::FILE *stream);

// ---- TCP sockets and readiness ----

// ---- serial ports ----

// ---- USB bus (real or simulated backend, see usb_bus.h) ----

// ---- network interfaces ----

} // namespace platform
