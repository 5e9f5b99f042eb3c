// The engine against the simulated device, over loopback TCP, a pseudo-terminal and the
// simulated USB bus.
#include "support/Polling.h"
#include "support/SimDeviceProcess.h"
#include "vLinkRecord.h"

#include <quillmark/vCommands.h>
#include <quillmark/vLink.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

using Transport = SimDeviceProcess::Transport;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kSerial = 0x40F5849A;
constexpr uint8_t kAddress = 8;
constexpr uint8_t kModel = 13;
constexpr uint8_t kModelOption = 8;
constexpr uint32_t kReplyWaitMs = 1000;

std::vector<std::string> deviceOptions(std::vector<std::string> more = {}) {
    std::vector<std::string> options = {"--address", std::to_string(kAddress), "--model",
                                        std::to_string(kModel)};
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

bool awaitStatus(int32_t id, linkStatus wanted) {
    return pollUntil([&] { return vLink_GetStatus(id) == wanted; }, 3000);
}

uint8_t isModelReply(const vPacket *packet, const void *) {
    return packet->address == kAddress && packet->dataSize == 4 && packet->data[0] == cmdSYSTEM &&
           packet->data[1] == kModelOption && (packet->data[2] & 0x1F) == 0;
}

uint8_t isHeartbeat(const vPacket *packet, const void *) {
    return packet->dataSize == 2 && packet->data[0] == cmdHB;
}

// Asks the device for its model and waits for the reply; -1 when none came.
int askModel(int32_t id) {
    const uint8_t request[] = {cmdSYSTEM, kModelOption | 0x40, 0x20};
    vPacket *packet = vPacket_CreateWithData(kAddress, sizeof request, request);
    vLink_PutPacket(id, packet);
    vPacket_Destroy(&packet);
    vPacket *reply = vLink_AwaitFirst(id, isModelReply, nullptr, kReplyWaitMs);
    int model = reply != nullptr ? reply->data[3] : -1;
    vPacket_Destroy(&reply);
    return model;
}

// Asks until the device answers, for links that are still finding their way back.
bool answersWithin(int32_t id, int timeoutMs) {
    return pollUntil([&] { return askModel(id) == kModel; }, timeoutMs, 20);
}

bool contains(const std::vector<std::string> &frames, const std::string &frame) {
    return std::find(frames.begin(), frames.end(), frame) != frames.end();
}

// A link opened on a simulated device for each test, released after it.
class DeviceLinkTest : public ::testing::Test {
  protected:
    DeviceLinkTest(Transport transport, std::vector<std::string> more)
        : device(transport, deviceOptions(std::move(more))) {}
    virtual int32_t open() = 0;
    void SetUp() override {
        ASSERT_TRUE(device.running());
        id = open();
        ASSERT_NE(id, 0);
    }
    void TearDown() override { vLink_Destroy(&id); }

    SimDeviceProcess device;
    int32_t id = 0;
};

class TcpLinkTest : public DeviceLinkTest {
  protected:
    explicit TcpLinkTest(std::vector<std::string> more = {})
        : DeviceLinkTest(Transport::tcp, std::move(more)) {}
    int32_t open() override { return vLink_CreateTCPIP(loopbackAddress(), device.port()); }
};

TEST_F(TcpLinkTest, RunsRoutedAndAnswersARequest) {
    EXPECT_EQ(vLink_GetStatus(id), linkStatusRunning);
    EXPECT_EQ(askModel(id), kModel);
    EXPECT_TRUE(contains(device.frames(), "AF0101"));
}

TEST_F(TcpLinkTest, TheSameAddressSharesTheLinkUntilTheLastRelease) {
    int32_t again = vLink_CreateTCPIP(loopbackAddress(), static_cast<uint16_t>(device.port() + 1));
    EXPECT_EQ(again, id);
    int32_t copy = id;
    EXPECT_EQ(vLink_Destroy(&copy), vErrNone);
    EXPECT_EQ(vLink_GetStatus(id), linkStatusRunning);
    EXPECT_EQ(askModel(id), kModel);
    int32_t last = id;
    EXPECT_EQ(vLink_Destroy(&last), vErrNone);
    EXPECT_EQ(vLink_GetStatus(id), linkStatusInvalid);
    ASSERT_TRUE(device.awaitStat("forceroutes", 2, 2000));
    EXPECT_TRUE(contains(device.frames(), "AF0100"));
    id = 0;
}

TEST_F(TcpLinkTest, TheReplyIsFoundAmongUnrelatedPackets) {
    // Two packets from another module and an unrelated one from the device come first.
    ASSERT_EQ(device.command("send 040155 0401AA 08025D01"), "ok");
    EXPECT_EQ(askModel(id), kModel);
    auto fromOtherModule = [](const vPacket *packet, const void *) -> uint8_t {
        return packet->address == 4;
    };
    EXPECT_EQ(vLink_DrainPackets(id, fromOtherModule, nullptr), 2u);
    vPacket *unrelated = vLink_GetPacket(id);
    ASSERT_NE(unrelated, nullptr);
    EXPECT_EQ(unrelated->data[0], 0x5D);
    vPacket_Destroy(&unrelated);
}

TEST_F(TcpLinkTest, RecoversFromBrokenFramingThroughASyncBurst) {
    const char *faults[] = {"garbage 7", "badlength", "badlength 200"};
    for (const char *fault : faults) {
        SCOPED_TRACE(fault);
        const long syncsBefore = device.stats()["syncs"];
        ASSERT_EQ(device.command(fault), "ok");
        EXPECT_TRUE(device.awaitStat("syncs", syncsBefore + 6, 3000));
        EXPECT_TRUE(awaitStatus(id, linkStatusRunning));
        EXPECT_TRUE(answersWithin(id, 3000));
    }
}

TEST_F(TcpLinkTest, ComesBackAfterTheDeviceDropsTheConnection) {
    const char *drops[] = {"drop", "drop reset"};
    for (const char *drop : drops) {
        SCOPED_TRACE(drop);
        const long connectionsBefore = device.stats()["connections"];
        ASSERT_EQ(device.command(drop), "ok");
        EXPECT_TRUE(device.awaitStat("connections", connectionsBefore + 1, 3000));
        EXPECT_TRUE(answersWithin(id, 3000));
    }
}

TEST_F(TcpLinkTest, ResetMakesANewConnection) {
    const long connectionsBefore = device.stats()["connections"];
    EXPECT_EQ(vLink_Reset(id), vErrNone);
    EXPECT_EQ(vLink_GetStatus(id), linkStatusRunning);
    EXPECT_TRUE(device.awaitStat("connections", connectionsBefore + 1, 3000));
    EXPECT_EQ(askModel(id), kModel);
}

class TcpHeartbeatTest : public TcpLinkTest {
  protected:
    TcpHeartbeatTest() : TcpLinkTest({"--heartbeat-ms", "50", "--heartbeat-deadline-ms", "500"}) {}
};

TEST_F(TcpHeartbeatTest, HeartbeatsAreAnsweredInTimeAndNeverQueued) {
    ASSERT_EQ(device.command("heartbeat down"), "ok");
    ASSERT_TRUE(device.awaitStat("hb_ok", 5, 5000));
    auto counters = device.stats();
    EXPECT_EQ(counters["hb_wrong"], 0);
    EXPECT_EQ(counters["hb_missed"], 0);
    EXPECT_EQ(counters["hb_late"], 0);
    EXPECT_EQ(vLink_DrainPackets(id, isHeartbeat, nullptr), 0u);
    EXPECT_EQ(askModel(id), kModel);
}

TEST(TcpLinkLifetime, StopsQuicklyAndLeavesNoThreadOrDescriptor) {
    SimDeviceProcess device(Transport::tcp, deviceOptions({"--heartbeat-ms", "50"}));
    ASSERT_TRUE(device.running());
    // A first link lets the runtime (a sanitizer's helper thread, say) set itself up.
    int32_t first = vLink_CreateTCPIP(loopbackAddress(), device.port());
    ASSERT_NE(first, 0);
    vLink_Destroy(&first);
    const size_t threadsBefore = countProcEntries("task");
    const size_t descriptorsBefore = countProcEntries("fd");
    int32_t id = vLink_CreateTCPIP(loopbackAddress(), device.port());
    ASSERT_NE(id, 0);
    EXPECT_EQ(countProcEntries("task"), threadsBefore + 2);
    EXPECT_EQ(askModel(id), kModel);
    auto before = Clock::now();
    EXPECT_EQ(vLink_Destroy(&id), vErrNone);
    // Well inside the stop's bound: both threads notice a stop within a fraction of a second.
    EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(1500));
    EXPECT_EQ(countProcEntries("task"), threadsBefore);
    EXPECT_EQ(countProcEntries("fd"), descriptorsBefore);
}

TEST(TcpLinkLifetime, NoListenerGivesNoLink) {
    SimDeviceProcess device(Transport::tcp);
    ASSERT_TRUE(device.running());
    const uint16_t port = device.port();
    device.quit();
    EXPECT_EQ(vLink_CreateTCPIP(loopbackAddress(), port), 0);
}

class SerialLinkTest : public DeviceLinkTest {
  protected:
    SerialLinkTest() : DeviceLinkTest(Transport::pty, {"--heartbeat-ms", "50"}) {}
    int32_t open() override {
        return vLink_CreateSerial(kSerial, device.ptyPath().c_str(), 115200);
    }
};

TEST_F(SerialLinkTest, AnswersRequestsAndHeartbeats) {
    EXPECT_EQ(askModel(id), kModel);
    EXPECT_TRUE(device.awaitStat("hb_ok", 3, 3000));
    EXPECT_EQ(device.stats()["hb_wrong"], 0);
    EXPECT_EQ(vLink_CreateSerial(kSerial, "/dev/null/none", 9600), id);
    int32_t copy = id;
    vLink_Destroy(&copy);
}

TEST_F(SerialLinkTest, AHangUpShowsAsIOErrorAndCannotBeReset) {
    ASSERT_EQ(device.command("drop"), "ok");
    EXPECT_TRUE(awaitStatus(id, linkStatusIOError));
    EXPECT_EQ(vLink_AwaitFirst(id, isModelReply, nullptr, kReplyWaitMs), nullptr);
    EXPECT_EQ(vLink_Reset(id), vErrParam);
}

TEST(SerialLinkSettings, RefusesUnlistedRatesAndMissingPorts) {
    SimDeviceProcess device(Transport::pty);
    ASSERT_TRUE(device.running());
    EXPECT_EQ(vLink_CreateSerial(kSerial, device.ptyPath().c_str(), 12345), 0);
    EXPECT_EQ(vLink_CreateSerial(kSerial, "/dev/qm-no-such-port", 115200), 0);
}

class UsbLinkTest : public DeviceLinkTest {
  protected:
    UsbLinkTest() : DeviceLinkTest(Transport::usb, {}) {}
    int32_t open() override { return vLink_CreateUSB(kSerial); }
};

TEST_F(UsbLinkTest, AlignsOnTheDevicesAddressAndAnswers) {
    EXPECT_EQ(vLink_GetStatus(id), linkStatusRunning);
    EXPECT_EQ(linkCore(id)->syncAddress, kAddress);
    EXPECT_GE(device.stats()["syncs"], 6);
    EXPECT_EQ(askModel(id), kModel);
    // The answers to the rest of the burst were drained during creation.
    EXPECT_EQ(vLink_GetPacket(id), nullptr);
}

TEST_F(UsbLinkTest, CreatingTwiceSharesOneLink) {
    int32_t again = vLink_CreateUSB(kSerial);
    EXPECT_EQ(again, id);
    EXPECT_EQ(vLink_Destroy(&again), vErrNone);
    EXPECT_EQ(vLink_GetStatus(id), linkStatusRunning);
    EXPECT_EQ(askModel(id), kModel);
}

TEST_F(UsbLinkTest, AnUnpluggedDeviceShowsAsIOErrorAndResetFindsItAgain) {
    ASSERT_EQ(device.command("drop"), "ok");
    EXPECT_TRUE(awaitStatus(id, linkStatusIOError));
    ASSERT_EQ(device.command("resume"), "ok");
    EXPECT_EQ(vLink_Reset(id), vErrNone);
    EXPECT_EQ(askModel(id), kModel);
}

TEST(UsbLinkLookup, AnAbsentDeviceGivesNoLink) {
    SimDeviceProcess device(Transport::usb, deviceOptions());
    ASSERT_TRUE(device.running());
    EXPECT_EQ(vLink_CreateUSB(kSerial + 1), 0);
}

} // namespace
