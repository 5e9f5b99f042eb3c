#include <quillmark/vStream.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

// A pseudo-terminal pair: the stream opens the terminal side by its path, the test plays the
// device on the controlling side.
class SerialStreamTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[128] = {};
        ASSERT_EQ(openpty(&device, &terminal, name, nullptr, nullptr), 0);
        path = name;
        ASSERT_EQ(tcgetattr(terminal, &original), 0);
    }
    void TearDown() override {
        if (stream != nullptr) {
            vStream_Destroy(&stream);
        }
        close(terminal);
        close(device);
    }
    void open(uint32_t baudCode = 6) {
        ASSERT_EQ(vStream_CreateSerial(path.c_str(), baudCode, 0, 0, 0, &stream), vErrNone);
    }
    std::string deviceReads(size_t count) {
        std::string got;
        while (got.size() < count) {
            pollfd watch{device, POLLIN, 0};
            if (poll(&watch, 1, 2000) != 1) {
                break;
            }
            char buffer[64];
            ssize_t n = read(device, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0) {
                break;
            }
            got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }
    void deviceWrites(const std::string &bytes) {
        ASSERT_EQ(write(device, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    termios current() {
        termios now{};
        tcgetattr(terminal, &now);
        return now;
    }

    int device = -1;
    int terminal = -1;
    std::string path;
    termios original{};
    vStream *stream = nullptr;
};

TEST_F(SerialStreamTest, CreationChecksItsArgumentsBeforeTouchingThePort) {
    struct Case {
        const char *name;
        uint32_t baudCode, sevenBits, twoStopBits;
        bool nullOut;
        vErr expected;
    };
    const Case cases[] = {
        {"/dev/null", 8, 0, 0, false, vErrRange},
        {"/dev/null", 6, 2, 0, false, vErrMode},
        {"/dev/null", 6, 0, 2, false, vErrMode},
        {nullptr, 6, 0, 0, false, vErrParam},
        {"/dev/null", 6, 0, 0, true, vErrParam},
        {"/dev/null", 6, 0, 0, false, vErrIO},        // not a serial port
        {"/nonexistent/tty", 6, 0, 0, false, vErrIO}, // no such port
    };
    for (const Case &c : cases) {
        vStream *out = reinterpret_cast<vStream *>(&device);
        vErr result = vStream_CreateSerial(c.name, c.baudCode, 0, c.sevenBits, c.twoStopBits,
                                           c.nullOut ? nullptr : &out);
        EXPECT_EQ(result, c.expected) << (c.name ? c.name : "null") << " code " << c.baudCode;
        if (!c.nullOut) {
            EXPECT_EQ(out, nullptr);
        }
    }
    std::string tooLong = "/dev/" + std::string(300, 'x');
    EXPECT_EQ(vStream_CreateSerial(tooLong.c_str(), 6, 0, 0, 0, &stream), vErrIO);
}

TEST_F(SerialStreamTest, BytesTravelBothWaysAndAnEmptyLineIsNotReady) {
    open();
    uint8_t byte = 0;
    EXPECT_EQ(vStream_Read(stream, &byte, 1), vErrNotReady);
    deviceWrites(std::string("\x00\x11\x13\r\n\x7f\xff", 7));
    ASSERT_EQ(vStream_WaitReadable(stream, 2000), vErrNone);
    uint8_t buffer[7] = {};
    ASSERT_EQ(vStream_Read(stream, buffer, 7), vErrNone);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), 7),
              std::string("\x00\x11\x13\r\n\x7f\xff", 7))
        << "raw mode passes every byte unchanged";
    const uint8_t frame[] = {0x06, 0x02, 0x00, 0x0A, '\n'};
    ASSERT_EQ(vStream_Write(stream, frame, sizeof frame), vErrNone);
    EXPECT_EQ(deviceReads(sizeof frame), std::string(reinterpret_cast<const char *>(frame), 5));
}

TEST_F(SerialStreamTest, WaitReadableTimesOutOnASilentLine) {
    open();
    EXPECT_EQ(vStream_WaitReadable(stream, 20), vErrTimeout);
}

TEST_F(SerialStreamTest, LineSettingsAreRawAndTheSavedOnesComeBackOnDestroy) {
    open(2);
    termios set = current();
    EXPECT_EQ(cfgetospeed(&set), B9600);
    EXPECT_EQ(set.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(set.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(set.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(set.c_iflag & (IXON | ICRNL | INPCK), 0u);
    EXPECT_EQ(set.c_cc[VMIN], 0);
    EXPECT_EQ(set.c_cc[VTIME], 0);
    ASSERT_EQ(vStream_Destroy(&stream), vErrNone);
    termios restored = current();
    EXPECT_EQ(restored.c_lflag, original.c_lflag);
    EXPECT_EQ(restored.c_iflag, original.c_iflag);
    EXPECT_EQ(cfgetospeed(&restored), cfgetospeed(&original));
}

// A pseudo-terminal keeps its own character size and parity bits whatever is set, so only the
// settings it does keep are checked here.
TEST_F(SerialStreamTest, OtherRatesAndParityCheckingAreApplied) {
    ASSERT_EQ(vStream_CreateSerial(path.c_str(), 7, 1, 1, 1, &stream), vErrNone);
    termios set = current();
    EXPECT_EQ(cfgetospeed(&set), B230400);
    EXPECT_NE(set.c_iflag & INPCK, 0u);
}

TEST_F(SerialStreamTest, ThePortIsOpenedForThisStreamAlone) {
    open();
    vStream *second = nullptr;
    EXPECT_EQ(vStream_CreateSerial(path.c_str(), 6, 0, 0, 0, &second), vErrIO);
    EXPECT_EQ(second, nullptr);
}

TEST_F(SerialStreamTest, AClosedDeviceSideIsAnError) {
    open();
    close(device);
    device = ::open("/dev/null", O_RDONLY);
    uint8_t byte = 0;
    EXPECT_EQ(vStream_Read(stream, &byte, 1), vErrIO);
}

} // namespace
