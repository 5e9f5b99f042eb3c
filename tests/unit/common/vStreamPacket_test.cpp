#include "common/PacketTestSupport.h"

#include <quillmark/vStreamPacket.h>

#include <gtest/gtest.h>

#include <string>

namespace {

const Bytes kTimestamp = {0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
constexpr uint64_t kTimestampValue = 0x0000010203040506;

// [command 0x12, option 3, index 1 with the stream flag, kind, (subindex), timestamp, value, 0]
Bytes sample(uint8_t kind, const Bytes &subindex, const Bytes &value) {
    Bytes data{0x12, 0x03, 0x41, kind};
    data.insert(data.end(), subindex.begin(), subindex.end());
    data.insert(data.end(), kTimestamp.begin(), kTimestamp.end());
    data.insert(data.end(), value.begin(), value.end());
    data.push_back(0);
    return data;
}

Bytes with(Bytes data, size_t position, uint8_t byte) {
    data[position] = byte;
    return data;
}

Bytes appended(Bytes data, uint8_t byte) {
    data.push_back(byte);
    return data;
}

TEST(StreamPacketClassify, KindsSamplesAndRejections) {
    const Bytes u8 = sample(1, {}, {0xAB});
    struct Case {
        std::string name;
        Bytes data;
        bool streamPacket;
        STREAM_PACKET kind;
        bool isSample;
    } cases[] = {
        {"u8 sample", u8, true, STREAM_PACKET_U8, true},
        {"u16 sample", sample(2, {}, {0x12, 0x34}), true, STREAM_PACKET_U16, true},
        {"u32 sample", sample(3, {}, {1, 2, 3, 4}), true, STREAM_PACKET_U32, true},
        {"subindex u8 sample", sample(5, {9}, {0xAB}), true, STREAM_PACKET_SUBINDEX_U8, true},
        {"subindex u16 sample", sample(6, {9}, {0x12, 0x34}), true, STREAM_PACKET_SUBINDEX_U16,
         true},
        {"subindex u32 sample", sample(7, {9}, {1, 2, 3, 4}), true, STREAM_PACKET_SUBINDEX_U32,
         true},
        {"u8 of the wrong size", appended(u8, 0), true, STREAM_PACKET_U8, false},
        {"nonzero last byte", with(u8, 13, 0x01), true, STREAM_PACKET_BYTES, false},
        {"bytes kind with a zero last byte", sample(4, {}, {0xAB}), true, STREAM_PACKET_BYTES,
         false},
        {"kind 0", sample(0, {}, {0xAB}), true, STREAM_PACKET_INVALID, false},
        {"kind 8", sample(8, {}, {0xAB}), true, STREAM_PACKET_INVALID, false},
        {"get flag", with(u8, 1, 0x43), false, STREAM_PACKET_INVALID, false},
        {"set flag", with(u8, 1, 0x83), false, STREAM_PACKET_INVALID, false},
        {"no stream flag", with(u8, 2, 0x21), false, STREAM_PACKET_INVALID, false},
        {"four data bytes", {0x12, 0x03, 0x41, 0x00}, false, STREAM_PACKET_INVALID, false},
        {"five data bytes", {0x12, 0x03, 0x41, 0x01, 0x00}, true, STREAM_PACKET_U8, false},
        {"factory command", with(u8, 0, 94), false, STREAM_PACKET_INVALID, false},
        {"heartbeat command", with(u8, 0, 0), false, STREAM_PACKET_INVALID, false},
    };
    for (const auto &c : cases) {
        PacketPtr packet = makePacket(0x06, c.data);
        EXPECT_EQ(vUEI_isStreamPacket(packet.get()), c.streamPacket) << c.name;
        STREAM_PACKET kind = STREAM_PACKET_U32;
        EXPECT_EQ(vStreamPacket_GetType(packet.get(), &kind), c.kind != STREAM_PACKET_INVALID)
            << c.name;
        EXPECT_EQ(kind, c.kind) << c.name;
        EXPECT_EQ(vStreamPacket_IsSample(packet.get()), c.isSample) << c.name;
    }
    EXPECT_FALSE(vUEI_isStreamPacket(nullptr));
    EXPECT_FALSE(vStreamPacket_GetType(nullptr, nullptr));
    EXPECT_FALSE(vStreamPacket_IsSample(nullptr));
}

TEST(StreamPacketClassify, OnlyKindsFiveToSevenHaveASubindex) {
    for (int kind = 0; kind <= 8; ++kind)
        EXPECT_EQ(vStreamPacket_IsSubindexType(static_cast<STREAM_PACKET>(kind)),
                  kind >= 5 && kind <= 7)
            << kind;
}

TEST(StreamPacketSample, ValuesAreWidenedAndSubindexesRead) {
    struct Case {
        std::string name;
        Bytes data;
        uint32_t value;
        uint8_t subindex;
    } cases[] = {
        {"u8", sample(1, {}, {0xAB}), 0xAB, 0},
        {"u16", sample(2, {}, {0xAB, 0xCD}), 0xABCD, 0},
        {"u32", sample(3, {}, {0xFE, 0xDC, 0xBA, 0x98}), 0xFEDCBA98, 0},
        {"subindex u8", sample(5, {0x11}, {0xAB}), 0xAB, 0x11},
        {"subindex u16", sample(6, {0x22}, {0xAB, 0xCD}), 0xABCD, 0x22},
        {"subindex u32", sample(7, {0x33}, {0xFE, 0xDC, 0xBA, 0x98}), 0xFEDCBA98, 0x33},
    };
    for (const auto &c : cases) {
        PacketPtr packet = makePacket(0x06, c.data);
        uint64_t timestamp = 0;
        uint32_t value = 0;
        uint8_t subindex = 0xFF;
        ASSERT_EQ(vStreamPacket_GetSample(packet.get(), &timestamp, &value, &subindex), vErrNone)
            << c.name;
        EXPECT_EQ(timestamp, kTimestampValue) << c.name;
        EXPECT_EQ(value, c.value) << c.name;
        EXPECT_EQ(subindex, c.subindex) << c.name;
        EXPECT_EQ(vStreamPacket_GetSample(packet.get(), nullptr, nullptr, nullptr), vErrNone)
            << c.name;
    }
}

TEST(StreamPacketSample, PacketsWithoutOneSampleAreRefused) {
    const Bytes u8 = sample(1, {}, {0xAB});
    struct Case {
        std::string name;
        Bytes data;
        vErr result;
    } cases[] = {
        {"byte sequence", with(u8, 13, 0x80), vErrSize},
        {"wrong size", appended(u8, 0), vErrPacket},
        {"not a stream packet", with(u8, 2, 0x01), vErrPacket},
        {"unknown kind", sample(9, {}, {0xAB}), vErrPacket},
    };
    for (const auto &c : cases) {
        PacketPtr packet = makePacket(0x06, c.data);
        uint32_t value = 0x5555;
        EXPECT_EQ(vStreamPacket_GetSample(packet.get(), nullptr, &value, nullptr), c.result)
            << c.name;
        EXPECT_EQ(value, 0x5555u) << c.name;
    }
    EXPECT_EQ(vStreamPacket_GetSample(nullptr, nullptr, nullptr, nullptr), vErrPacket);
}

TEST(StreamPacketSample, TimestampSplitsIntoUpperAndLowerHalves) {
    uint32_t upper = 0;
    uint32_t lower = 0;
    vStreamPacket_GetTimestampParts(0x0102030405060708, &upper, &lower);
    EXPECT_EQ(upper, 0x01020304u);
    EXPECT_EQ(lower, 0x05060708u);
    vStreamPacket_GetTimestampParts(0xFFFFFFFF00000001, nullptr, &lower);
    EXPECT_EQ(lower, 1u);
    vStreamPacket_GetTimestampParts(0xFFFFFFFF00000001, &upper, nullptr);
    EXPECT_EQ(upper, 0xFFFFFFFFu);
}

} // namespace
