#include "support/ScriptedStream.h"

#include <quillmark/vCommands.h>
#include <quillmark/vLink.h>
#include <quillmark/vLinkPacketLog.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct Record {
    uint8_t kind;
    Bytes bytes;
    bool operator==(const Record &) const = default;
};

// Takes every record out of the ring, oldest first.
std::vector<Record> drain(vPacketLog *log) {
    std::vector<Record> records;
    for (;;) {
        uint8_t kind = 0;
        uint8_t buffer[255];
        uint32_t length = sizeof buffer;
        if (vPacketLog_Get(log, &kind, &length, buffer) != vErrNone) {
            return records;
        }
        records.push_back({kind, Bytes(buffer, buffer + length)});
    }
}

vErr put(vPacketLog *log, const Record &record) {
    return vPacketLog_Put(log, record.kind, static_cast<uint32_t>(record.bytes.size()),
                          record.bytes.data());
}

TEST(PacketLogRing, DropsTheOldestRecordsToMakeRoom) {
    vPacketLog *log = vPacketLog_Create(16);
    ASSERT_NE(log, nullptr);
    const Record first{1, {1, 2, 3, 4}};
    const Record second{2, {5, 6, 7, 8, 9, 10}};
    const Record third{1, {11, 12, 13, 14}};
    ASSERT_EQ(put(log, first), vErrNone);
    ASSERT_EQ(put(log, second), vErrNone);
    ASSERT_EQ(put(log, third), vErrNone);
    EXPECT_EQ(drain(log), (std::vector<Record>{second, third}));
    vPacketLog_Destroy(&log);
    EXPECT_EQ(log, nullptr);
}

TEST(PacketLogRing, KeepsOrderAcrossTheWrap) {
    vPacketLog *log = vPacketLog_Create(20);
    std::vector<Record> last;
    for (uint8_t round = 0; round < 12; ++round) {
        Record record{3, Bytes(round % 5, round)};
        ASSERT_EQ(put(log, record), vErrNone);
        last.push_back(record);
        if (round % 3 == 2) {
            EXPECT_EQ(drain(log), last);
            last.clear();
        }
    }
    vPacketLog_Destroy(&log);
}

TEST(PacketLogRing, RefusalsLeaveTheRingAsItWas) {
    vPacketLog *log = vPacketLog_Create(16);
    const Record kept{2, {1, 2, 3}};
    ASSERT_EQ(put(log, kept), vErrNone);
    // A record needs its length plus two bytes, and one byte of the ring always stays free.
    EXPECT_EQ(vPacketLog_Put(log, 1, 14, Bytes(14).data()), vErrOverrun);
    EXPECT_EQ(vPacketLog_Put(log, 1, 300, Bytes(300).data()), vErrParam);
    EXPECT_EQ(vPacketLog_Put(log, 1, 2, nullptr), vErrParam);
    uint8_t kind = 0;
    uint8_t small[2];
    uint32_t length = sizeof small;
    EXPECT_EQ(vPacketLog_Get(log, &kind, &length, small), vErrOverrun);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(drain(log), (std::vector<Record>{kept}));
    length = sizeof small;
    EXPECT_EQ(vPacketLog_Get(log, &kind, &length, small), vErrNotFound);
    // The largest record that fits an empty ring of 16 bytes has 13 data bytes.
    EXPECT_EQ(vPacketLog_Put(log, 1, 13, Bytes(13, 9).data()), vErrNone);
    vPacketLog_Destroy(&log);
    EXPECT_EQ(vPacketLog_Create(0), nullptr);
    EXPECT_EQ(vPacketLog_Destroy(&log), vErrParam);
}

class LinkPacketLogTest : public ::testing::Test {
  protected:
    void SetUp() override { id = vLink_Create(device.stream()); }
    void TearDown() override { vLink_Destroy(&id); }

    // Takes records out of the link's log until `count` have come or timeoutMs passed. The route
    // frame that starting the link sends may or may not be logged, so it is left out.
    std::vector<Record> readRecords(size_t count, int timeoutMs = 2000) {
        std::vector<Record> records;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (records.size() < count && std::chrono::steady_clock::now() < deadline) {
            uint8_t kind = 0;
            uint8_t buffer[64];
            uint32_t length = sizeof buffer;
            if (vLink_PacketDebug_Read(id, &kind, &length, buffer) != vErrNone) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            } else if (buffer[0] != cmdFORCEROUTE || kind == kPacketLogMarker) {
                records.push_back({kind, Bytes(buffer, buffer + length)});
            }
        }
        return records;
    }

    ScriptedStream device;
    int32_t id = 0;
};

TEST_F(LinkPacketLogTest, SizeIsFixedOnceTheLogExists) {
    EXPECT_EQ(vLink_PacketDebug_SetLogSize(id, V_PACKET_LOG_MAX_SIZE + 1), vErrParam);
    EXPECT_EQ(vLink_PacketDebug_SetLogSize(id, -5), vErrNone);
    EXPECT_EQ(vLink_PacketDebug_SetLogSize(id, 1024), vErrNone);
    ASSERT_EQ(vLink_PacketDebug_Enable(id), vErrNone);
    EXPECT_EQ(vLink_PacketDebug_SetLogSize(id, 2048), vErrBusy);
    EXPECT_EQ(vLink_PacketDebug_SetLogSize(id, 0), vErrBusy);
}

TEST_F(LinkPacketLogTest, WithoutALogEveryUseIsNotReady) {
    uint8_t kind = 0;
    uint8_t buffer[8];
    uint32_t length = sizeof buffer;
    EXPECT_EQ(vLink_PacketDebug_Disable(id), vErrNotReady);
    EXPECT_EQ(vLink_PacketDebug_Read(id, &kind, &length, buffer), vErrNotReady);
    EXPECT_EQ(vLink_PacketDebug_Write(id, kPacketLogMarker, 1, buffer), vErrNotReady);
    EXPECT_EQ(vLink_PacketDebug_Enable(0x7FFFFFF0), vErrParam);
}

TEST_F(LinkPacketLogTest, RecordsFramesBothWaysWhileEnabled) {
    ASSERT_EQ(vLink_PacketDebug_Enable(id), vErrNone);
    const uint8_t marker[] = "START";
    ASSERT_EQ(vLink_PacketDebug_Write(id, kPacketLogMarker, sizeof marker, marker), vErrNone);
    device.feed({0x06, 2, cmdHB, kHeartbeatUp});
    EXPECT_EQ(readRecords(3), (std::vector<Record>{{kPacketLogMarker, Bytes(marker, marker + 6)},
                                                   {kPacketLogReceived, {0x06, 2, cmdHB, 0}},
                                                   {kPacketLogSent, {0x06, 2, cmdHB, 2}}}));
    ASSERT_EQ(vLink_PacketDebug_Disable(id), vErrNone);
    device.feed({0x06, 2, cmdHB, kHeartbeatUp});
    ASSERT_TRUE(device.awaitWrites({0x06, 2, cmdHB, 2}, 2, 2000));
    // Nothing can be awaited here: the frames must simply not be recorded.
    EXPECT_TRUE(readRecords(1, 100).empty());
}

} // namespace
