#pragma once
#include <quillmark/vExport.h>
#include <quillmark/vUei.h>
#include <stdint.h>

// A byte-sequence value travels as a run of packets [command, option, index, up to 24 value
// bytes, sequence byte]. The sequence byte holds the packet's number in its low 7 bits and, on
// every packet but the last, the continue flag in bit 7.
#define UEI_BYTES_PER_PACKET 24
#define UEI_BYTES_CONTINUE ((uint8_t)0x80)
#define UEI_BYTES_SEQUENCE_MASK ((uint8_t)0x7F)
#define UEI_BYTES_MAX_PACKETS 128
#define UEI_BYTES_MAX_LENGTH (UEI_BYTES_PER_PACKET * UEI_BYTES_MAX_PACKETS)

// The sequence number and the continue flag of a byte-sequence packet (0 and false for null).
V_API uint8_t vUEI_getBytesSequence(const vPacket *packet);
V_API bool vUEI_getBytesContinue(const vPacket *packet);
// True when the packet is full: data size 27 or 28.
V_API bool vUEI_getBytesFullPacket(const vPacket *packet);

// The number of packets that carry a byte sequence of `length` bytes (1 for an empty one), or 0
// when the sequence is too long for the 7-bit sequence number.
V_API uint32_t vUEI_GetBytesPacketCount(uint32_t length);
// Packet number `sequence` of the run that carries request->value.bytesLength bytes from
// request->value.bytesData; null when the request is not a byte sequence, has no data, is too
// long, when `sequence` is past its last packet, or when memory is short.
V_API vPacket *vUEI_CreateBytesPacket(const uei *request, uint32_t sequence);
