#pragma once
#include <quillmark/vErr.h>
#include <quillmark/vExport.h>
#include <quillmark/vPacket.h>
#include <stdint.h>

// A 64-bit name of one stream: bits 24..31 the module address, 16..23 the command, 8..15 the
// option code, 0..7 the index, 32..39 the subindex, the rest zero.

// In a registered key, this value in the command, option, index or subindex position matches
// every value there.
#define STREAM_WILDCARD ((uint8_t)0xFF)

typedef enum STREAM_KEY : int32_t {
    STREAM_KEY_MODULE = 0,
    STREAM_KEY_COMMAND = 1,
    STREAM_KEY_OPTION = 2,
    STREAM_KEY_INDEX = 3,
    STREAM_KEY_SUBINDEX = 4,
} STREAM_KEY;

// One row of a stream status report: a stream's key and its last sample value.
typedef struct StreamStatusEntry {
    uint64_t key;
    uint32_t value;
} StreamStatusEntry;

// The key of the five bytes, each taken whole.
V_API uint64_t vStreamKey_Create(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                                 uint8_t subindex);
// The byte of `key` that `element` names; 0 for an element outside STREAM_KEY.
V_API uint8_t vStreamKey_GetElement(uint64_t key, int32_t element);
// The key of the stream a stream packet belongs to: its sender, command, option code (6 bits),
// index (5 bits), and its subindex for the subindex kinds, else 0. vErrParam for a null key
// pointer, vErrPacket for a packet that is not a stream packet.
V_API vErr vStreamKey_FromPacket(const vPacket *packet, uint64_t *key);
