#include "common/PacketTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PacketCreate, EmptyPacketIsLiveAndZeroed) {
    PacketPtr packet(vPacket_Create());
    ASSERT_NE(packet, nullptr);
    EXPECT_TRUE(vVALIDPACKET(packet.get()));
    EXPECT_EQ(packet->check, 0xBEEF);
    EXPECT_EQ(packet->byteCount, 0);
    EXPECT_EQ(packet->address, 0);
    EXPECT_EQ(packet->dataSize, 0);
    EXPECT_EQ(dataOf(*packet), Bytes{});
    EXPECT_FALSE(vPacket_IsComplete(packet.get()));
}

TEST(PacketCreate, WithDataHoldsACompleteFrame) {
    const Bytes data(28, 0x5A);
    struct Case {
        uint32_t length;
        bool created;
    } cases[] = {{0, true}, {1, true}, {28, true}, {29, false}, {256, false}, {0xFFFFFFFF, false}};
    for (const auto &c : cases) {
        PacketPtr packet(vPacket_CreateWithData(0x06, c.length, data.data()));
        ASSERT_EQ(packet != nullptr, c.created) << c.length;
        if (!c.created)
            continue;
        EXPECT_EQ(packet->byteCount, c.length + 2) << c.length;
        EXPECT_EQ(packet->address, 0x06);
        EXPECT_EQ(dataOf(*packet), Bytes(c.length, 0x5A));
        EXPECT_TRUE(vPacket_IsComplete(packet.get()));
    }
}

TEST(PacketCreate, WithDataRefusesNullDataAndKeepsAnyAddress) {
    EXPECT_EQ(vPacket_CreateWithData(0x06, 0, nullptr), nullptr);
    const uint8_t data[] = {0};
    PacketPtr linkControl(vPacket_CreateWithData(0xAD, 0, data));
    ASSERT_NE(linkControl, nullptr);
    EXPECT_EQ(frameOf(*linkControl), (Bytes{0xAD, 0}));
}

TEST(PacketCreate, CopyIsAnIndependentCompletePacket) {
    PacketPtr original = makePacket(0x08, {1, 2, 3});
    PacketPtr copy(vPacket_Copy(original.get()));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy.get(), original.get());
    EXPECT_EQ(frameOf(*copy), frameOf(*original));
    EXPECT_TRUE(vPacket_IsComplete(copy.get()));

    vPacket foreign = *original;
    foreign.check = 0xBEEE;
    EXPECT_EQ(vPacket_Copy(&foreign), nullptr);
    EXPECT_EQ(vPacket_Copy(nullptr), nullptr);
}

TEST(PacketDestroy, FreesAndNullsTheHandle) {
    vPacket *packet = vPacket_Create();
    EXPECT_EQ(vPacket_Destroy(&packet), vErrNone);
    EXPECT_EQ(packet, nullptr);
    EXPECT_EQ(vPacket_Destroy(&packet), vErrParam);
    EXPECT_EQ(vPacket_Destroy(nullptr), vErrParam);

    vPacket foreign{};
    vPacket *foreignHandle = &foreign;
    EXPECT_EQ(vPacket_Destroy(&foreignHandle), vErrParam);
    EXPECT_EQ(foreignHandle, &foreign);
}

TEST(PacketValidity, NullAndForeignRecordsAreInvalid) {
    EXPECT_FALSE(vVALIDPACKET(nullptr));
    vPacket foreign{};
    EXPECT_FALSE(vVALIDPACKET(&foreign));
    foreign.check = 0xBEEF;
    EXPECT_TRUE(vVALIDPACKET(&foreign));
}

// Feeds one byte after another; every byte must give its expected result.
struct AssemblyCase {
    std::string name;
    Bytes bytes;
    std::vector<vErr> results;
    bool complete;
    uint8_t address;
    uint8_t dataSize;
    Bytes data;
};

TEST(PacketAssembly, BytesAreTakenInOrRefusedWhereTheyStand) {
    Bytes fullFrame{0x06, 28};
    for (uint8_t i = 0; i < 28; ++i)
        fullFrame.push_back(i);
    const AssemblyCase cases[] = {
        {"zero-length frame", {0x04, 0x00}, {vErrNone, vErrNone}, true, 0x04, 0, {}},
        {"frame with data",
         {0x06, 3, 0x12, 0x43, 0x21},
         {vErrNone, vErrNone, vErrNone, vErrNone, vErrNone},
         true,
         0x06,
         3,
         {0x12, 0x43, 0x21}},
        {"longest frame", fullFrame, std::vector<vErr>(30, vErrNone), true, 0x06, 28,
         Bytes(fullFrame.begin() + 2, fullFrame.end())},
        {"highest module address", {0xFE, 0}, {vErrNone, vErrNone}, true, 0xFE, 0, {}},
        {"odd address", {0x03}, {vErrPacket}, false, 0, 0, {}},
        {"zero address", {0x00}, {vErrPacket}, false, 0, 0, {}},
        {"sync code as address", {0xAD}, {vErrPacket}, false, 0, 0, {}},
        {"force-route code as address", {0xAF}, {vErrPacket}, false, 0, 0, {}},
        {"length 29", {0x04, 0x1D}, {vErrNone, vErrPacket}, false, 0x04, 0x1D, {}},
        {"length 255", {0x04, 0xFF}, {vErrNone, vErrPacket}, false, 0x04, 0xFF, {}},
        {"byte past the frame",
         {0x04, 2, 0xA1, 0xA2, 0xA3},
         {vErrNone, vErrNone, vErrNone, vErrNone, vErrPacket},
         false,
         0x04,
         2,
         {0xA1, 0xA2}},
        {"byte after a zero-length frame is a new length",
         {0x04, 0, 5},
         {vErrNone, vErrNone, vErrNone},
         false,
         0x04,
         5,
         {0, 0, 0, 0, 0}},
    };
    for (const auto &c : cases) {
        PacketPtr packet(vPacket_Create());
        ASSERT_EQ(c.bytes.size(), c.results.size()) << c.name;
        for (size_t i = 0; i < c.bytes.size(); ++i)
            EXPECT_EQ(vPacket_AddByte(packet.get(), c.bytes[i]), c.results[i])
                << c.name << ", byte " << i;
        EXPECT_EQ(vPacket_IsComplete(packet.get()), c.complete) << c.name;
        EXPECT_EQ(packet->address, c.address) << c.name;
        EXPECT_EQ(packet->dataSize, c.dataSize) << c.name;
        if (c.dataSize <= 28) {
            EXPECT_EQ(dataOf(*packet), c.data) << c.name;
        }
    }
}

TEST(PacketAssembly, UnfinishedFramingOverrunsAtTheThirtyFirstByte) {
    PacketPtr packet(vPacket_Create());
    ASSERT_EQ(vPacket_AddByte(packet.get(), 0x04), vErrNone);
    ASSERT_EQ(vPacket_AddByte(packet.get(), 0xFF), vErrPacket);
    for (int i = 3; i <= 30; ++i)
        ASSERT_EQ(vPacket_AddByte(packet.get(), 0x55), vErrNone) << "byte " << i;
    EXPECT_EQ(vPacket_AddByte(packet.get(), 0x55), vErrOverrun);
    EXPECT_FALSE(vPacket_IsComplete(packet.get()));
}

TEST(PacketAssembly, AFloodOfBytesNeverWrapsBackIntoAFrame) {
    PacketPtr packet(vPacket_Create());
    vPacket_AddByte(packet.get(), 0x04);
    vPacket_AddByte(packet.get(), 0xFF);
    for (int i = 3; i <= 30; ++i)
        vPacket_AddByte(packet.get(), 0);
    for (int i = 31; i < 1000; ++i)
        ASSERT_EQ(vPacket_AddByte(packet.get(), 0), vErrOverrun) << "byte " << i;
    EXPECT_FALSE(vPacket_IsComplete(packet.get()));
}

TEST(PacketAssembly, ResetMakesRoomForTheNextFrame) {
    PacketPtr packet(vPacket_Create());
    for (uint8_t byte : {0x06, 2, 0x11, 0x22})
        vPacket_AddByte(packet.get(), byte);
    ASSERT_TRUE(vPacket_IsComplete(packet.get()));
    EXPECT_EQ(vPacket_Reset(packet.get()), vErrNone);
    EXPECT_EQ(packet->byteCount, 0);
    EXPECT_EQ(packet->address, 0);
    EXPECT_EQ(packet->dataSize, 0);
    EXPECT_EQ(Bytes(packet->data, packet->data + 28), Bytes(28, 0));
    EXPECT_TRUE(vVALIDPACKET(packet.get()));
    for (uint8_t byte : {0x08, 1, 0x33})
        EXPECT_EQ(vPacket_AddByte(packet.get(), byte), vErrNone);
    EXPECT_EQ(frameOf(*packet), (Bytes{0x08, 1, 0x33}));
}

TEST(PacketAssembly, InvalidPacketsAreRefused) {
    vPacket foreign{};
    EXPECT_EQ(vPacket_AddByte(nullptr, 0x04), vErrParam);
    EXPECT_EQ(vPacket_AddByte(&foreign, 0x04), vErrParam);
    EXPECT_EQ(foreign.byteCount, 0);
    EXPECT_EQ(vPacket_Reset(nullptr), vErrParam);
    EXPECT_EQ(vPacket_Reset(&foreign), vErrParam);
    EXPECT_FALSE(vPacket_IsComplete(nullptr));
    foreign.byteCount = 2;
    EXPECT_FALSE(vPacket_IsComplete(&foreign));
}

TEST(PacketFields, CommandOptionAndIndexNeedTheirBytes) {
    using Getter = vErr (*)(const vPacket *, uint8_t *);
    struct Case {
        const char *name;
        Getter get;
        Bytes data;
        vErr result;
        uint8_t value;
    } cases[] = {
        {"cmd of empty", vPacket_GetCmd, {}, vErrPacket, 0},
        {"cmd", vPacket_GetCmd, {0xD3}, vErrNone, 0xD3},
        {"option of 1 byte", vPacket_GetOption, {0x12}, vErrPacket, 0},
        {"option without flags", vPacket_GetOption, {0x12, 0xC5}, vErrNone, 0x05},
        {"index of 2 bytes", vPacket_GetIndex, {0x12, 0x43}, vErrPacket, 0},
        {"index without flags", vPacket_GetIndex, {0x12, 0x43, 0xE7}, vErrNone, 0x07},
    };
    for (const auto &c : cases) {
        PacketPtr packet = makePacket(0x06, c.data);
        uint8_t value = 0;
        EXPECT_EQ(c.get(packet.get(), &value), c.result) << c.name;
        EXPECT_EQ(value, c.value) << c.name;
        EXPECT_EQ(c.get(packet.get(), nullptr), vErrParam) << c.name;
        EXPECT_EQ(c.get(nullptr, &value), vErrPacket) << c.name;
        packet->check = 0;
        EXPECT_EQ(c.get(packet.get(), &value), vErrPacket) << c.name;
        packet->check = 0xBEEF;
    }
}

} // namespace
