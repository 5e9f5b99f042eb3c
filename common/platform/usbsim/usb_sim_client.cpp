// Client of the simulated USB bus: a simulator process listens on a Unix stream socket and
// presents virtual devices, each with a vendor id, product id, serial-number string, interfaces
// and bulk pipes.
//
// Wire protocol. Every message, both ways, is a 4-byte big-endian length counting the bytes
// after it, then a one-byte code and the code's payload; numbers are big-endian. Each request is
// answered by one reply with the same code, on the same connection, in order. Every reply starts
// with a status byte: 0 done, 1 no such device (never there, or unplugged), 2 busy (claimed by
// another connection), 3 timed out, 4 bad request.
//   0x01 list   u16 vendor (0: all)        -> status, u8 count, count device records
//   0x02 claim  u32 location, u8 interface -> status, u32 claim token
//   0x03 join   u32 claim token            -> status (the connection becomes a further pipe
//                                             connection of that claim)
//   0x04 in     u8 endpoint, u16 capacity, u32 timeout ms -> status, the packet's bytes
//   0x05 out    u8 endpoint, bytes         -> status, u16 bytes accepted
//   0x06 clear  u8 endpoint                -> status
// A device record: u32 location, u16 vendor, u16 product, u8 serial length, the serial bytes,
// u8 interface count, then per interface u8 number, class, subclass, protocol, endpoint count,
// and per endpoint u8 address, u8 type (0 control, 1 isochronous, 2 bulk, 3 interrupt), u16
// maximum packet size. A claim lasts until the connection that made it closes. An IN request
// answers with one packet of at most the capacity, as a bulk IN transfer of one packet does.
//
// A handle holds two connections, one for reading and one for writing, so that a read waiting
// for data never holds up a write.

#include "platform/usb_bus.h"
#include "platform/usbsim/sim_connection.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace platform {

namespace {

enum RequestCode : std::uint8_t {
    kList = 0x01,
    kClaim = 0x02,
    kJoin = 0x03,
    kIn = 0x04,
    kOut = 0x05,
    kClear = 0x06,
};

// Slack over a request's own time-out before the simulator counts as gone.
constexpr std::uint32_t kReplySlackMs = 5000;

vErr statusError(std::uint8_t status) {
    switch (status) {
    case 0:
        return vErrNone;
    case 1:
        return vErrNotFound;
    case 2:
        return vErrBusy;
    case 3:
        return vErrTimeout;
    case 4:
        return vErrParam;
    default:
        return vErrIO;
    }
}

// Sends a request and checks the reply's status; the reply's payload after the status is left in
// the reader.
vErr exchange(SimConnection &connection, SimMessage &request, SimReader *reply,
              std::uint32_t timeoutMs) {
    std::vector<std::uint8_t> bytes;
    vErr result = connection.call(request, &bytes, timeoutMs + kReplySlackMs);
    if (result != vErrNone) {
        return result;
    }
    *reply = SimReader(std::move(bytes));
    std::uint8_t code = 0;
    std::uint8_t status = 0;
    if (!reply->u8(&code) || code != request.code() || !reply->u8(&status)) {
        return vErrIO;
    }
    return statusError(status);
}

bool readInterface(SimReader &reader, UsbInterfaceInfo *out, bool keep) {
    UsbInterfaceInfo info{};
    std::uint8_t endpoints = 0;
    if (!reader.u8(&info.number) || !reader.u8(&info.interfaceClass) ||
        !reader.u8(&info.interfaceSubclass) || !reader.u8(&info.interfaceProtocol) ||
        !reader.u8(&endpoints)) {
        return false;
    }
    for (std::uint8_t e = 0; e < endpoints; ++e) {
        std::uint8_t address = 0;
        std::uint8_t type = 0;
        std::uint16_t maxPacket = 0;
        if (!reader.u8(&address) || !reader.u8(&type) || !reader.u16(&maxPacket) || type > 3) {
            return false;
        }
        if (info.endpointCount < kUsbMaxEndpoints) {
            info.endpoints[info.endpointCount++] = {address, static_cast<UsbEndpointType>(type),
                                                    maxPacket};
        }
    }
    if (keep) {
        *out = info;
    }
    return true;
}

bool readDevice(SimReader &reader, UsbDeviceInfo *info) {
    *info = UsbDeviceInfo{};
    std::uint32_t location = 0;
    std::uint8_t serialLength = 0;
    std::uint8_t interfaces = 0;
    if (!reader.u32(&location) || !reader.u16(&info->vendorId) || !reader.u16(&info->productId) ||
        !reader.u8(&serialLength)) {
        return false;
    }
    info->location = location;
    std::size_t kept = std::min<std::size_t>(serialLength, kUsbSerialCapacity - 1);
    if (!reader.bytes(reinterpret_cast<std::uint8_t *>(info->serialNumber), kept) ||
        !reader.skip(serialLength - kept) || !reader.u8(&interfaces)) {
        return false;
    }
    for (std::uint8_t i = 0; i < interfaces; ++i) {
        bool keep = info->interfaceCount < kUsbMaxInterfaces;
        if (!readInterface(reader, &info->interfaces[info->interfaceCount], keep)) {
            return false;
        }
        info->interfaceCount += keep ? 1 : 0;
    }
    return true;
}

class SimulatedHandle final : public UsbHandle {
  public:
    vErr connect(const char *socketPath, std::uint64_t location, std::uint8_t interfaceNumber) {
        if (location > 0xFFFFFFFFu) {
            return vErrNotFound;
        }
        vErr result = reading_.open(socketPath);
        if (result != vErrNone) {
            return result;
        }
        SimMessage claim(kClaim);
        claim.u32(static_cast<std::uint32_t>(location));
        claim.u8(interfaceNumber);
        SimReader reply;
        result = exchange(reading_, claim, &reply, 0);
        std::uint32_t token = 0;
        if (result != vErrNone) {
            return result;
        }
        if (!reply.u32(&token)) {
            return vErrIO;
        }
        result = writing_.open(socketPath);
        if (result != vErrNone) {
            return result;
        }
        SimMessage join(kJoin);
        join.u32(token);
        return exchange(writing_, join, &reply, 0);
    }

    vErr bulkRead(std::uint8_t endpoint, std::uint8_t *buffer, std::size_t capacity,
                  std::size_t *received, std::uint32_t timeoutMs) override {
        SimMessage request(kIn);
        request.u8(endpoint);
        request.u16(static_cast<std::uint16_t>(std::min<std::size_t>(capacity, 0xFFFF)));
        request.u32(timeoutMs);
        SimReader reply;
        vErr result = exchange(reading_, request, &reply, timeoutMs);
        if (result != vErrNone) {
            return result;
        }
        std::size_t count = std::min(reply.remaining(), capacity);
        reply.bytes(buffer, count);
        *received = count;
        return vErrNone;
    }

    vErr bulkWrite(std::uint8_t endpoint, const std::uint8_t *data, std::size_t length,
                   std::size_t *sent, std::uint32_t timeoutMs) override {
        SimMessage request(kOut);
        request.u8(endpoint);
        request.bytes(data, length);
        SimReader reply;
        vErr result = exchange(writing_, request, &reply, timeoutMs);
        std::uint16_t accepted = 0;
        if (result == vErrNone && !reply.u16(&accepted)) {
            result = vErrIO;
        }
        *sent = accepted;
        return result;
    }

    vErr resetPipe(std::uint8_t endpoint) override {
        SimMessage request(kClear);
        request.u8(endpoint);
        SimReader reply;
        return exchange(writing_, request, &reply, 0);
    }

  private:
    SimConnection reading_; // made the claim; the claim ends when it closes
    SimConnection writing_;
};

} // namespace

vErr simulatedUsbEnumerate(const char *socketPath, std::uint16_t vendorId,
                           UsbEnumerateCallback callback, void *reference) {
    SimConnection connection;
    vErr result = connection.open(socketPath);
    if (result != vErrNone) {
        return result;
    }
    SimMessage request(kList);
    request.u16(vendorId);
    SimReader reply;
    result = exchange(connection, request, &reply, 0);
    std::uint8_t count = 0;
    if (result != vErrNone) {
        return result;
    }
    if (!reply.u8(&count)) {
        return vErrIO;
    }
    for (std::uint8_t i = 0; i < count; ++i) {
        UsbDeviceInfo info;
        if (!readDevice(reply, &info)) {
            return vErrIO;
        }
        if (!callback(info, reference)) {
            break;
        }
    }
    return vErrNone;
}

vErr simulatedUsbOpen(const char *socketPath, std::uint64_t location, std::uint8_t interfaceNumber,
                      UsbHandle **handle) {
    auto *simulated = new (std::nothrow) SimulatedHandle;
    if (simulated == nullptr) {
        return vErrMemory;
    }
    vErr result = simulated->connect(socketPath, location, interfaceNumber);
    if (result != vErrNone) {
        delete simulated;
        return result;
    }
    *handle = simulated;
    return vErrNone;
}

} // namespace platform
