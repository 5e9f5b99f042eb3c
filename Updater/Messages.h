#pragma once
#include "UpdaterDisplayInterface.h"

#include <cstdint>
#include <cstdio>

// Debug-mask bits: which family of diagnostics "-X" turns on.
enum DebugMaskBits : uint32_t {
    DEBUG_Updater = 0x00000001,
    DEBUG_History = 0x00000002,
    DEBUG_Attributes = 0x00000004,
    DEBUG_BirdFile = 0x00000008,
    DEBUG_Network_Legacy = 0x00000010,
    DEBUG_ServerComm = 0x00000020,
    DEBUG_Network = 0x00000100,
    DEBUG_Network_SR = 0x00000200,
    DEBUG_Network_FIRM = 0x00000400,
    DEBUG_NXPSerial = 0x00001000,
    DEBUG_NXPSerial_E = 0x00002000,
    DEBUG_NXPSerial_SR = 0x00004000,
    DEBUG_APP = 0x00010000,
    DEBUG_iMXSerial = 0x10000000,
};

// Formats a user message (printf conventions, cut to 2047 characters) and hands it to the
// display: level 1 to showError, any other level to showMessage. Nothing while silent.
void displayMessage(UpdaterDisplayInterface *display, int level, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

// Writes a diagnostic to the debug stream in one write, when mask is 0 or shares a bit with the
// debug mask. Texts carry their own line ends.
void debugPrint(uint32_t mask, const char *format, ...) __attribute__((format(printf, 2, 3)));

// Adds bits to the process-wide debug mask; bits are never cleared.
void setDebugMask(uint32_t bits);
uint32_t debugMask();

// Replaces the debug stream (null: diagnostics go nowhere).
void setDebugStream(std::FILE *stream);
