// The USB stream: the family interface's bulk pipes, through the platform's USB bus (real or
// simulated). The Windows build first tries a legacy driver-mode device name for the serial
// number; Linux has no counterpart of that name, so that step is skipped and the device is always
// found by enumeration.

#include <quillmark/vStream.h>
#include <quillmark/vUsbIdentity.h>

#include "platform/platform.h"
#include "vUsbSerialNumber.h"

#include <cstring>
#include <new>

namespace {

constexpr uint16_t kUsbCheck = 0xDEAD;
constexpr uint32_t kReadTimeoutMs = 1000;
// A device that takes no data for this long counts as failed, so a writer is never stuck.
constexpr uint32_t kWriteTimeoutMs = 5000;

struct UsbPipes {
    uint8_t interfaceNumber = 0;
    uint8_t readPipe = 0;
    uint16_t readBufferSize = 0;
    uint8_t writePipe = 0;
    uint16_t writeBufferSize = 0;
    uint8_t interruptPipe = 0;
};

struct UsbState {
    uint16_t check;
    platform::UsbHandle *handle;
    UsbPipes pipes;
    uint8_t *readBuffer;
    uint32_t readCount;
    uint32_t readPosition;
    uint8_t *writeBuffer;
};

struct DeviceSearch {
    uint32_t serialNumber;
    bool found;
    platform::UsbDeviceInfo device;
};

bool matchSerialNumber(const platform::UsbDeviceInfo &device, void *reference) {
    auto *search = static_cast<DeviceSearch *>(reference);
    uint32_t serialNumber = 0;
    if (device.vendorId == V_FAMILY_VENDOR_ID &&
        vUsbSerialNumber_Parse(device.serialNumber, &serialNumber) &&
        serialNumber == search->serialNumber) {
        search->device = device;
        search->found = true;
        return false;
    }
    return true;
}

bool isFamilyInterface(const platform::UsbInterfaceInfo &candidate) {
    return candidate.interfaceClass == V_FAMILY_INTERFACE_CLASS &&
           candidate.interfaceSubclass == V_FAMILY_INTERFACE_SUBCLASS &&
           candidate.interfaceProtocol == V_FAMILY_INTERFACE_PROTOCOL;
}

// The family interface's pipes: one bulk IN, one bulk OUT, at most an interrupt pipe besides.
vErr choosePipes(const platform::UsbDeviceInfo &device, UsbPipes *pipes) {
    for (uint8_t i = 0; i < device.interfaceCount; ++i) {
        const platform::UsbInterfaceInfo &candidate = device.interfaces[i];
        if (!isFamilyInterface(candidate)) {
            continue;
        }
        pipes->interfaceNumber = candidate.number;
        for (uint8_t e = 0; e < candidate.endpointCount; ++e) {
            const platform::UsbEndpointInfo &endpoint = candidate.endpoints[e];
            bool in = (endpoint.address & 0x80) != 0;
            if (endpoint.type == platform::UsbEndpointType::bulk && in) {
                pipes->readPipe = endpoint.address;
                pipes->readBufferSize = endpoint.maxPacketSize;
            } else if (endpoint.type == platform::UsbEndpointType::bulk) {
                pipes->writePipe = endpoint.address;
                pipes->writeBufferSize = endpoint.maxPacketSize;
            } else if (endpoint.type == platform::UsbEndpointType::interrupt) {
                pipes->interruptPipe = endpoint.address;
            } else {
                return vErrInitialization;
            }
        }
        bool complete = pipes->readBufferSize > 0 && pipes->writeBufferSize > 0;
        return complete ? vErrNone : vErrInitialization;
    }
    return vErrInitialization;
}

vErr openError(vErr result) {
    switch (result) {
    case vErrBusy:
    case vErrPermission:
    case vErrMemory:
        return result;
    default:
        return vErrNotFound;
    }
}

UsbState *checkedState(void *ref) {
    auto *state = static_cast<UsbState *>(ref);
    return state != nullptr && state->check == kUsbCheck ? state : nullptr;
}

// One IN transfer into the read buffer. A transfer that completes empty delivers nothing.
vErr fillReadBuffer(UsbState *state, uint32_t timeoutMs) {
    size_t received = 0;
    vErr result = platform::usbBulkRead(state->handle, state->pipes.readPipe, state->readBuffer,
                                        state->pipes.readBufferSize, &received, timeoutMs);
    state->readCount = static_cast<uint32_t>(received);
    state->readPosition = 0;
    if (result == vErrNone && received == 0) {
        return vErrTimeout;
    }
    return result;
}

vErr usbGet(uint8_t *byte, void *ref) {
    UsbState *state = checkedState(ref);
    if (state == nullptr) {
        return vErrParam;
    }
    if (state->handle == nullptr) {
        return vErrIO;
    }
    if (state->readPosition == state->readCount) {
        vErr result = fillReadBuffer(state, kReadTimeoutMs);
        if (result == vErrTimeout) {
            return vErrNotReady;
        }
        if (result != vErrNone) {
            return result == vErrCancel ? vErrCancel : vErrIO;
        }
    }
    *byte = state->readBuffer[state->readPosition++];
    return vErrNone;
}

vErr usbWrite(const uint8_t *buffer, uint32_t length, void *ref) {
    UsbState *state = checkedState(ref);
    if (state == nullptr) {
        return vErrParam;
    }
    if (state->handle == nullptr) {
        return vErrIO;
    }
    // Longer writes go as several transfers of at most the OUT pipe's packet size.
    uint32_t size = state->pipes.writeBufferSize;
    for (uint32_t done = 0; done < length;) {
        uint32_t chunk = length - done < size ? length - done : size;
        std::memset(state->writeBuffer, 0, size);
        std::memcpy(state->writeBuffer, buffer + done, chunk);
        size_t sent = 0;
        vErr result = platform::usbBulkWrite(state->handle, state->pipes.writePipe,
                                             state->writeBuffer, chunk, &sent, kWriteTimeoutMs);
        if (result != vErrNone || sent != chunk) {
            return vErrIO;
        }
        done += chunk;
    }
    return vErrNone;
}

vErr usbPut(const uint8_t *byte, void *ref) {
    return usbWrite(byte, 1, ref);
}

vErr usbWait(uint32_t timeoutMs, void *ref) {
    UsbState *state = checkedState(ref);
    if (state == nullptr) {
        return vErrParam;
    }
    if (state->handle == nullptr || state->readPosition < state->readCount) {
        return vErrNone;
    }
    // Other failures are left for the next get to report.
    return fillReadBuffer(state, timeoutMs) == vErrTimeout ? vErrTimeout : vErrNone;
}

void releaseState(UsbState *state) {
    // The engine's threads have stopped before a stream is destroyed, so no transfer is pending
    // on the pipes that closing the device would have to abort.
    if (state->handle != nullptr) {
        platform::usbClose(state->handle);
    }
    delete[] state->readBuffer;
    delete[] state->writeBuffer;
    state->check = 0;
    delete state;
}

vErr usbDestroy(void *ref) {
    UsbState *state = checkedState(ref);
    if (state == nullptr) {
        return vErrParam;
    }
    releaseState(state);
    return vErrNone;
}

vErr openPipes(const platform::UsbDeviceInfo &device, const UsbPipes &pipes, UsbState **out) {
    platform::UsbHandle *handle = nullptr;
    vErr result = platform::usbOpen(device.location, pipes.interfaceNumber, &handle);
    if (result != vErrNone) {
        return openError(result);
    }
    auto *readBuffer = new (std::nothrow) uint8_t[pipes.readBufferSize];
    auto *writeBuffer = new (std::nothrow) uint8_t[pipes.writeBufferSize];
    UsbState *state = nullptr;
    if (readBuffer != nullptr && writeBuffer != nullptr) {
        state =
            new (std::nothrow) UsbState{kUsbCheck, handle, pipes, readBuffer, 0, 0, writeBuffer};
    }
    if (state == nullptr) {
        delete[] readBuffer;
        delete[] writeBuffer;
        platform::usbClose(handle);
        return vErrMemory;
    }
    if (platform::usbResetPipe(handle, pipes.readPipe) != vErrNone ||
        platform::usbResetPipe(handle, pipes.writePipe) != vErrNone) {
        releaseState(state);
        return vErrInitialization;
    }
    *out = state;
    return vErrNone;
}

} // namespace

vErr vStream_CreateUSB(uint32_t serialNumber, vStream **stream) {
    if (stream == nullptr) {
        return vErrParam;
    }
    *stream = nullptr;
    DeviceSearch search{serialNumber, false, {}};
    if (platform::usbEnumerate(V_FAMILY_VENDOR_ID, matchSerialNumber, &search) != vErrNone ||
        !search.found) {
        return vErrNotFound;
    }
    UsbPipes pipes;
    vErr result = choosePipes(search.device, &pipes);
    if (result != vErrNone) {
        return result;
    }
    UsbState *state = nullptr;
    result = openPipes(search.device, pipes, &state);
    if (result != vErrNone) {
        return result;
    }
    vStream *created = vStream_Create(usbGet, usbPut, usbWrite, usbDestroy, state);
    if (created == nullptr) {
        releaseState(state);
        return vErrMemory;
    }
    vStream_SetWaitProc(created, usbWait);
    *stream = created;
    return vErrNone;
}
