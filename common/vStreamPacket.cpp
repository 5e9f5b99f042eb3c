#include "vBigEndian.h"

#include <quillmark/vStreamPacket.h>
#include <quillmark/vUei.h>

namespace {

// Smallest data size of a stream packet, plus one.
constexpr uint8_t kStreamPacketMinSize = 5;
// data[3] names the kind; a subindex, when the kind has one, follows it.
constexpr uint8_t kKindByte = 3;

uint8_t lastDataByte(const vPacket &packet) {
    return packet.data[packet.dataSize - 1];
}

// The data size of a sample of `kind`: kind byte, subindex, 8-byte timestamp, value, zero.
uint8_t sampleSize(STREAM_PACKET kind) {
    switch (kind) {
    case STREAM_PACKET_U8:
        return 14;
    case STREAM_PACKET_U16:
        return 15;
    case STREAM_PACKET_U32:
        return 17;
    case STREAM_PACKET_SUBINDEX_U8:
        return 15;
    case STREAM_PACKET_SUBINDEX_U16:
        return 16;
    case STREAM_PACKET_SUBINDEX_U32:
        return 18;
    case STREAM_PACKET_INVALID:
    case STREAM_PACKET_BYTES:
        break;
    }
    return 0;
}

uint32_t loadValue(STREAM_PACKET kind, const uint8_t *bytes) {
    switch (kind) {
    case STREAM_PACKET_U8:
    case STREAM_PACKET_SUBINDEX_U8:
        return bytes[0];
    case STREAM_PACKET_U16:
    case STREAM_PACKET_SUBINDEX_U16:
        return bigEndian::load16(bytes);
    default:
        return bigEndian::load32(bytes);
    }
}

STREAM_PACKET classify(const vPacket *packet) {
    if (!vUEI_isStreamPacket(packet))
        return STREAM_PACKET_INVALID;
    if (lastDataByte(*packet) != 0)
        return STREAM_PACKET_BYTES;
    const uint8_t kind = packet->data[kKindByte];
    if (kind < STREAM_PACKET_U8 || kind > STREAM_PACKET_SUBINDEX_U32)
        return STREAM_PACKET_INVALID;
    return static_cast<STREAM_PACKET>(kind);
}

} // namespace

bool vUEI_isStreamPacket(const vPacket *packet) {
    return vVALIDPACKET(packet) && packet->dataSize >= kStreamPacketMinSize &&
           packet->dataSize <= V_PACKET_MAX_DATA && vUEI_isUEIPayload(packet) &&
           packet->data[1] <= UEI_OPTION_MASK && (packet->data[2] & UEI_INDEX_STREAM) != 0;
}

bool vStreamPacket_GetType(const vPacket *packet, STREAM_PACKET *kind) {
    const STREAM_PACKET found = classify(packet);
    if (kind != nullptr)
        *kind = found;
    return found != STREAM_PACKET_INVALID;
}

bool vStreamPacket_IsSubindexType(STREAM_PACKET kind) {
    return kind >= STREAM_PACKET_SUBINDEX_U8 && kind <= STREAM_PACKET_SUBINDEX_U32;
}

bool vStreamPacket_IsSample(const vPacket *packet) {
    const STREAM_PACKET kind = classify(packet);
    return sampleSize(kind) != 0 && packet->dataSize == sampleSize(kind);
}

vErr vStreamPacket_GetSample(const vPacket *packet, uint64_t *timestamp, uint32_t *value,
                             uint8_t *subindex) {
    const STREAM_PACKET kind = classify(packet);
    if (kind == STREAM_PACKET_BYTES)
        return vErrSize;
    if (!vStreamPacket_IsSample(packet))
        return vErrPacket;
    const bool hasSubindex = vStreamPacket_IsSubindexType(kind);
    const uint8_t *timestampBytes = &packet->data[kKindByte + 1 + (hasSubindex ? 1 : 0)];
    if (timestamp != nullptr)
        *timestamp = bigEndian::load64(timestampBytes);
    if (value != nullptr)
        *value = loadValue(kind, timestampBytes + 8);
    if (subindex != nullptr)
        *subindex = hasSubindex ? packet->data[kKindByte + 1] : 0;
    return vErrNone;
}

void vStreamPacket_GetTimestampParts(uint64_t timestamp, uint32_t *upper, uint32_t *lower) {
    if (upper != nullptr)
        *upper = static_cast<uint32_t>(timestamp >> 32);
    if (lower != nullptr)
        *lower = static_cast<uint32_t>(timestamp);
}
