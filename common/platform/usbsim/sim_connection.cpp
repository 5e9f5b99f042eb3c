#include "platform/usbsim/sim_connection.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {

namespace {

// A reply larger than any the protocol has means the stream is out of step.
constexpr std::uint32_t kMaxMessage = 1 << 20;

std::uint64_t nowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace

void SimMessage::u16(std::uint16_t value) {
    bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
    bytes_.push_back(static_cast<std::uint8_t>(value));
}

void SimMessage::u32(std::uint32_t value) {
    u16(static_cast<std::uint16_t>(value >> 16));
    u16(static_cast<std::uint16_t>(value));
}

void SimMessage::bytes(const std::uint8_t *data, std::size_t length) {
    bytes_.insert(bytes_.end(), data, data + length);
}

bool SimReader::u8(std::uint8_t *value) {
    return bytes(value, 1);
}

bool SimReader::u16(std::uint16_t *value) {
    std::uint8_t raw[2];
    if (!bytes(raw, 2)) {
        return false;
    }
    *value = static_cast<std::uint16_t>(raw[0] << 8 | raw[1]);
    return true;
}

bool SimReader::u32(std::uint32_t *value) {
    std::uint16_t high = 0;
    std::uint16_t low = 0;
    if (!u16(&high) || !u16(&low)) {
        return false;
    }
    *value = static_cast<std::uint32_t>(high) << 16 | low;
    return true;
}

bool SimReader::bytes(std::uint8_t *out, std::size_t length) {
    if (remaining() < length) {
        return false;
    }
    if (length > 0) {
        std::memcpy(out, bytes_.data() + position_, length);
    }
    position_ += length;
    return true;
}

bool SimReader::skip(std::size_t length) {
    if (remaining() < length) {
        return false;
    }
    position_ += length;
    return true;
}

SimConnection::~SimConnection() {
    close();
}

vErr SimConnection::open(const char *socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::strlen(socketPath) >= sizeof address.sun_path) {
        return vErrParam;
    }
    std::strcpy(address.sun_path, socketPath);
    socket_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket_ < 0) {
        return vErrResource;
    }
    if (::connect(socket_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(socket_);
        socket_ = -1;
        return vErrConnection;
    }
    return vErrNone;
}

bool SimConnection::sendAll(const std::uint8_t *data, std::size_t length) {
    while (length > 0) {
        ssize_t sent = ::send(socket_, data, length, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        data += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool SimConnection::receiveAll(std::uint8_t *data, std::size_t length, std::uint64_t deadlineMs) {
    while (length > 0) {
        std::uint64_t now = nowMs();
        if (now >= deadlineMs) {
            return false;
        }
        pollfd watch{socket_, POLLIN, 0};
        int ready = ::poll(&watch, 1, static_cast<int>(deadlineMs - now));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        ssize_t got = ::recv(socket_, data, length, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        data += got;
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

void SimConnection::close() {
    if (socket_ >= 0) {
        ::close(socket_);
        socket_ = -1;
    }
}

vErr SimConnection::call(const SimMessage &request, std::vector<std::uint8_t> *reply,
                         std::uint32_t timeoutMs) {
    vErr result = exchange(request, reply, timeoutMs);
    if (result != vErrNone) {
        // A reply that may still come would put every later reply out of step.
        close();
    }
    return result;
}

vErr SimConnection::exchange(const SimMessage &request, std::vector<std::uint8_t> *reply,
                             std::uint32_t timeoutMs) {
    if (socket_ < 0) {
        return vErrNotFound;
    }
    const std::vector<std::uint8_t> &body = request.bytes();
    auto size = static_cast<std::uint32_t>(body.size());
    std::uint8_t header[4] = {
        static_cast<std::uint8_t>(size >> 24), static_cast<std::uint8_t>(size >> 16),
        static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size)};
    std::uint64_t deadline = nowMs() + timeoutMs;
    if (!sendAll(header, sizeof header) || !sendAll(body.data(), body.size()) ||
        !receiveAll(header, sizeof header, deadline)) {
        return vErrNotFound;
    }
    size =
        static_cast<std::uint32_t>(header[0]) << 24 | header[1] << 16 | header[2] << 8 | header[3];
    if (size == 0 || size > kMaxMessage) {
        return vErrIO;
    }
    reply->resize(size);
    return receiveAll(reply->data(), size, deadline) ? vErrNone : vErrNotFound;
}

} // namespace platform
