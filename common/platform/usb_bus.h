#pragma once
// The two backends behind the USB-bus functions of platform.h: libusb-1.0 for real devices and a
// client of the simulated bus. A handle remembers the backend that opened it.

#include "platform/platform.h"

namespace platform {

struct UsbHandle {
    UsbHandle() = default;
    UsbHandle(const UsbHandle &) = delete;
    UsbHandle &operator=(const UsbHandle &) = delete;
    virtual ~UsbHandle() = default;

    virtual vErr bulkRead(std::uint8_t endpoint, std::uint8_t *buffer, std::size_t capacity,
                          std::size_t *received, std::uint32_t timeoutMs) = 0;
    virtual vErr bulkWrite(std::uint8_t endpoint, const std::uint8_t *data, std::size_t length,
                           std::size_t *sent, std::uint32_t timeoutMs) = 0;
    virtual vErr resetPipe(std::uint8_t endpoint) = 0;
};

// The libusb-1.0 backend.
vErr libusbEnumerate(std::uint16_t vendorId, UsbEnumerateCallback callback, void *reference);
vErr libusbOpen(std::uint64_t location, std::uint8_t interfaceNumber, UsbHandle **handle);

// The simulated bus listening on the Unix socket at socketPath.
vErr simulatedUsbEnumerate(const char *socketPath, std::uint16_t vendorId,
                           UsbEnumerateCallback callback, void *reference);
vErr simulatedUsbOpen(const char *socketPath, std::uint64_t location, std::uint8_t interfaceNumber,
                      UsbHandle **handle);

} // namespace platform
