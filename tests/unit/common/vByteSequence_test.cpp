#include "common/PacketTestSupport.h"

#include <quillmark/vByteSequence.h>

#include <gtest/gtest.h>

namespace {

uei byteSequence(const Bytes &value) {
    uei u = makeUei(0x06, 0x12, 0x83, 0x21, ueiTypeBytes);
    u.value.bytesData = const_cast<uint8_t *>(value.data());
    u.value.bytesLength = static_cast<uint32_t>(value.size());
    return u;
}

Bytes counting(size_t length) {
    Bytes bytes(length);
    for (size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + 1);
    return bytes;
}

uint8_t sequenceByteOf(const vPacket &packet) {
    return packet.data[packet.dataSize - 1];
}

TEST(ByteSequenceSplit, RunsOfPacketsCarryEveryByteInOrder) {
    struct Case {
        uint32_t length;
        std::vector<uint8_t> sequenceBytes;
        std::vector<uint8_t> dataSizes;
    } cases[] = {
        {0, {0x00}, {4}},
        {1, {0x00}, {5}},
        {24, {0x00}, {28}},
        {25, {0x80, 0x01}, {28, 5}},
        {50, {0x80, 0x81, 0x02}, {28, 28, 6}},
    };
    for (const auto &c : cases) {
        const Bytes value = counting(c.length);
        const uei request = byteSequence(value);
        ASSERT_EQ(vUEI_GetBytesPacketCount(c.length), c.sequenceBytes.size()) << c.length;
        Bytes carried;
        for (uint32_t n = 0; n < c.sequenceBytes.size(); ++n) {
            PacketPtr packet(vUEI_CreateBytesPacket(&request, n));
            ASSERT_NE(packet, nullptr) << c.length << " #" << n;
            EXPECT_EQ(packet->address, 0x06);
            EXPECT_EQ(packet->dataSize, c.dataSizes[n]) << c.length << " #" << n;
            const Bytes data = dataOf(*packet);
            EXPECT_EQ(Bytes(data.begin(), data.begin() + 3), (Bytes{0x12, 0x83, 0x21}));
            EXPECT_EQ(data.back(), c.sequenceBytes[n]) << c.length << " #" << n;
            carried.insert(carried.end(), data.begin() + 3, data.end() - 1);
        }
        EXPECT_EQ(carried, value) << c.length;
        EXPECT_EQ(vUEI_CreateBytesPacket(&request, c.sequenceBytes.size()), nullptr);
    }
}

TEST(ByteSequenceSplit, TheSevenBitSequenceNumberLimitsTheLength) {
    EXPECT_EQ(vUEI_GetBytesPacketCount(3072), 128u);
    EXPECT_EQ(vUEI_GetBytesPacketCount(3073), 0u);
    EXPECT_EQ(vUEI_GetBytesPacketCount(0xFFFFFFFF), 0u);

    const Bytes longest = counting(3072);
    const uei request = byteSequence(longest);
    PacketPtr last(vUEI_CreateBytesPacket(&request, 127));
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(sequenceByteOf(*last), 0x7F);
    PacketPtr beforeLast(vUEI_CreateBytesPacket(&request, 126));
    EXPECT_EQ(sequenceByteOf(*beforeLast), 0xFE);

    const Bytes tooLong = counting(3073);
    const uei refused = byteSequence(tooLong);
    EXPECT_EQ(vUEI_CreateBytesPacket(&refused, 0), nullptr);
}

TEST(ByteSequenceSplit, RequestsThatAreNotByteSequencesAreRefused) {
    const Bytes value = counting(4);
    uei notBytes = byteSequence(value);
    notBytes.type = ueiTypeInt;
    uei noData = byteSequence(value);
    noData.value.bytesData = nullptr;
    EXPECT_EQ(vUEI_CreateBytesPacket(&notBytes, 0), nullptr);
    EXPECT_EQ(vUEI_CreateBytesPacket(&noData, 0), nullptr);
    EXPECT_EQ(vUEI_CreateBytesPacket(nullptr, 0), nullptr);

    uei empty = byteSequence({});
    empty.value.bytesData = nullptr;
    PacketPtr packet(vUEI_CreateBytesPacket(&empty, 0));
    ASSERT_NE(packet, nullptr);
    EXPECT_EQ(frameOf(*packet), (Bytes{0x06, 4, 0x12, 0x83, 0x21, 0x00}));
}

TEST(ByteSequenceRead, SequenceContinueAndFullComeFromTheLastByte) {
    struct Case {
        Bytes data;
        uint8_t sequence;
        bool continues;
        bool full;
    } cases[] = {
        {{0x12, 0x03, 0x01, 0x80}, 0, true, false},
        {{0x12, 0x03, 0x01, 0xAA, 0x05}, 5, false, false},
        {{0x12, 0x03, 0x01, 0xFF}, 0x7F, true, false},
        {Bytes(26, 0x01), 1, false, false},
        {Bytes(27, 0x81), 1, true, true},
        {Bytes(28, 0x00), 0, false, true},
        {{}, 0, false, false},
    };
    for (const auto &c : cases) {
        PacketPtr packet = makePacket(0x06, c.data);
        EXPECT_EQ(vUEI_getBytesSequence(packet.get()), c.sequence) << c.data.size();
        EXPECT_EQ(vUEI_getBytesContinue(packet.get()), c.continues) << c.data.size();
        EXPECT_EQ(vUEI_getBytesFullPacket(packet.get()), c.full) << c.data.size();
    }
    EXPECT_EQ(vUEI_getBytesSequence(nullptr), 0);
    EXPECT_FALSE(vUEI_getBytesContinue(nullptr));
    EXPECT_FALSE(vUEI_getBytesFullPacket(nullptr));
}

} // namespace
