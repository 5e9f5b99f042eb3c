#pragma once
// Small helpers for tests that build and inspect packets.

#include <quillmark/vPacket.h>
#include <quillmark/vUei.h>

#include <cstdint>
#include <memory>
#include <vector>

struct PacketDeleter {
    void operator()(vPacket *packet) const { vPacket_Destroy(&packet); }
};
using PacketPtr = std::unique_ptr<vPacket, PacketDeleter>;
using Bytes = std::vector<uint8_t>;

inline PacketPtr makePacket(uint8_t address, const Bytes &data) {
    // An empty vector may have no storage at all, and packets are never made from null data.
    static const uint8_t kNoData = 0;
    return PacketPtr(vPacket_CreateWithData(address, static_cast<uint32_t>(data.size()),
                                            data.empty() ? &kNoData : data.data()));
}

// The packet's data bytes.
inline Bytes dataOf(const vPacket &packet) {
    return Bytes(packet.data, packet.data + packet.dataSize);
}

// The packet as it travels on the wire: address, length, data.
inline Bytes frameOf(const vPacket &packet) {
    Bytes frame{packet.address, packet.dataSize};
    const Bytes data = dataOf(packet);
    frame.insert(frame.end(), data.begin(), data.end());
    return frame;
}

// A UEI record addressed to one entity, with no value yet.
inline uei makeUei(uint8_t module, uint8_t command, uint8_t option, uint8_t index, ueiType type) {
    uei u{};
    u.module = module;
    u.command = command;
    u.option = option;
    u.index = index;
    u.type = type;
    return u;
}
