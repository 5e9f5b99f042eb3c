#pragma once
#include <quillmark/vErr.h>
#include <quillmark/vExport.h>
#include <stddef.h>
#include <stdint.h>

// A packet's check word while it is alive.
#define V_PACKET_CHECK ((uint16_t)0xBEEF)
// The most data bytes one packet carries.
#define V_PACKET_MAX_DATA 28
// The longest frame on the wire: address, length and data bytes.
#define V_PACKET_MAX_FRAME (V_PACKET_MAX_DATA + 2)

// One device packet. On the wire it travels as the frame [address, dataSize, data...]; the
// three frame fields lie next to each other, so &address is the frame's first byte.
typedef struct vPacket {
    uint16_t check;
    // Frame bytes taken in so far; 2 + dataSize once the packet is complete.
    uint8_t byteCount;
    // Destination of an outgoing packet, sender of an incoming one: even and nonzero.
    uint8_t address;
    uint8_t dataSize;
    uint8_t data[V_PACKET_MAX_DATA];
} vPacket;

#ifdef __cplusplus
static_assert(offsetof(vPacket, dataSize) == offsetof(vPacket, address) + 1 &&
                  offsetof(vPacket, data) == offsetof(vPacket, address) + 2,
              "a packet's frame bytes must be contiguous");
#endif

// True for a non-null pointer to a live packet.
V_API bool vVALIDPACKET(const vPacket *packet);

// A new empty packet, ready to be fed received bytes; null when memory is short.
V_API vPacket *vPacket_Create(void);
// A new complete packet holding `length` bytes of `data`; null when data is null, length is
// above 28 or memory is short. The address is taken as given.
V_API vPacket *vPacket_CreateWithData(uint8_t address, uint32_t length, const uint8_t *data);
// A new packet with the same address and data; null for an invalid packet.
V_API vPacket *vPacket_Copy(const vPacket *packet);
// Frees the packet and nulls the caller's pointer.
V_API vErr vPacket_Destroy(vPacket **packet);

// data[0], data[1] & 0x3F and data[2] & 0x1F: vErrParam for a null out pointer, vErrPacket for
// an invalid packet or one too short to hold the byte.
V_API vErr vPacket_GetCmd(const vPacket *packet, uint8_t *cmd);
V_API vErr vPacket_GetOption(const vPacket *packet, uint8_t *option);
V_API vErr vPacket_GetIndex(const vPacket *packet, uint8_t *index);

// Empties the packet so that it can take in the next frame.
V_API vErr vPacket_Reset(vPacket *packet);
// Takes in one received frame byte: vErrPacket for a byte that cannot stand where it is (an odd
// or zero address, a length above 28, a byte past the frame's end), vErrOverrun past 30 bytes.
// After an error the caller resets the packet before the next frame.
V_API vErr vPacket_AddByte(vPacket *packet, uint8_t byte);
// True once every byte of the frame has been taken in.
V_API bool vPacket_IsComplete(const vPacket *packet);
