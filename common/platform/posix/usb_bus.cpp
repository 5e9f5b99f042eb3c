#include "platform/usb_bus.h"

#include <cstdlib>

namespace platform {

namespace {

// The simulated bus's socket when one is chosen, else null. Read at every enumeration and open,
// so that a process (or a test) can switch buses.
const char *simulatedBusSocket() {
    const char *simulator = std::getenv("QM_USB_SIM");
    return simulator != nullptr && simulator[0] != '\0' ? simulator : nullptr;
}

} // namespace

vErr usbEnumerate(std::uint16_t vendorId, UsbEnumerateCallback callback, void *reference) {
    if (callback == nullptr) {
        return vErrParam;
    }
    const char *simulator = simulatedBusSocket();
    return simulator != nullptr ? simulatedUsbEnumerate(simulator, vendorId, callback, reference)
                                : libusbEnumerate(vendorId, callback, reference);
}

vErr usbOpen(std::uint64_t location, std::uint8_t interfaceNumber, UsbHandle **handle) {
    if (handle == nullptr) {
        return vErrParam;
    }
    *handle = nullptr;
    const char *simulator = simulatedBusSocket();
    return simulator != nullptr ? simulatedUsbOpen(simulator, location, interfaceNumber, handle)
                                : libusbOpen(location, interfaceNumber, handle);
}

vErr usbBulkRead(UsbHandle *handle, std::uint8_t endpoint, std::uint8_t *buffer,
                 std::size_t capacity, std::size_t *received, std::uint32_t timeoutMs) {
    *received = 0;
    if (handle == nullptr || buffer == nullptr) {
        return vErrParam;
    }
    return handle->bulkRead(endpoint, buffer, capacity, received, timeoutMs);
}

vErr usbBulkWrite(UsbHandle *handle, std::uint8_t endpoint, const std::uint8_t *data,
                  std::size_t length, std::size_t *sent, std::uint32_t timeoutMs) {
    *sent = 0;
    if (handle == nullptr || data == nullptr) {
        return vErrParam;
    }
    return handle->bulkWrite(endpoint, data, length, sent, timeoutMs);
}

vErr usbResetPipe(UsbHandle *handle, std::uint8_t endpoint) {
    if (handle == nullptr) {
        return vErrParam;
    }
    return handle->resetPipe(endpoint);
}

void usbClose(UsbHandle *handle) {
    delete handle;
}

} // namespace platform
