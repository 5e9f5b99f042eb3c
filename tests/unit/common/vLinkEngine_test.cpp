// The engine's receive and send paths on a stream the test plays the device on, byte by byte.
#include "support/Polling.h"
#include "support/ScriptedStream.h"
#include "vLinkRecord.h"

#include <quillmark/vCommands.h>
#include <quillmark/vLink.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kSyncFrame = {cmdSYNC, 0};
const Bytes kRouteOn = {cmdFORCEROUTE, 1, 1};
const Bytes kRouteOff = {cmdFORCEROUTE, 1, 0};
constexpr int kWaitMs = 2000;

bool awaitStatus(int32_t id, linkStatus wanted) {
    return pollUntil([&] { return vLink_GetStatus(id) == wanted; }, kWaitMs, 2);
}

uint8_t acceptAll(const vPacket *, const void *) {
    return 1;
}

uint8_t consumeAll(const vPacket *, void *ref) {
    ++*static_cast<std::atomic<int> *>(ref);
    return 1;
}

Bytes frameOf(const vPacket *packet) {
    return Bytes(&packet->address, &packet->address + packet->dataSize + 2);
}

// A started link on a scripted stream, destroyed before the stream's far end goes away.
class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        id = vLink_Create(device.stream());
        ASSERT_NE(id, 0);
        ASSERT_TRUE(device.awaitWrites(kRouteOn, 1, kWaitMs));
    }
    void TearDown() override { vLink_Destroy(&id); }

    // Brings the link out of a sync burst with two answers from `address`.
    void align(uint8_t address) {
        device.feed({address, 0, address, 0});
        ASSERT_TRUE(awaitStatus(id, linkStatusRunning));
    }
    uint8_t syncAddress() { return linkCore(id)->syncAddress; }

    ScriptedStream device;
    int32_t id = 0;
};

TEST_F(EngineTest, StartsRunningAndRoutesThenUnroutesOnDestroy) {
    EXPECT_EQ(vLink_GetStatus(id), linkStatusRunning);
    vLink_Destroy(&id);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(device.countWrites(kRouteOff), 1u);
    EXPECT_EQ(device.writes().back(), kRouteOff);
}

TEST_F(EngineTest, FrameErrorsStartASyncBurst) {
    const struct {
        const char *what;
        Bytes bytes;
    } cases[] = {
        {"odd address", {0x07}},
        {"zero address", {0x00}},
        {"length above 28", {0x06, 29}},
    };
    for (const auto &errorCase : cases) {
        SCOPED_TRACE(errorCase.what);
        device.clearWrites();
        device.feed(errorCase.bytes);
        ASSERT_TRUE(device.awaitWrites(kSyncFrame, 6, kWaitMs));
        EXPECT_EQ(vLink_GetStatus(id), linkStatusSyncing);
        align(0x06);
        EXPECT_EQ(syncAddress(), 0x06);
    }
}

TEST_F(EngineTest, TwoSyncAnswersAlignOnTheDevicesAddress) {
    device.feed({0x07});
    ASSERT_TRUE(device.awaitWrites(kSyncFrame, 6, kWaitMs));
    align(0x0A);
    EXPECT_EQ(syncAddress(), 0x0A);
    // The answers to the rest of the burst arrive as empty packets from the device.
    device.feed({0x0A, 0});
    vPacket *empty = vLink_AwaitFirst(id, acceptAll, nullptr, kWaitMs);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(frameOf(empty), (Bytes{0x0A, 0}));
    vPacket_Destroy(&empty);
}

TEST_F(EngineTest, AnswersFromTwoAddressesRestartTheBurst) {
    device.feed({0x07});
    ASSERT_TRUE(device.awaitWrites(kSyncFrame, 6, kWaitMs));
    device.feed({0x06, 0, 0x08, 0});
    // 0x08 differs from 0x06: back to the start state, where the next byte (the 0) asks again.
    ASSERT_TRUE(device.awaitWrites(kSyncFrame, 12, kWaitMs));
    EXPECT_EQ(vLink_GetStatus(id), linkStatusSyncing);
    align(0x08);
}

TEST_F(EngineTest, SyncingRepeatsBurstsWhileTheDeviceIsSilent) {
    device.feed({0x07});
    ASSERT_TRUE(device.awaitWrites(kSyncFrame, 18, kWaitMs));
    EXPECT_EQ(vLink_GetStatus(id), linkStatusSyncing);
}

TEST_F(EngineTest, HeartbeatsAreAnsweredAndNeverQueued) {
    const struct {
        uint8_t state;
        uint8_t answer;
    } cases[] = {{kHeartbeatUp, 2}, {kHeartbeatDown, 3}};
    for (const auto &heartbeat : cases) {
        device.feed({0x06, 2, cmdHB, heartbeat.state});
        EXPECT_TRUE(device.awaitWrites({0x06, 2, cmdHB, heartbeat.answer}, 1, kWaitMs));
    }
    // A packet fed after the heartbeats shows that they were taken in before it.
    device.feed({0x06, 1, 0x55});
    vPacket *next = vLink_AwaitPacket(id, kWaitMs);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(frameOf(next), (Bytes{0x06, 1, 0x55}));
    vPacket_Destroy(&next);
    EXPECT_EQ(vLink_GetPacket(id), nullptr);
}

TEST_F(EngineTest, AUserFilterThatConsumesEverythingSilencesHeartbeatsAndQueue) {
    std::atomic<int> seen = 0;
    ASSERT_EQ(vLink_InstallUserPacketFilter(id, consumeAll, &seen), vErrNone);
    device.feed({0x06, 2, cmdHB, kHeartbeatUp, 0x06, 1, 0x55});
    pollUntil([&] { return seen == 2; }, kWaitMs, 2);
    ASSERT_EQ(vLink_InstallUserPacketFilter(id, nullptr, nullptr), vErrNone);
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(device.countWrites({0x06, 2, cmdHB, 2}), 0u);
    EXPECT_EQ(vLink_GetPacket(id), nullptr);
    // With the filter removed, the same heartbeat is answered again.
    device.feed({0x06, 2, cmdHB, kHeartbeatUp});
    EXPECT_TRUE(device.awaitWrites({0x06, 2, cmdHB, 2}, 1, kWaitMs));
}

TEST_F(EngineTest, PutPacketWritesOneFrame) {
    const uint8_t data[] = {3, 0x48, 0x20};
    vPacket *request = vPacket_CreateWithData(0x06, sizeof data, data);
    ASSERT_EQ(vLink_PutPacket(id, request), vErrNone);
    EXPECT_TRUE(device.awaitWrites({0x06, 3, 3, 0x48, 0x20}, 1, kWaitMs));
    vPacket_Destroy(&request);
}

TEST_F(EngineTest, AReadErrorShowsAsIOErrorAndAwaitFirstGivesUpAtOnce) {
    device.feed({0x06, 1, 0x55});
    ASSERT_TRUE(awaitStatus(id, linkStatusRunning));
    vPacket *queued = vLink_AwaitPacket(id, kWaitMs);
    ASSERT_NE(queued, nullptr);
    device.failReads(vErrIO);
    ASSERT_TRUE(awaitStatus(id, linkStatusIOError));
    // Put the packet back in the incoming queue, so that only the status can refuse it.
    ASSERT_EQ(vPacketFifo_Put(linkCore(id)->incoming, queued), vErrNone);
    vPacket_Destroy(&queued);
    auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(vLink_AwaitFirst(id, acceptAll, nullptr, 10000), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    // A read error does not end the thread; the link keeps retrying and still stops cleanly.
    device.failReads(vErrNone);
}

TEST_F(EngineTest, AwaitFirstPicksTheMatchAmongUnrelatedPackets) {
    device.feed({0x04, 1, 0x11, 0x06, 1, 0x22, 0x04, 1, 0x33});
    auto fromSix = [](const vPacket *packet, const void *) -> uint8_t {
        return packet->address == 0x06;
    };
    vPacket *match = vLink_AwaitFirst(id, fromSix, nullptr, kWaitMs);
    ASSERT_NE(match, nullptr);
    EXPECT_EQ(frameOf(match), (Bytes{0x06, 1, 0x22}));
    vPacket_Destroy(&match);
    ASSERT_TRUE(awaitStatus(id, linkStatusRunning));
    // Wait for the third packet, then check the unrelated ones kept their order.
    auto thirdArrived = [](const vPacket *packet, const void *) -> uint8_t {
        return packet->data[0] == 0x33;
    };
    vPacket *third = vLink_AwaitFirst(id, thirdArrived, nullptr, kWaitMs);
    ASSERT_NE(third, nullptr);
    vPacket_Destroy(&third);
    vPacket *first = vLink_GetPacket(id);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(frameOf(first), (Bytes{0x04, 1, 0x11}));
    vPacket_Destroy(&first);
    // A wait of 0 still takes a packet that is already there.
    device.feed({0x04, 1, 0x44});
    ASSERT_TRUE(
        pollUntil([&] { return vPacketFifo_GetLength(linkCore(id)->incoming) == 1; }, kWaitMs, 2));
    vPacket *last = vLink_AwaitFirst(id, acceptAll, nullptr, 0);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(frameOf(last), (Bytes{0x04, 1, 0x44}));
    vPacket_Destroy(&last);
}

TEST_F(EngineTest, SyncDrainsBothQueuesOnceAligned) {
    device.feed({0x06, 1, 0x55});
    std::thread answerer([this] {
        ASSERT_TRUE(device.awaitWrites(kSyncFrame, 6, kWaitMs));
        device.feed({0x06, 0, 0x06, 0, 0x06, 0});
    });
    // The packet may already be queued; sync must leave nothing behind either way.
    EXPECT_EQ(vLink_Sync(id), vErrNone);
    answerer.join();
    EXPECT_EQ(vLink_GetStatus(id), linkStatusRunning);
    EXPECT_EQ(vPacketFifo_GetLength(linkCore(id)->incoming), 0u);
}

TEST_F(EngineTest, ACallerStreamCannotBeResetAndKeepsRunning) {
    EXPECT_EQ(vLink_Reset(id), vErrParam);
    EXPECT_EQ(vLink_GetStatus(id), linkStatusRunning);
    device.feed({0x06, 2, cmdHB, kHeartbeatUp});
    EXPECT_TRUE(device.awaitWrites({0x06, 2, cmdHB, 2}, 1, kWaitMs));
}

TEST(LinkStop, AThreadStuckInAWriteIsLeftToEndByItself) {
    ScriptedStream device;
    int32_t id = vLink_Create(device.stream());
    ASSERT_NE(id, 0);
    ASSERT_TRUE(device.awaitWrites(kRouteOn, 1, kWaitMs));
    device.holdWrites(true);
    const uint8_t data[] = {0x55};
    vPacket *packet = vPacket_CreateWithData(0x06, sizeof data, data);
    ASSERT_EQ(vLink_PutPacket(id, packet), vErrNone);
    vPacket_Destroy(&packet);
    // The send thread is now stuck; the stop gives up on it after its bound instead of hanging.
    EXPECT_EQ(vLink_Destroy(&id), vErrNone);
    EXPECT_EQ(vLink_GetStatus(id), linkStatusInvalid);
    // Released, the thread finishes its write on a stream that is still alive, then ends and
    // frees the link's state; the queues went with the link, so nothing more is written.
    device.holdWrites(false);
    EXPECT_TRUE(device.awaitWrites({0x06, 1, 0x55}, 1, kWaitMs));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

TEST(LinkIds, UnknownIdsAreRefused) {
    const int32_t unknown = 0x7FFFFFF0;
    vPacket *packet = vPacket_Create();
    EXPECT_EQ(vLink_GetStatus(unknown), linkStatusInvalid);
    EXPECT_EQ(vLink_PutPacket(unknown, packet), vErrParam);
    EXPECT_EQ(vLink_GetPacket(unknown), nullptr);
    EXPECT_EQ(vLink_AwaitPacket(unknown, 10), nullptr);
    EXPECT_EQ(vLink_AwaitFirst(unknown, acceptAll, nullptr, 10), nullptr);
    EXPECT_EQ(vLink_DrainPackets(unknown, acceptAll, nullptr), 0u);
    EXPECT_EQ(vLink_InstallUserPacketFilter(unknown, nullptr, nullptr), vErrParam);
    EXPECT_EQ(vLink_Reset(unknown), vErrParam);
    EXPECT_EQ(vLink_ForceRoute(unknown, 1), vErrNotFound);
    int32_t id = unknown;
    EXPECT_EQ(vLink_Destroy(&id), vErrParam);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(vLink_Destroy(nullptr), vErrParam);
    EXPECT_EQ(vLink_Create(nullptr), 0);
    vPacket_Destroy(&packet);
}

TEST(LinkIds, SharingBrokerLinksAreNotAvailableYet) {
    uint16_t port = 0;
    uint32_t networkInterface = 0;
    EXPECT_EQ(vLink_CreateClient(0x0100007F, 9000, 0), 0);
    EXPECT_EQ(vLink_CreateServer(0x40F5849A, &port, &networkInterface, 1), 0);
    EXPECT_EQ(vLink_CreateServer(0x40F5849A, nullptr, &networkInterface, 1), 0);
}

} // namespace
