#include <quillmark/vStream.h>

#include "platform/platform.h"

#include <cstring>
#include <new>

namespace {

constexpr uint16_t kSerialCheck = 0xDEEF;
// The longest device path accepted for a port.
constexpr size_t kMaxPortName = 260;
constexpr uint32_t kRates[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};

struct SerialState {
    uint16_t check;
    platform::SerialPort *port;
};

vErr checkedPort(void *ref, platform::SerialPort **port) {
    auto *state = static_cast<SerialState *>(ref);
    if (state == nullptr || state->check != kSerialCheck) {
        return vErrParam;
    }
    *port = state->port;
    return *port != nullptr ? vErrNone : vErrIO;
}

vErr serialGet(uint8_t *byte, void *ref) {
    platform::SerialPort *port = nullptr;
    vErr result = checkedPort(ref, &port);
    if (result != vErrNone) {
        return result;
    }
    size_t count = 0;
    result = platform::serialRead(port, byte, &count);
    if (result != vErrNone) {
        return result;
    }
    return count == 1 ? vErrNone : vErrNotReady;
}

vErr serialWrite(const uint8_t *buffer, uint32_t length, void *ref) {
    platform::SerialPort *port = nullptr;
    vErr result = checkedPort(ref, &port);
    if (result != vErrNone) {
        return result;
    }
    return platform::serialWrite(port, buffer, length) == vErrNone ? vErrNone : vErrIO;
}

vErr serialPut(const uint8_t *byte, void *ref) {
    return serialWrite(byte, 1, ref);
}

vErr serialWait(uint32_t timeoutMs, void *ref) {
    platform::SerialPort *port = nullptr;
    vErr result = checkedPort(ref, &port);
    if (result != vErrNone) {
        return result;
    }
    result = platform::serialWaitReadable(port, timeoutMs);
    return result == vErrTimeout ? vErrTimeout : vErrNone;
}

vErr serialDestroy(void *ref) {
    platform::SerialPort *port = nullptr;
    vErr result = checkedPort(ref, &port);
    if (result == vErrParam) {
        return result;
    }
    auto *state = static_cast<SerialState *>(ref);
    result = port != nullptr ? platform::serialClose(port) : vErrIO;
    state->check = 0;
    delete state;
    return result;
}

} // namespace

vErr vStream_CreateSerial(const char *portName, uint32_t baudCode, uint32_t parity,
                          uint32_t sevenBits, uint32_t twoStopBits, vStream **stream) {
    if (stream != nullptr) {
        *stream = nullptr;
    }
    if (baudCode >= sizeof kRates / sizeof kRates[0]) {
        return vErrRange;
    }
    if (sevenBits > 1 || twoStopBits > 1) {
        return vErrMode;
    }
    if (portName == nullptr || stream == nullptr) {
        return vErrParam;
    }
    if (std::strlen(portName) > kMaxPortName) {
        return vErrIO;
    }
    platform::SerialPort *port = nullptr;
    vErr result = platform::serialOpen(portName, &port);
    if (result != vErrNone) {
        return result;
    }
    platform::SerialLineSettings settings{kRates[baudCode], (parity & 1) != 0, parity != 0,
                                          sevenBits == 1, twoStopBits == 1};
    if (platform::serialConfigure(port, settings) != vErrNone) {
        platform::serialClose(port);
        return vErrIO;
    }
    auto *state = new (std::nothrow) SerialState{kSerialCheck, port};
    if (state == nullptr) {
        platform::serialClose(port);
        return vErrMemory;
    }
    vStream *created = vStream_Create(serialGet, serialPut, serialWrite, serialDestroy, state);
    if (created == nullptr) {
        serialDestroy(state);
        return vErrResource;
    }
    vStream_SetWaitProc(created, serialWait);
    *stream = created;
    return vErrNone;
}
