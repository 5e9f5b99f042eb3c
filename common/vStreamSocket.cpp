#include <quillmark/vStream.h>

#include "platform/platform.h"

#include <chrono>
#include <new>
#include <thread>

namespace {

using platform::SocketResult;

constexpr uint16_t kSocketCheck = 0xDEAD;
constexpr uint32_t kReceiveBufferSize = 512;
constexpr int kWriteAttempts = 10;
constexpr auto kPauseAfterFailedConnect = std::chrono::milliseconds(10);
constexpr auto kPauseAfterClose = std::chrono::milliseconds(10);
constexpr auto kPauseBetweenSends = std::chrono::milliseconds(60);

struct SocketState {
    uint16_t check;
    uint32_t ipAddress;
    uint16_t port;
    bool connected;
    platform::Descriptor socket;
    // Bytes received but not yet handed to the reader.
    uint8_t received[kReceiveBufferSize];
    uint32_t receivedCount;
    uint32_t receivedPosition;
};

SocketState *checkedState(void *ref) {
    auto *state = static_cast<SocketState *>(ref);
    return state != nullptr && state->check == kSocketCheck ? state : nullptr;
}

void dropConnection(SocketState *state) {
    state->connected = false;
    platform::closeDescriptor(state->socket);
    state->socket = platform::kNoDescriptor;
    state->receivedCount = 0;
    state->receivedPosition = 0;
}

vErr connectSocket(SocketState *state) {
    SocketResult result = platform::tcpConnect(state->ipAddress, state->port, &state->socket);
    if (result != SocketResult::ok) {
        std::this_thread::sleep_for(kPauseAfterFailedConnect);
        bool refusedOrLost = result == SocketResult::refused || result == SocketResult::reset ||
                             result == SocketResult::timedOut || result == SocketResult::wouldBlock;
        return refusedOrLost ? vErrConnection : vErrIO;
    }
    state->connected = true;
    if (!platform::tcpConfigureForLink(state->socket)) {
        dropConnection(state);
        return vErrIO;
    }
    return vErrNone;
}

vErr reconnect(SocketState *state) {
    dropConnection(state);
    return connectSocket(state);
}

// A connection the peer reset, broke, or ended in order: the stream connects again.
bool connectionLost(SocketResult result) {
    return result == SocketResult::reset || result == SocketResult::notConnected ||
           result == SocketResult::timedOut || result == SocketResult::peerClosed;
}

// Fills the receive buffer with what the socket holds now.
vErr receiveMore(SocketState *state, bool mayReconnect) {
    size_t count = 0;
    SocketResult result =
        platform::tcpReceive(state->socket, state->received, kReceiveBufferSize, &count);
    if (result == SocketResult::ok) {
        state->receivedCount = static_cast<uint32_t>(count);
        state->receivedPosition = 0;
        return vErrNone;
    }
    if (result == SocketResult::wouldBlock) {
        return vErrNotReady;
    }
    if (connectionLost(result)) {
        if (!mayReconnect) {
            return vErrNotReady;
        }
        vErr reconnected = reconnect(state);
        return reconnected != vErrNone ? reconnected : receiveMore(state, false);
    }
    return vErrConnection;
}

vErr socketGet(uint8_t *byte, void *ref) {
    SocketState *state = checkedState(ref);
    if (state == nullptr) {
        return vErrParam;
    }
    if (!state->connected) {
        return vErrConnection;
    }
    if (state->receivedPosition == state->receivedCount) {
        vErr result = receiveMore(state, true);
        if (result != vErrNone) {
            return result;
        }
    }
    *byte = state->received[state->receivedPosition++];
    return vErrNone;
}

vErr socketWrite(const uint8_t *buffer, uint32_t length, void *ref) {
    SocketState *state = checkedState(ref);
    if (state == nullptr) {
        return vErrParam;
    }
    if (!state->connected) {
        return vErrConnection;
    }
    uint32_t done = 0;
    int attempts = 0;
    while (done < length) {
        size_t sent = 0;
        SocketResult result = platform::tcpSend(state->socket, buffer + done, length - done, &sent);
        if (result == SocketResult::ok) {
            done += static_cast<uint32_t>(sent);
            if (done == length) {
                return vErrNone;
            }
            attempts = 1;
        } else if (result == SocketResult::wouldBlock) {
            ++attempts;
        } else if (connectionLost(result)) {
            vErr reconnected = reconnect(state);
            if (reconnected != vErrNone) {
                return reconnected;
            }
            ++attempts;
        } else {
            return vErrIO;
        }
        if (attempts >= kWriteAttempts) {
            // The peer took nothing more for the whole retry budget: the write did not happen.
            return vErrBusy;
        }
        std::this_thread::sleep_for(kPauseBetweenSends);
    }
    return vErrNone;
}

vErr socketPut(const uint8_t *byte, void *ref) {
    return socketWrite(byte, 1, ref);
}

vErr socketWait(uint32_t timeoutMs, void *ref) {
    SocketState *state = checkedState(ref);
    if (state == nullptr) {
        return vErrParam;
    }
    if (!state->connected || state->receivedPosition < state->receivedCount) {
        return vErrNone;
    }
    vErr result = platform::waitReadable(state->socket, timeoutMs);
    return result == vErrTimeout ? vErrTimeout : vErrNone;
}

vErr socketDestroy(void *ref) {
    SocketState *state = checkedState(ref);
    if (state == nullptr) {
        return vErrParam;
    }
    if (state->socket != platform::kNoDescriptor) {
        dropConnection(state);
        std::this_thread::sleep_for(kPauseAfterClose);
    }
    state->check = 0;
    delete state;
    return vErrNone;
}

} // namespace

vErr vStream_CreateSocket(uint32_t ipAddress, uint16_t port, vStream **stream) {
    if (stream == nullptr) {
        return vErrResource;
    }
    *stream = nullptr;
    auto *state = new (std::nothrow) SocketState{};
    if (state == nullptr) {
        return vErrResource;
    }
    state->check = kSocketCheck;
    state->ipAddress = ipAddress;
    state->port = port;
    state->socket = platform::kNoDescriptor;
    if (connectSocket(state) != vErrNone) {
        socketDestroy(state);
        return vErrResource;
    }
    vStream *created = vStream_Create(socketGet, socketPut, socketWrite, socketDestroy, state);
    if (created == nullptr) {
        socketDestroy(state);
        return vErrResource;
    }
    vStream_SetWaitProc(created, socketWait);
    *stream = created;
    return vErrNone;
}
