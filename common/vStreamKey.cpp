#include <quillmark/vStreamKey.h>
#include <quillmark/vStreamPacket.h>
#include <quillmark/vUei.h>

namespace {

// Bit position of each STREAM_KEY element inside a key.
constexpr unsigned kElementShift[] = {24, 16, 8, 0, 32};

constexpr uint8_t kSubindexByte = 4;

} // namespace

uint64_t vStreamKey_Create(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                           uint8_t subindex) {
    return uint64_t{subindex} << kElementShift[STREAM_KEY_SUBINDEX] |
           uint64_t{module} << kElementShift[STREAM_KEY_MODULE] |
           uint64_t{command} << kElementShift[STREAM_KEY_COMMAND] |
           uint64_t{option} << kElementShift[STREAM_KEY_OPTION] |
           uint64_t{index} << kElementShift[STREAM_KEY_INDEX];
}

uint8_t vStreamKey_GetElement(uint64_t key, int32_t element) {
    if (element < STREAM_KEY_MODULE || element > STREAM_KEY_SUBINDEX)
        return 0;
    return static_cast<uint8_t>(key >> kElementShift[element]);
}

vErr vStreamKey_FromPacket(const vPacket *packet, uint64_t *key) {
    if (key == nullptr)
        return vErrParam;
    STREAM_PACKET kind = STREAM_PACKET_INVALID;
    if (!vStreamPacket_GetType(packet, &kind))
        return vErrPacket;
    const uint8_t subindex = vStreamPacket_IsSubindexType(kind) ? packet->data[kSubindexByte] : 0;
    *key = vStreamKey_Create(packet->address, packet->data[0], packet->data[1] & UEI_OPTION_MASK,
                             packet->data[2] & UEI_INDEX_MASK, subindex);
    return vErrNone;
}
