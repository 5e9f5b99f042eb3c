#include <quillmark/vStream.h>
#include <quillmark/vUsbIdentity.h>

#include "support/UsbBusSimulator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

constexpr uint32_t kSerial = 0x40F5849A;

class UsbStreamTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(bus.running()); }
    void TearDown() override {
        if (stream != nullptr) {
            vStream_Destroy(&stream);
        }
    }
    void plugAndOpen(const std::string &options = "") {
        ASSERT_TRUE(bus.command("add 40F5849A " + options));
        ASSERT_EQ(vStream_CreateUSB(kSerial, &stream), vErrNone);
    }
    std::string streamReads(size_t count) {
        std::string got;
        while (got.size() < count) {
            uint8_t byte = 0;
            if (vStream_Read(stream, &byte, 1) != vErrNone) {
                break;
            }
            got.push_back(static_cast<char>(byte));
        }
        return got;
    }
    vErr write(const std::string &bytes) {
        return vStream_Write(stream, reinterpret_cast<const uint8_t *>(bytes.data()),
                             static_cast<uint32_t>(bytes.size()));
    }

    UsbBusSimulator bus;
    vStream *stream = nullptr;
};

TEST_F(UsbStreamTest, OnlyAFamilyDeviceWithTheSerialNumberIsFound) {
    vStream *out = reinterpret_cast<vStream *>(this);
    EXPECT_EQ(vStream_CreateUSB(kSerial, &out), vErrNotFound);
    EXPECT_EQ(out, nullptr);
    ASSERT_TRUE(bus.command("add 40F5849B"));
    ASSERT_TRUE(bus.command("add 40F5849A vid=0x1234"));
    EXPECT_EQ(vStream_CreateUSB(kSerial, &stream), vErrNotFound);
    EXPECT_EQ(vStream_CreateUSB(kSerial, nullptr), vErrParam);
}

TEST_F(UsbStreamTest, SerialNumberStringsInLowerCaseAndTheDecimalFormMatch) {
    ASSERT_TRUE(bus.command("add 40f5849a"));
    ASSERT_TRUE(bus.command("add RFICB1234.A"));
    ASSERT_EQ(vStream_CreateUSB(kSerial, &stream), vErrNone);
    vStream *decimal = nullptr;
    ASSERT_EQ(vStream_CreateUSB(1234, &decimal), vErrNone);
    vStream_Destroy(&decimal);
}

TEST_F(UsbStreamTest, FramesTravelBothWays) {
    plugAndOpen();
    const std::string frame("\x06\x02\x00\x01", 4);
    ASSERT_EQ(write(frame), vErrNone);
    EXPECT_EQ(streamReads(4), frame);
}

TEST_F(UsbStreamTest, BytesOfSeveralPacketsAreServedInOrder) {
    plugAndOpen("packet=8");
    std::string hex;
    std::string expected;
    for (int i = 0; i < 20; ++i) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", i * 11);
        hex += digits;
        expected.push_back(static_cast<char>(i * 11));
    }
    ASSERT_TRUE(bus.command("send 40F5849A " + hex));
    EXPECT_EQ(streamReads(20), expected);
    // A write longer than the OUT packet size goes as several transfers; the echo shows them.
    ASSERT_EQ(write(expected), vErrNone);
    EXPECT_EQ(streamReads(20), expected);
}

TEST_F(UsbStreamTest, AReadWaitsOneSecondForAPacketThenIsNotReady) {
    plugAndOpen("kind=silent");
    auto start = std::chrono::steady_clock::now();
    uint8_t byte = 0;
    EXPECT_EQ(vStream_Read(stream, &byte, 1), vErrNotReady);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::milliseconds(5000));
}

TEST_F(UsbStreamTest, WaitReadableIsBoundedAndSeesAnArrivingPacket) {
    plugAndOpen("kind=silent");
    EXPECT_EQ(vStream_WaitReadable(stream, 30), vErrTimeout);
    ASSERT_TRUE(bus.command("send 40F5849A 0A0B"));
    ASSERT_EQ(vStream_WaitReadable(stream, 2000), vErrNone);
    EXPECT_EQ(streamReads(2), "\x0A\x0B");
}

TEST_F(UsbStreamTest, AnEmptyPacketDeliversNoByte) {
    plugAndOpen("kind=silent");
    ASSERT_TRUE(bus.command("send 40F5849A"));
    ASSERT_TRUE(bus.command("send 40F5849A 07"));
    uint8_t byte = 0xEE;
    EXPECT_EQ(vStream_Read(stream, &byte, 1), vErrNotReady);
    EXPECT_EQ(vStream_Read(stream, &byte, 1), vErrNone);
    EXPECT_EQ(byte, 0x07);
}

TEST_F(UsbStreamTest, ADeviceClaimedElsewhereIsBusyUntilReleased) {
    ASSERT_TRUE(bus.command("add 40F5849A"));
    ASSERT_TRUE(bus.command("hold 40F5849A"));
    vStream *out = reinterpret_cast<vStream *>(this);
    EXPECT_EQ(vStream_CreateUSB(kSerial, &out), vErrBusy);
    EXPECT_EQ(out, nullptr);
    ASSERT_TRUE(bus.command("release 40F5849A"));
    ASSERT_EQ(vStream_CreateUSB(kSerial, &stream), vErrNone);
    vStream *second = nullptr;
    EXPECT_EQ(vStream_CreateUSB(kSerial, &second), vErrBusy);
    vStream_Destroy(&stream);
    ASSERT_EQ(vStream_CreateUSB(kSerial, &second), vErrNone) << "destroy released the claim";
    vStream_Destroy(&second);
}

TEST_F(UsbStreamTest, ADeviceThatDisappearsFailsReadsAndWritesAndCanBeOpenedAgain) {
    plugAndOpen();
    ASSERT_TRUE(bus.command("unplug 40F5849A"));
    uint8_t byte = 0;
    EXPECT_EQ(vStream_Read(stream, &byte, 1), vErrIO);
    EXPECT_EQ(write("x"), vErrIO);
    EXPECT_EQ(vStream_WaitReadable(stream, 30), vErrNone) << "the failure is for get to report";
    EXPECT_EQ(vStream_Destroy(&stream), vErrNone);
    EXPECT_EQ(vStream_CreateUSB(kSerial, &stream), vErrNotFound);
    ASSERT_TRUE(bus.command("plug 40F5849A"));
    ASSERT_EQ(vStream_CreateUSB(kSerial, &stream), vErrNone);
    ASSERT_EQ(write("ok"), vErrNone);
    EXPECT_EQ(streamReads(2), "ok");
}

TEST_F(UsbStreamTest, TheFamilyInterfaceIsFoundBehindAnotherAndWrongOnesAreRefused) {
    ASSERT_TRUE(bus.command("add 40F5849A first=08:06:50"));
    ASSERT_EQ(vStream_CreateUSB(kSerial, &stream), vErrNone);
    ASSERT_EQ(write("hi"), vErrNone);
    EXPECT_EQ(streamReads(2), "hi");
    struct Case {
        const char *options;
        uint32_t serial;
    };
    const Case refused[] = {
        {"class=FF:88:11", 0x1001}, {"class=08:06:50", 0x1002}, {"iso=1", 0x1003}};
    for (const Case &c : refused) {
        char serial[16];
        std::snprintf(serial, sizeof serial, "%08X", c.serial);
        ASSERT_TRUE(bus.command(std::string("add ") + serial + " " + c.options));
        vStream *out = nullptr;
        EXPECT_EQ(vStream_CreateUSB(c.serial, &out), vErrInitialization) << c.options;
    }
}

// The link engine reads on one thread and writes on another; a read waiting for a packet must
// not hold up the writes.
TEST_F(UsbStreamTest, OneThreadReadsWhileAnotherWrites) {
    plugAndOpen();
    constexpr int kFrames = 40;
    std::thread writer([this] {
        for (int i = 0; i < kFrames; ++i) {
            const uint8_t frame[4] = {0x06, 0x02, 0x00, static_cast<uint8_t>(i)};
            EXPECT_EQ(vStream_Write(stream, frame, sizeof frame), vErrNone);
        }
    });
    std::string got;
    for (int attempt = 0; attempt < 4 * kFrames * 2 && got.size() < 4 * kFrames; ++attempt) {
        uint8_t byte = 0;
        if (vStream_Read(stream, &byte, 1) == vErrNone) {
            got.push_back(static_cast<char>(byte));
        }
    }
    writer.join();
    ASSERT_EQ(got.size(), 4u * kFrames);
    for (int i = 0; i < kFrames; ++i) {
        EXPECT_EQ(static_cast<uint8_t>(got[4 * i + 3]), i);
    }
}

TEST(UsbStreamWithoutSimulator, AMachineWithoutFamilyDevicesFindsNone) {
    unsetenv("QM_USB_SIM");
    vStream *out = nullptr;
    EXPECT_EQ(vStream_CreateUSB(kSerial, &out), vErrNotFound);
    EXPECT_EQ(out, nullptr);
}

TEST(UsbStreamWithoutSimulator, ASimulatorThatIsNotRunningHasNoDevices) {
    setenv("QM_USB_SIM", "/nonexistent/usb.sock", 1);
    vStream *out = nullptr;
    EXPECT_EQ(vStream_CreateUSB(kSerial, &out), vErrNotFound);
    unsetenv("QM_USB_SIM");
}

} // namespace
