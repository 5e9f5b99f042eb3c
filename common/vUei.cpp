#include "vBigEndian.h"

#include <quillmark/vCommands.h>
#include <quillmark/vUei.h>

#include <algorithm>
#include <array>

namespace {

// data[0] values that belong to protocols other than UEI.
constexpr std::array<uint8_t, 13> kNonUeiCommands = {
    cmdHB, 1, 2, cmdSLOT, 8, 9, 23, 24, 73, cmdFACTORY, cmdUPGRADE, cmdSYNC, cmdFORCEROUTE};

bool valueSize(ueiType type, uint8_t *size) {
    switch (type) {
    case ueiTypeVoid:
        *size = 0;
        return true;
    case ueiTypeByte:
        *size = 1;
        return true;
    case ueiTypeShort:
        *size = 2;
        return true;
    case ueiTypeInt:
        *size = 4;
        return true;
    case ueiTypeBytes:
        break;
    }
    return false;
}

void storeValue(const uei &request, uint8_t *bytes) {
    switch (request.type) {
    case ueiTypeByte:
        bytes[0] = request.value.byteVal;
        break;
    case ueiTypeShort:
        bigEndian::store16(bytes, request.value.shortVal);
        break;
    case ueiTypeInt:
        bigEndian::store32(bytes, request.value.intVal);
        break;
    case ueiTypeVoid:
    case ueiTypeBytes:
        break;
    }
}

// Builds [command, option, index, (subindex), value] for a request of a single value.
vPacket *createValuePacket(const uei *request, const uint8_t *subindex) {
    uint8_t size = 0;
    if (request == nullptr || !valueSize(request->type, &size))
        return nullptr;
    std::array<uint8_t, V_PACKET_MAX_DATA> data{request->command, request->option, request->index};
    uint8_t valueOffset = UEI_HEADER_SIZE;
    if (subindex != nullptr)
        data[valueOffset++] = *subindex;
    storeValue(*request, &data[valueOffset]);
    return vPacket_CreateWithData(request->module, valueOffset + size, data.data());
}

bool matchesRequest(const vPacket &reply, const uei &match) {
    return reply.address == match.module && reply.dataSize >= UEI_HEADER_SIZE &&
           reply.dataSize <= V_PACKET_MAX_DATA && reply.data[0] == match.command &&
           reply.data[1] == match.option && (reply.data[2] & UEI_INDEX_MASK) == match.index;
}

void decodeErrorReply(const vPacket &reply, uei *match) {
    match->index = reply.data[2];
    // An error reply too short to carry its code must still read as a failure.
    match->value.byteVal = reply.dataSize > UEI_HEADER_SIZE ? reply.data[UEI_HEADER_SIZE]
                                                            : static_cast<uint8_t>(vErrUnknown);
}

void decodeValueReply(const vPacket &reply, uei *match) {
    const uint8_t *value = &reply.data[UEI_HEADER_SIZE];
    switch (reply.dataSize) {
    case UEI_HEADER_SIZE:
        match->type = ueiTypeVoid;
        break;
    case UEI_HEADER_SIZE + 1:
        match->type = ueiTypeByte;
        match->value.byteVal = value[0];
        break;
    case UEI_HEADER_SIZE + 2:
        match->type = ueiTypeShort;
        match->value.shortVal = bigEndian::load16(value);
        break;
    case UEI_HEADER_SIZE + 4:
        match->type = ueiTypeInt;
        match->value.intVal = bigEndian::load32(value);
        break;
    default:
        // Other sizes carry values this decoder does not know; the match alone is the answer.
        break;
    }
}

} // namespace

uint16_t vUEI_RetrieveShort(const uint8_t *bytes) {
    return bytes == nullptr ? 0 : bigEndian::load16(bytes);
}

uint32_t vUEI_RetrieveInt(const uint8_t *bytes) {
    return bytes == nullptr ? 0 : bigEndian::load32(bytes);
}

void vUEI_ModifyIntBuffer(uint32_t *buffer, uint32_t count) {
    if (buffer == nullptr)
        return;
    auto *bytes = reinterpret_cast<uint8_t *>(buffer);
    for (uint32_t word = 0; word < count; ++word)
        buffer[word] = bigEndian::load32(bytes + 4 * word);
}

bool vUEI_isNotUEIPayload(const vPacket *packet) {
    if (!vVALIDPACKET(packet))
        return false;
    return std::find(kNonUeiCommands.begin(), kNonUeiCommands.end(), packet->data[0]) !=
           kNonUeiCommands.end();
}

bool vUEI_isUEIPayload(const vPacket *packet) {
    return !vUEI_isNotUEIPayload(packet);
}

vPacket *vUEI_CreatePacket(const uei *request) {
    return createValuePacket(request, nullptr);
}

vPacket *vUEI_CreateSubindexPacket(const uei *request, uint8_t subindex) {
    return createValuePacket(request, &subindex);
}

bool vUEI_DecodeReply(const vPacket *reply, uei *match) {
    if (!vVALIDPACKET(reply) || match == nullptr || !matchesRequest(*reply, *match))
        return false;
    if (reply->data[2] & UEI_INDEX_ERROR)
        decodeErrorReply(*reply, match);
    else
        decodeValueReply(*reply, match);
    return true;
}
