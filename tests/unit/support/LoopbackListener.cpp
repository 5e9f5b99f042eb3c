#include "support/LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

LoopbackListener::LoopbackListener() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    bound.sin_addr.s_addr = address();
    socklen_t length = sizeof bound;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr *>(&bound), length) != 0 ||
        ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr *>(&bound), &length) != 0) {
        close();
        return;
    }
    port_ = ntohs(bound.sin_port);
}

LoopbackListener::~LoopbackListener() {
    close();
}

uint32_t LoopbackListener::address() {
    return htonl(INADDR_LOOPBACK);
}

int LoopbackListener::accept(int timeoutMs) {
    pollfd watch{listener_, POLLIN, 0};
    if (listener_ < 0 || ::poll(&watch, 1, timeoutMs) != 1) {
        return -1;
    }
    return ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
}

void LoopbackListener::close() {
    if (listener_ >= 0) {
        ::close(listener_);
        listener_ = -1;
    }
}

void LoopbackListener::reset(int connection) {
    linger resetOnClose{1, 0};
    ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &resetOnClose, sizeof resetOnClose);
    ::close(connection);
}

std::string LoopbackListener::read(int connection, size_t count, int timeoutMs) {
    std::string got;
    while (got.size() < count) {
        pollfd watch{connection, POLLIN, 0};
        if (::poll(&watch, 1, timeoutMs) != 1) {
            break;
        }
        char buffer[256];
        size_t wanted = count - got.size() < sizeof buffer ? count - got.size() : sizeof buffer;
        ssize_t n = ::recv(connection, buffer, wanted, 0);
        if (n <= 0) {
            break;
        }
        got.append(buffer, static_cast<size_t>(n));
    }
    return got;
}

bool LoopbackListener::write(int connection, const std::string &bytes) {
    return ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
}
