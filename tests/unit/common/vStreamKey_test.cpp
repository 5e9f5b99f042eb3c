#include "common/PacketTestSupport.h"

#include <quillmark/vStreamKey.h>

#include <gtest/gtest.h>

namespace {

TEST(StreamKey, BytesTakeTheirPlaces) {
    const uint64_t key = vStreamKey_Create(0x06, 0x12, 0x03, 0x01, STREAM_WILDCARD);
    EXPECT_EQ(key, 0xFF06120301u);
    struct Case {
        int32_t element;
        uint8_t byte;
    } cases[] = {
        {STREAM_KEY_MODULE, 0x06},
        {STREAM_KEY_COMMAND, 0x12},
        {STREAM_KEY_OPTION, 0x03},
        {STREAM_KEY_INDEX, 0x01},
        {STREAM_KEY_SUBINDEX, 0xFF},
        {5, 0},
        {-1, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vStreamKey_GetElement(key, c.element), c.byte) << c.element;
    EXPECT_EQ(vStreamKey_Create(0xFF, 0xFF, 0xFF, 0xFF, 0xFF), 0xFFFFFFFFFFu);
}

TEST(StreamKey, PacketKeysDropTheFlagsAndTakeTheSubindexOfItsKinds) {
    Bytes plain{0x12, 0x03, 0x41, 1, 0x09, 0, 0, 0, 0, 0, 0, 0, 0xAB, 0};
    Bytes withSubindex{0x12, 0x03, 0x5F, 5, 0x09, 0, 0, 0, 0, 0, 0, 0, 0, 0xAB, 0};
    Bytes byteRun{0x12, 0x3F, 0x41, 1, 0x09, 0x80};
    struct Case {
        Bytes data;
        uint64_t key;
    } cases[] = {
        {plain, 0x0006120301},
        {withSubindex, 0x090612031F},
        {byteRun, 0x0006123F01},
    };
    for (const auto &c : cases) {
        PacketPtr packet = makePacket(0x06, c.data);
        uint64_t key = 0;
        ASSERT_EQ(vStreamKey_FromPacket(packet.get(), &key), vErrNone);
        EXPECT_EQ(key, c.key) << std::hex << c.key;
    }
}

TEST(StreamKey, OnlyStreamPacketsHaveAKey) {
    PacketPtr reply = makePacket(0x06, {0x12, 0x03, 0x01, 0xAB, 0});
    PacketPtr streamed = makePacket(0x06, {0x12, 0x03, 0x41, 0xAB, 0});
    uint64_t key = 7;
    EXPECT_EQ(vStreamKey_FromPacket(reply.get(), &key), vErrPacket);
    EXPECT_EQ(vStreamKey_FromPacket(nullptr, &key), vErrPacket);
    EXPECT_EQ(key, 7u);
    EXPECT_EQ(vStreamKey_FromPacket(streamed.get(), nullptr), vErrParam);
}

TEST(StreamKey, StatusRowsAreSixteenBytesApart) {
    EXPECT_EQ(sizeof(StreamStatusEntry), 16u);
    EXPECT_EQ(alignof(StreamStatusEntry), 8u);
}

} // namespace
