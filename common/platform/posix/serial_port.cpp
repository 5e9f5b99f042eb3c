#include "platform/platform.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace platform {

struct SerialPort {
    int descriptor;
    termios saved;
};

namespace {

// A read of nothing is either an idle line or a line that has gone (hung up); only the second
// shows in the descriptor's events.
bool hungUp(int descriptor) {
    pollfd watch{descriptor, POLLIN, 0};
    return ::poll(&watch, 1, 0) == 1 && (watch.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool speedFor(std::uint32_t bitsPerSecond, speed_t *speed) {
    switch (bitsPerSecond) {
    case 2400:
        *speed = B2400;
        return true;
    case 4800:
        *speed = B4800;
        return true;
    case 9600:
        *speed = B9600;
        return true;
    case 19200:
        *speed = B19200;
        return true;
    case 38400:
        *speed = B38400;
        return true;
    case 57600:
        *speed = B57600;
        return true;
    case 115200:
        *speed = B115200;
        return true;
    case 230400:
        *speed = B230400;
        return true;
    default:
        return false;
    }
}

} // namespace

vErr serialOpen(const char *path, SerialPort **port) {
    *port = nullptr;
    // Opened without waiting for a carrier; reads are made non-waiting by the line settings.
    int descriptor = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return vErrIO;
    }
    auto *opened = new (std::nothrow) SerialPort{descriptor, {}};
    if (opened == nullptr) {
        ::close(descriptor);
        return vErrMemory;
    }
    // Exclusive mode keeps other users out; the lock also keeps out privileged processes of
    // this library, which exclusive mode lets through.
    int flags = ::fcntl(descriptor, F_GETFL);
    if (::tcgetattr(descriptor, &opened->saved) != 0 || ::ioctl(descriptor, TIOCEXCL) != 0 ||
        ::flock(descriptor, LOCK_EX | LOCK_NB) != 0 || flags < 0 ||
        ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(descriptor);
        delete opened;
        return vErrIO;
    }
    *port = opened;
    return vErrNone;
}

vErr serialConfigure(SerialPort *port, const SerialLineSettings &settings) {
    speed_t speed = B0;
    if (!speedFor(settings.bitsPerSecond, &speed)) {
        return vErrIO;
    }
    termios line = port->saved;
    ::cfmakeraw(&line);
    line.c_cflag |= CLOCAL | CREAD;
    line.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD);
    line.c_cflag |= settings.sevenDataBits ? CS7 : CS8;
    line.c_cflag |= settings.twoStopBits ? CSTOPB : 0;
    line.c_cflag |= settings.oddParity ? (PARENB | PARODD) : 0;
    line.c_iflag = settings.parityCheck ? (line.c_iflag | INPCK) : (line.c_iflag & ~INPCK);
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
    if (::cfsetispeed(&line, speed) != 0 || ::cfsetospeed(&line, speed) != 0 ||
        ::tcsetattr(port->descriptor, TCSANOW, &line) != 0) {
        return vErrIO;
    }
    return vErrNone;
}

vErr serialRead(SerialPort *port, std::uint8_t *byte, std::size_t *count) {
    *count = 0;
    ssize_t got = 0;
    do {
        got = ::read(port->descriptor, byte, 1);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        return errno == EAGAIN ? vErrNone : vErrIO;
    }
    if (got == 0 && hungUp(port->descriptor)) {
        return vErrIO;
    }
    *count = static_cast<std::size_t>(got);
    return vErrNone;
}

vErr serialWrite(SerialPort *port, const std::uint8_t *data, std::size_t length) {
    while (length > 0) {
        ssize_t went = ::write(port->descriptor, data, length);
        if (went < 0 && errno == EINTR) {
            continue;
        }
        if (went <= 0) {
            return vErrIO;
        }
        data += went;
        length -= static_cast<std::size_t>(went);
    }
    return vErrNone;
}

vErr serialWaitReadable(SerialPort *port, std::uint32_t timeoutMs) {
    return waitReadable(port->descriptor, timeoutMs);
}

vErr serialClose(SerialPort *port) {
    bool restored = ::tcsetattr(port->descriptor, TCSANOW, &port->saved) == 0;
    ::ioctl(port->descriptor, TIOCNXCL);
    ::close(port->descriptor);
    delete port;
    return restored ? vErrNone : vErrIO;
}

} // namespace platform
