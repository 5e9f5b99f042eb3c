#include "platform/platform.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

SocketResult classify(int error) {
    switch (error) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINPROGRESS:
    case EALREADY:
        return SocketResult::wouldBlock;
    case ECONNREFUSED:
        return SocketResult::refused;
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
    case ENETRESET:
        return SocketResult::reset;
    case ENOTCONN:
        return SocketResult::notConnected;
    case ETIMEDOUT:
        return SocketResult::timedOut;
    default:
        return SocketResult::failed;
    }
}

} // namespace

SocketResult tcpConnect(std::uint32_t ipAddress, std::uint16_t port, Descriptor *socket) {
    *socket = kNoDescriptor;
    int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        return SocketResult::failed;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ipAddress;
    address.sin_port = htons(port);
    int result = 0;
    do {
        result = ::connect(descriptor, reinterpret_cast<sockaddr *>(&address), sizeof address);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        SocketResult failure = classify(errno);
        ::close(descriptor);
        return failure;
    }
    *socket = descriptor;
    return SocketResult::ok;
}

bool tcpConfigureForLink(Descriptor socket) {
    int descriptor = static_cast<int>(socket);
    int on = 1;
    timeval noTimeout{};
    linger resetOnClose{1, 0};
    int flags = ::fcntl(descriptor, F_GETFL);
    return ::setsockopt(descriptor, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0 &&
           ::setsockopt(descriptor, SOL_SOCKET, SO_RCVTIMEO, &noTimeout, sizeof noTimeout) == 0 &&
           ::setsockopt(descriptor, SOL_SOCKET, SO_LINGER, &resetOnClose, sizeof resetOnClose) ==
               0 &&
           flags >= 0 && ::fcntl(descriptor, F_SETFL, flags | O_NONBLOCK) == 0;
}

SocketResult tcpReceive(Descriptor socket, std::uint8_t *buffer, std::size_t capacity,
                        std::size_t *received) {
    *received = 0;
    ssize_t got = 0;
    do {
        got = ::recv(static_cast<int>(socket), buffer, capacity, MSG_DONTWAIT);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        return classify(errno);
    }
    if (got == 0) {
        return SocketResult::peerClosed;
    }
    *received = static_cast<std::size_t>(got);
    return SocketResult::ok;
}

SocketResult tcpSend(Descriptor socket, const std::uint8_t *data, std::size_t length,
                     std::size_t *sent) {
    *sent = 0;
    ssize_t went = 0;
    do {
        went = ::send(static_cast<int>(socket), data, length, MSG_DONTWAIT | MSG_NOSIGNAL);
    } while (went < 0 && errno == EINTR);
    if (went < 0) {
        return classify(errno);
    }
    *sent = static_cast<std::size_t>(went);
    return SocketResult::ok;
}

void closeDescriptor(Descriptor descriptor) {
    if (descriptor != kNoDescriptor) {
        ::close(static_cast<int>(descriptor));
    }
}

vErr waitReadable(Descriptor descriptor, std::uint32_t timeoutMs) {
    pollfd watch{static_cast<int>(descriptor), POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&watch, 1, static_cast<int>(timeoutMs));
    } while (ready < 0 && errno == EINTR);
    if (ready < 0 || (watch.revents & POLLNVAL) != 0) {
        return vErrIO;
    }
    return ready == 0 ? vErrTimeout : vErrNone;
}

} // namespace platform
