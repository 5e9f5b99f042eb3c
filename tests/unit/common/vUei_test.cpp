#include "common/PacketTestSupport.h"

#include <quillmark/vUei.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

uei request(ueiType type) {
    return makeUei(0x06, 0x12, 0x43, 0x21, type);
}

// What a get of option 3 of entity 1 of command 0x12 at module 6 waits for.
uei replyMatch() {
    return makeUei(0x06, 0x12, 0x03, 0x01, ueiTypeBytes);
}

uei withByte(uint8_t value) {
    uei u = request(ueiTypeByte);
    u.value.byteVal = value;
    return u;
}

uei withShort(uint16_t value) {
    uei u = request(ueiTypeShort);
    u.value.shortVal = value;
    return u;
}

uei withInt(uint32_t value) {
    uei u = request(ueiTypeInt);
    u.value.intVal = value;
    return u;
}

TEST(UeiNumbers, AreBigEndian) {
    const uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(vUEI_RetrieveShort(bytes), 0x1234);
    EXPECT_EQ(vUEI_RetrieveInt(bytes), 0x12345678u);
    EXPECT_EQ(vUEI_RetrieveShort(nullptr), 0);
    EXPECT_EQ(vUEI_RetrieveInt(nullptr), 0u);
}

TEST(UeiNumbers, IntBufferTurnsIntoHostOrderInPlace) {
    uint8_t wire[] = {0x01, 0x02, 0x03, 0x04, 0xA0, 0xB0, 0xC0, 0xD0, 0xFF, 0xEE, 0xDD, 0xCC};
    uint32_t words[3];
    std::memcpy(words, wire, sizeof wire);
    vUEI_ModifyIntBuffer(words, 2);
    EXPECT_EQ(words[0], 0x01020304u);
    EXPECT_EQ(words[1], 0xA0B0C0D0u);
    uint32_t untouched;
    std::memcpy(&untouched, wire + 8, 4);
    EXPECT_EQ(words[2], untouched);
    vUEI_ModifyIntBuffer(nullptr, 4);
}

TEST(UeiPayload, ExactlyTheOtherProtocolsCommandsAreNotUei) {
    const std::set<int> notUei = {0, 1, 2, 4, 8, 9, 23, 24, 73, 94, 95, 173, 175};
    for (int command = 0; command < 256; ++command) {
        PacketPtr packet = makePacket(0x06, {static_cast<uint8_t>(command), 0x40, 0x20});
        const bool expected = notUei.count(command) != 0;
        EXPECT_EQ(vUEI_isNotUEIPayload(packet.get()), expected) << command;
        EXPECT_EQ(vUEI_isUEIPayload(packet.get()), !expected) << command;
    }
    EXPECT_FALSE(vUEI_isNotUEIPayload(nullptr));
    EXPECT_TRUE(vUEI_isUEIPayload(nullptr));
}

TEST(UeiEncode, EachValueTypeHasItsFrameWithOrWithoutASubindex) {
    constexpr bool kSubindex = true;
    struct Case {
        const char *name;
        uei request;
        bool subindexed;
        Bytes frame;
    } cases[] = {
        {"void", request(ueiTypeVoid), !kSubindex, {0x06, 3, 0x12, 0x43, 0x21}},
        {"byte", withByte(0xAB), !kSubindex, {0x06, 4, 0x12, 0x43, 0x21, 0xAB}},
        {"short", withShort(0x1234), !kSubindex, {0x06, 5, 0x12, 0x43, 0x21, 0x12, 0x34}},
        {"int",
         withInt(0x01020304),
         !kSubindex,
         {0x06, 7, 0x12, 0x43, 0x21, 0x01, 0x02, 0x03, 0x04}},
        {"subindexed void", request(ueiTypeVoid), kSubindex, {0x06, 4, 0x12, 0x43, 0x21, 0x09}},
        {"subindexed byte", withByte(0xAB), kSubindex, {0x06, 5, 0x12, 0x43, 0x21, 0x09, 0xAB}},
        {"subindexed short",
         withShort(0x1234),
         kSubindex,
         {0x06, 6, 0x12, 0x43, 0x21, 0x09, 0x12, 0x34}},
        {"subindexed int",
         withInt(0x01020304),
         kSubindex,
         {0x06, 8, 0x12, 0x43, 0x21, 0x09, 0x01, 0x02, 0x03, 0x04}},
    };
    for (const auto &c : cases) {
        PacketPtr packet(c.subindexed ? vUEI_CreateSubindexPacket(&c.request, 0x09)
                                      : vUEI_CreatePacket(&c.request));
        ASSERT_NE(packet, nullptr) << c.name;
        EXPECT_EQ(frameOf(*packet), c.frame) << c.name;
        EXPECT_TRUE(vPacket_IsComplete(packet.get())) << c.name;
    }
}

TEST(UeiEncode, OnlySingleValuesMakeOnePacket) {
    const uei bytes = request(ueiTypeBytes);
    uei unused = request(ueiTypeVoid);
    unused.type = static_cast<ueiType>(3);
    for (const uei *u : std::initializer_list<const uei *>{&bytes, &unused, nullptr}) {
        EXPECT_EQ(vUEI_CreatePacket(u), nullptr);
        EXPECT_EQ(vUEI_CreateSubindexPacket(u, 1), nullptr);
    }
}

// The value a decoded reply carries, read through the field its type names; an error reply's
// code is its byte value.
uint32_t decodedValue(const uei &u) {
    if (u.index & UEI_INDEX_ERROR)
        return u.value.byteVal;
    switch (u.type) {
    case ueiTypeByte:
        return u.value.byteVal;
    case ueiTypeShort:
        return u.value.shortVal;
    default:
        return u.value.intVal;
    }
}

TEST(UeiDecode, RepliesMatchAndDecodeBySize) {
    const uint32_t kUntouched = 0xDEADBEEF;
    struct Case {
        std::string name;
        uint8_t address;
        Bytes data;
        bool accepted;
        ueiType type;
        uint32_t value;
        uint8_t index;
    } cases[] = {
        {"void reply", 0x06, {0x12, 0x03, 0x01}, true, ueiTypeVoid, kUntouched, 0x01},
        {"byte reply", 0x06, {0x12, 0x03, 0x01, 0xAB}, true, ueiTypeByte, 0xAB, 0x01},
        {"short reply", 0x06, {0x12, 0x03, 0x01, 0x12, 0x34}, true, ueiTypeShort, 0x1234, 0x01},
        {"int reply", 0x06, {0x12, 0x03, 0x01, 1, 2, 3, 4}, true, ueiTypeInt, 0x01020304, 0x01},
        {"six bytes", 0x06, {0x12, 0x03, 0x01, 1, 2, 3}, true, ueiTypeBytes, kUntouched, 0x01},
        {"eight bytes",
         0x06,
         {0x12, 0x03, 0x01, 1, 2, 3, 4, 5},
         true,
         ueiTypeBytes,
         kUntouched,
         0x01},
        {"index flags are ignored", 0x06, {0x12, 0x03, 0x61, 0x07}, true, ueiTypeByte, 0x07, 0x01},
        {"error reply", 0x06, {0x12, 0x03, 0x81, 0x0D}, true, ueiTypeBytes, 0x0D, 0x81},
        {"error reply without its code",
         0x06,
         {0x12, 0x03, 0x81},
         true,
         ueiTypeBytes,
         vErrUnknown,
         0x81},
        {"other module", 0x08, {0x12, 0x03, 0x01}, false, ueiTypeBytes, kUntouched, 0x01},
        {"other command", 0x06, {0x13, 0x03, 0x01}, false, ueiTypeBytes, kUntouched, 0x01},
        {"option compared whole", 0x06, {0x12, 0x43, 0x01}, false, ueiTypeBytes, kUntouched, 0x01},
        {"other index", 0x06, {0x12, 0x03, 0x02}, false, ueiTypeBytes, kUntouched, 0x01},
        {"too short", 0x06, {0x12, 0x03}, false, ueiTypeBytes, kUntouched, 0x01},
    };
    for (const auto &c : cases) {
        PacketPtr reply = makePacket(c.address, c.data);
        uei match = replyMatch();
        match.value.intVal = kUntouched;
        EXPECT_EQ(vUEI_DecodeReply(reply.get(), &match), c.accepted) << c.name;
        EXPECT_EQ(match.type, c.type) << c.name;
        EXPECT_EQ(decodedValue(match), c.value) << std::hex << c.name;
        EXPECT_EQ(match.index, c.index) << c.name;
    }
}

TEST(UeiDecode, InvalidArgumentsMatchNothing) {
    PacketPtr reply = makePacket(0x06, {0x12, 0x03, 0x01});
    uei match = replyMatch();
    EXPECT_FALSE(vUEI_DecodeReply(nullptr, &match));
    EXPECT_FALSE(vUEI_DecodeReply(reply.get(), nullptr));
    reply->check = 0;
    EXPECT_FALSE(vUEI_DecodeReply(reply.get(), &match));
    reply->check = 0xBEEF;
}

} // namespace
