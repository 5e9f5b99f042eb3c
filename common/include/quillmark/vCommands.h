#pragma once
#include <stdint.h>

// Command bytes (data[0]) that the library and the updater send and recognise. The last two are
// link-control codes: they stand in the address byte of a frame, which is why they are odd.
enum : uint8_t {
    // Heartbeat: data [0, 0 "up" or 1 "down"], answered with [0, state + 2].
    cmdHB = 0,
    // The system entity.
    cmdSYSTEM = 3,
    // Store-slot transfers.
    cmdSLOT = 4,
    // Stream enable, disable and status.
    cmdSTREAM = 93,
    // Factory data read and write.
    cmdFACTORY = 94,
    // The firmware-upgrade sequence.
    cmdUPGRADE = 95,
    // Zero-length frame [0xAD, 0]: the device answers with a zero-length frame from its address.
    cmdSYNC = 0xAD,
    // One-byte frame [0xAF, 1, on]: 1 when a link starts, 0 when it stops.
    cmdFORCEROUTE = 0xAF,
};

// Heartbeat states in data[1], and the amount the answer adds to them.
enum : uint8_t {
    kHeartbeatUp = 0,
    kHeartbeatDown = 1,
    kHeartbeatAnswerOffset = 2,
};
