// The real USB bus through libusb-1.0. One libusb context serves the whole process; it is made
// on first use and kept until the process ends. A machine whose kernel offers no USB bus at all
// (libusb cannot start) has no devices: enumeration finds none and opening finds nothing.

#include "platform/usb_bus.h"

#include <libusb.h>

#include <mutex>
#include <new>

namespace platform {

namespace {

libusb_context *sharedContext() {
    static libusb_context *context = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        if (libusb_init(&context) != LIBUSB_SUCCESS) {
            context = nullptr;
        }
    });
    return context;
}

std::uint64_t locationOf(libusb_device *device) {
    return (static_cast<std::uint64_t>(libusb_get_bus_number(device)) << 8) |
           libusb_get_device_address(device);
}

vErr transferError(int code) {
    switch (code) {
    case LIBUSB_ERROR_TIMEOUT:
        return vErrTimeout;
    case LIBUSB_ERROR_NO_DEVICE:
        return vErrNotFound;
    case LIBUSB_ERROR_INTERRUPTED:
        return vErrCancel;
    default:
        return vErrIO;
    }
}

vErr openError(int code) {
    switch (code) {
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_ERROR_NOT_FOUND:
        return vErrNotFound;
    case LIBUSB_ERROR_BUSY:
        return vErrBusy;
    case LIBUSB_ERROR_ACCESS:
        return vErrPermission;
    case LIBUSB_ERROR_NO_MEM:
        return vErrMemory;
    default:
        return vErrIO;
    }
}

UsbEndpointType endpointType(std::uint8_t attributes) {
    return static_cast<UsbEndpointType>(attributes & LIBUSB_TRANSFER_TYPE_MASK);
}

void describeInterfaces(libusb_device *device, UsbDeviceInfo *info) {
    libusb_config_descriptor *config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS) {
        return;
    }
    for (std::uint8_t i = 0; i < config->bNumInterfaces && info->interfaceCount < kUsbMaxInterfaces;
         ++i) {
        if (config->interface[i].num_altsetting < 1) {
            continue;
        }
        const libusb_interface_descriptor &setting = config->interface[i].altsetting[0];
        UsbInterfaceInfo &out = info->interfaces[info->interfaceCount++];
        out.number = setting.bInterfaceNumber;
        out.interfaceClass = setting.bInterfaceClass;
        out.interfaceSubclass = setting.bInterfaceSubClass;
        out.interfaceProtocol = setting.bInterfaceProtocol;
        out.endpointCount = 0;
        for (std::uint8_t e = 0; e < setting.bNumEndpoints && out.endpointCount < kUsbMaxEndpoints;
             ++e) {
            const libusb_endpoint_descriptor &endpoint = setting.endpoint[e];
            out.endpoints[out.endpointCount++] = {endpoint.bEndpointAddress,
                                                  endpointType(endpoint.bmAttributes),
                                                  endpoint.wMaxPacketSize};
        }
    }
    libusb_free_config_descriptor(config);
}

// The serial-number string needs the device opened; a device this user may not open is still
// listed, with an empty serial number.
void readSerialNumber(libusb_device *device, std::uint8_t stringIndex, UsbDeviceInfo *info) {
    libusb_device_handle *handle = nullptr;
    if (stringIndex == 0 || libusb_open(device, &handle) != LIBUSB_SUCCESS) {
        return;
    }
    int length = libusb_get_string_descriptor_ascii(
        handle, stringIndex, reinterpret_cast<unsigned char *>(info->serialNumber),
        sizeof info->serialNumber - 1);
    info->serialNumber[length > 0 ? length : 0] = '\0';
    libusb_close(handle);
}

class LibusbHandle final : public UsbHandle {
  public:
    LibusbHandle(libusb_device_handle *device, std::uint8_t interfaceNumber)
        : device_(device), interfaceNumber_(interfaceNumber) {}
    ~LibusbHandle() override {
        libusb_release_interface(device_, interfaceNumber_);
        libusb_close(device_);
    }

    vErr bulkRead(std::uint8_t endpoint, std::uint8_t *buffer, std::size_t capacity,
                  std::size_t *received, std::uint32_t timeoutMs) override {
        int transferred = 0;
        int code = libusb_bulk_transfer(device_, endpoint, buffer, static_cast<int>(capacity),
                                        &transferred, timeoutMs);
        *received = static_cast<std::size_t>(transferred);
        if (code == LIBUSB_ERROR_PIPE) {
            // Clearing the stall at once lets the next transfer go on, as an auto-clearing
            // pipe would.
            libusb_clear_halt(device_, endpoint);
            return vErrTimeout;
        }
        if (code == LIBUSB_ERROR_TIMEOUT && transferred > 0) {
            return vErrNone;
        }
        return code == LIBUSB_SUCCESS ? vErrNone : transferError(code);
    }

    vErr bulkWrite(std::uint8_t endpoint, const std::uint8_t *data, std::size_t length,
                   std::size_t *sent, std::uint32_t timeoutMs) override {
        int transferred = 0;
        int code = libusb_bulk_transfer(device_, endpoint, const_cast<std::uint8_t *>(data),
                                        static_cast<int>(length), &transferred, timeoutMs);
        *sent = static_cast<std::size_t>(transferred);
        return code == LIBUSB_SUCCESS ? vErrNone : transferError(code);
    }

    vErr resetPipe(std::uint8_t endpoint) override {
        int code = libusb_clear_halt(device_, endpoint);
        return code == LIBUSB_SUCCESS ? vErrNone : transferError(code);
    }

  private:
    libusb_device_handle *device_;
    std::uint8_t interfaceNumber_;
};

// The devices present now; count is -1 when the list could not be had, 0 without a USB bus.
struct DeviceList {
    DeviceList() {
        libusb_context *context = sharedContext();
        count = context != nullptr ? libusb_get_device_list(context, &devices) : 0;
    }
    DeviceList(const DeviceList &) = delete;
    DeviceList &operator=(const DeviceList &) = delete;
    ~DeviceList() {
        if (devices != nullptr) {
            libusb_free_device_list(devices, 1);
        }
    }
    libusb_device **devices = nullptr;
    ssize_t count = 0;
};

} // namespace

vErr libusbEnumerate(std::uint16_t vendorId, UsbEnumerateCallback callback, void *reference) {
    DeviceList list;
    if (list.count < 0) {
        return vErrIO;
    }
    libusb_device **devices = list.devices;
    for (ssize_t i = 0; i < list.count; ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(devices[i], &descriptor) != LIBUSB_SUCCESS ||
            (vendorId != 0 && descriptor.idVendor != vendorId)) {
            continue;
        }
        UsbDeviceInfo info{};
        info.location = locationOf(devices[i]);
        info.vendorId = descriptor.idVendor;
        info.productId = descriptor.idProduct;
        readSerialNumber(devices[i], descriptor.iSerialNumber, &info);
        describeInterfaces(devices[i], &info);
        if (!callback(info, reference)) {
            break;
        }
    }
    return vErrNone;
}

vErr libusbOpen(std::uint64_t location, std::uint8_t interfaceNumber, UsbHandle **handle) {
    int code = LIBUSB_ERROR_NOT_FOUND;
    libusb_device_handle *device = nullptr;
    {
        DeviceList list;
        if (list.count < 0) {
            return vErrIO;
        }
        for (ssize_t i = 0; i < list.count; ++i) {
            if (locationOf(list.devices[i]) == location) {
                code = libusb_open(list.devices[i], &device);
                break;
            }
        }
    }
    if (code != LIBUSB_SUCCESS) {
        return openError(code);
    }
    code = libusb_claim_interface(device, interfaceNumber);
    if (code != LIBUSB_SUCCESS) {
        libusb_close(device);
        return openError(code);
    }
    *handle = new (std::nothrow) LibusbHandle(device, interfaceNumber);
    if (*handle == nullptr) {
        libusb_release_interface(device, interfaceNumber);
        libusb_close(device);
        return vErrMemory;
    }
    return vErrNone;
}

} // namespace platform
