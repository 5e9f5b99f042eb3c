#pragma once
#include <quillmark/vErr.h>
#include <quillmark/vExport.h>
#include <quillmark/vPacket.h>
#include <stdint.h>

// Unsolicited UEI packets by which a device streams an entity's value. data[3] names the kind;
// a sample then carries an optional subindex, a 64-bit big-endian timestamp, the value and a
// closing zero byte.
typedef enum STREAM_PACKET : int32_t {
    STREAM_PACKET_INVALID = 0,
    STREAM_PACKET_U8 = 1,
    STREAM_PACKET_U16 = 2,
    STREAM_PACKET_U32 = 3,
    // Any stream packet whose last data byte is nonzero: it carries no single sample.
    STREAM_PACKET_BYTES = 4,
    STREAM_PACKET_SUBINDEX_U8 = 5,
    STREAM_PACKET_SUBINDEX_U16 = 6,
    STREAM_PACKET_SUBINDEX_U32 = 7,
} STREAM_PACKET;

// True for a UEI packet of more than 4 data bytes, without request flags, marked as a stream
// sample in its index byte.
V_API bool vUEI_isStreamPacket(const vPacket *packet);

// True, with the kind, for a stream packet of a known kind; false with STREAM_PACKET_INVALID
// otherwise. `kind` may be null.
V_API bool vStreamPacket_GetType(const vPacket *packet, STREAM_PACKET *kind);
// True for the kinds that carry a subindex before the timestamp.
V_API bool vStreamPacket_IsSubindexType(STREAM_PACKET kind);
// True for a stream packet of a sample kind, closed by a zero byte, of its kind's exact size.
V_API bool vStreamPacket_IsSample(const vPacket *packet);
// The sample's timestamp, value (widened to 32 bits) and subindex (0 for kinds without one);
// any out pointer may be null. vErrSize for STREAM_PACKET_BYTES, vErrPacket for a packet that
// is not a sample.
V_API vErr vStreamPacket_GetSample(const vPacket *packet, uint64_t *timestamp, uint32_t *value,
                                   uint8_t *subindex);
// The upper and lower 32 bits of a timestamp; either out pointer may be null.
V_API void vStreamPacket_GetTimestampParts(uint64_t timestamp, uint32_t *upper, uint32_t *lower);
