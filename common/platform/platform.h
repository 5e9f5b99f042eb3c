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
