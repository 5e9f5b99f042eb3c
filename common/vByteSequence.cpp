#include <quillmark/vByteSequence.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Data sizes of a packet that carries a full share of value bytes.
constexpr uint8_t kFullPacketSizes[] = {V_PACKET_MAX_DATA - 1, V_PACKET_MAX_DATA};

bool lastDataByte(const vPacket *packet, uint8_t *byte) {
    if (!vVALIDPACKET(packet) || packet->dataSize == 0 || packet->dataSize > V_PACKET_MAX_DATA)
        return false;
    *byte = packet->data[packet->dataSize - 1];
    return true;
}

} // namespace

uint8_t vUEI_getBytesSequence(const vPacket *packet) {
    uint8_t byte = 0;
    return lastDataByte(packet, &byte) ? byte & UEI_BYTES_SEQUENCE_MASK : 0;
}

bool vUEI_getBytesContinue(const vPacket *packet) {
    uint8_t byte = 0;
    return lastDataByte(packet, &byte) && (byte & UEI_BYTES_CONTINUE) != 0;
}

bool vUEI_getBytesFullPacket(const vPacket *packet) {
    return vVALIDPACKET(packet) &&
           std::find(std::begin(kFullPacketSizes), std::end(kFullPacketSizes), packet->dataSize) !=
               std::end(kFullPacketSizes);
}

uint32_t vUEI_GetBytesPacketCount(uint32_t length) {
    if (length > UEI_BYTES_MAX_LENGTH)
        return 0;
    return length == 0 ? 1 : (length + UEI_BYTES_PER_PACKET - 1) / UEI_BYTES_PER_PACKET;
}

vPacket *vUEI_CreateBytesPacket(const uei *request, uint32_t sequence) {
    if (request == nullptr || request->type != ueiTypeBytes)
        return nullptr;
    const uint32_t length = request->value.bytesLength;
    const uint32_t packets = vUEI_GetBytesPacketCount(length);
    if (sequence >= packets || (length > 0 && request->value.bytesData == nullptr))
        return nullptr;
    const uint32_t offset = sequence * UEI_BYTES_PER_PACKET;
    const uint32_t count = std::min<uint32_t>(length - offset, UEI_BYTES_PER_PACKET);
    const bool isLast = sequence + 1 == packets;

    std::array<uint8_t, V_PACKET_MAX_DATA> data{request->command, request->option, request->index};
    if (count > 0)
        std::memcpy(&data[UEI_HEADER_SIZE], request->value.bytesData + offset, count);
    data[UEI_HEADER_SIZE + count] =
        static_cast<uint8_t>(sequence | (isLast ? 0 : UEI_BYTES_CONTINUE));
    return vPacket_CreateWithData(request->module, UEI_HEADER_SIZE + count + 1, data.data());
}
