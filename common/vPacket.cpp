#include <quillmark/vPacket.h>

#include <cstring>
#include <new>

namespace {

// The frame byte that follows the address and the length.
constexpr uint8_t kFirstDataByteCount = 3;

bool isModuleAddress(uint8_t byte) {
    return byte != 0 && (byte & 1) == 0;
}

vErr readDataByte(const vPacket *packet, uint8_t position, uint8_t mask, uint8_t *out) {
    if (out == nullptr)
        return vErrParam;
    if (!vVALIDPACKET(packet) || packet->dataSize <= position)
        return vErrPacket;
    *out = packet->data[position] & mask;
    return vErrNone;
}

} // namespace

bool vVALIDPACKET(const vPacket *packet) {
    return packet != nullptr && packet->check == V_PACKET_CHECK;
}

vPacket *vPacket_Create(void) {
    auto *packet = new (std::nothrow) vPacket{};
    if (packet != nullptr)
        packet->check = V_PACKET_CHECK;
    return packet;
}

vPacket *vPacket_CreateWithData(uint8_t address, uint32_t length, const uint8_t *data) {
    if (data == nullptr || length > V_PACKET_MAX_DATA)
        return nullptr;
    vPacket *packet = vPacket_Create();
    if (packet == nullptr)
        return nullptr;
    packet->address = address;
    packet->dataSize = static_cast<uint8_t>(length);
    packet->byteCount = static_cast<uint8_t>(length + 2);
    std::memcpy(packet->data, data, length);
    return packet;
}

vPacket *vPacket_Copy(const vPacket *packet) {
    if (!vVALIDPACKET(packet))
        return nullptr;
    return vPacket_CreateWithData(packet->address, packet->dataSize, packet->data);
}

vErr vPacket_Destroy(vPacket **packet) {
    if (packet == nullptr || !vVALIDPACKET(*packet))
        return vErrParam;
    // A stale pointer to the freed record must not look like a live packet.
    (*packet)->check = 0;
    delete *packet;
    *packet = nullptr;
    return vErrNone;
}

vErr vPacket_GetCmd(const vPacket *packet, uint8_t *cmd) {
    return readDataByte(packet, 0, 0xFF, cmd);
}

vErr vPacket_GetOption(const vPacket *packet, uint8_t *option) {
    return readDataByte(packet, 1, 0x3F, option);
}

vErr vPacket_GetIndex(const vPacket *packet, uint8_t *index) {
    return readDataByte(packet, 2, 0x1F, index);
}

vErr vPacket_Reset(vPacket *packet) {
    if (!vVALIDPACKET(packet))
        return vErrParam;
    *packet = vPacket{};
    packet->check = V_PACKET_CHECK;
    return vErrNone;
}

vErr vPacket_AddByte(vPacket *packet, uint8_t byte) {
    if (!vVALIDPACKET(packet))
        return vErrParam;
    // The count stops one past the longest frame, so a flood of bytes cannot wrap it back into
    // a plausible frame.
    if (packet->byteCount > V_PACKET_MAX_FRAME)
        return vErrOverrun;
    if (++packet->byteCount > V_PACKET_MAX_FRAME)
        return vErrOverrun;
    if (packet->address == 0) {
        if (!isModuleAddress(byte))
            return vErrPacket;
        packet->address = byte;
        return vErrNone;
    }
    if (packet->dataSize == 0) {
        // Kept even when too large: until the caller resynchronises, further bytes land in the
        // data area and are never read as a new length.
        packet->dataSize = byte;
        return byte > V_PACKET_MAX_DATA ? vErrPacket : vErrNone;
    }
    if (packet->byteCount > packet->dataSize + 2)
        return vErrPacket;
    packet->data[packet->byteCount - kFirstDataByteCount] = byte;
    return vErrNone;
}

bool vPacket_IsComplete(const vPacket *packet) {
    return vVALIDPACKET(packet) && packet->byteCount == packet->dataSize + 2;
}
