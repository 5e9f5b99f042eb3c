#include "vLinkBroker.h"
#include "vLinkRecord.h"

#include <atomic>
#include <iterator>
#include <new>

namespace {

// Makes the stream of a new link; leaves *stream null on failure.
using StreamMaker = vErr (*)(const vLinkEntry &entry, const void *arguments, vStream **stream);

// What a new link is made of, and how far it is brought up.
struct LinkPlan {
    uint32_t key;
    uint32_t port;
    uint32_t clientSequence;
    linkType transport;
    StreamMaker makeStream;
    const void *arguments;
    bool align;
};

// The process-wide sequence number of broker client links.
std::atomic<uint32_t> nextClientSequence{0};

// One more use of the link already open for this key, or 0 when there is none.
int32_t shareExisting(uint32_t key) {
    vLinkEntryRef entry = sLookupEntryByKey(key);
    if (entry == nullptr) {
        return 0;
    }
    sChangeUseCount(entry, +1);
    return entry->id;
}

int32_t failCreation(int32_t id) {
    vLink_Destroy(&id);
    return 0;
}

// Registers, builds and starts a new link; on any failure everything built is released again.
int32_t createLink(const LinkPlan &plan) {
    auto *record = new (std::nothrow) vLinkRecord;
    if (record == nullptr) {
        return 0;
    }
    const int32_t id = sCreate2(plan.key, plan.port, plan.clientSequence, plan.transport, record);
    if (id == 0) {
        delete record;
        return 0;
    }
    record->id = id;
    record->check = kLinkCheck;
    vLinkEntryRef entry = sLookupEntryByID(id);
    vStream *stream = nullptr;
    vErr made = plan.makeStream(*entry, plan.arguments, &stream);
    if (vLink_Init(id, stream) != vErrNone || made != vErrNone) {
        return failCreation(id);
    }
    sChangeUseCount(entry, +1);
    if (vLink_Start(id) != vErrNone) {
        return failCreation(id);
    }
    if (plan.align && (vLink_Sync(id) != vErrNone || vLink_ForceRoute(id, 1) != vErrNone)) {
        return failCreation(id);
    }
    return id;
}

vErr makeUSBStream(const vLinkEntry &entry, const void *, vStream **stream) {
    return vStream_CreateUSB(entry.key, stream);
}

vErr makeSocketStream(const vLinkEntry &entry, const void *, vStream **stream) {
    return vStream_CreateSocket(entry.key, static_cast<uint16_t>(entry.port), stream);
}

vErr makeBrokerClientStream(const vLinkEntry &entry, const void *, vStream **stream) {
    return vLinkBroker_CreateClientStream(entry.key, static_cast<uint16_t>(entry.port), stream);
}

struct SerialArguments {
    const char *portName;
    uint32_t baudRate;
};

// The serial stream's code for each line rate it offers.
constexpr uint32_t kSerialRates[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};

vErr makeSerialStream(const vLinkEntry &, const void *arguments, vStream **stream) {
    const auto &serial = *static_cast<const SerialArguments *>(arguments);
    for (uint32_t code = 0; code < std::size(kSerialRates); ++code) {
        if (kSerialRates[code] == serial.baudRate) {
            return vStream_CreateSerial(serial.portName, code, 0, 0, 0, stream);
        }
    }
    return vErrRange;
}

vErr takeCallerStream(const vLinkEntry &, const void *arguments, vStream **stream) {
    *stream = const_cast<vStream *>(static_cast<const vStream *>(arguments));
    return vErrNone;
}

} // namespace

bool vLink_CanRemakeStream(linkType transport) {
    return transport == linkTypeUSB || transport == linkTypeTCPIP || transport == linkTypeVEther;
}

vErr vLink_RemakeStream(const vLinkEntry &entry, vStream **stream) {
    switch (entry.transport) {
    case linkTypeUSB:
        return makeUSBStream(entry, nullptr, stream);
    case linkTypeTCPIP:
        return makeSocketStream(entry, nullptr, stream);
    case linkTypeVEther:
        return makeBrokerClientStream(entry, nullptr, stream);
    default:
        return vErrParam;
    }
}

int32_t vLink_CreateUSB(uint32_t serialNumber) {
    if (vLinkEntryRef entry = sLookupEntryByKey(serialNumber)) {
        // A device shared through a broker is reached as the broker's client only.
        return entry->server == nullptr ? shareExisting(serialNumber) : 0;
    }
    return createLink({serialNumber, 0, 0, linkTypeUSB, makeUSBStream, nullptr, true});
}

int32_t vLink_CreateTCPIP(uint32_t ipAddress, uint16_t port) {
    if (int32_t shared = shareExisting(ipAddress)) {
        return shared;
    }
    return createLink({ipAddress, port, 0, linkTypeTCPIP, makeSocketStream, nullptr, false});
}

int32_t vLink_CreateSerial(uint32_t serialNumber, const char *portName, uint32_t baudRate) {
    if (int32_t shared = shareExisting(serialNumber)) {
        return shared;
    }
    const SerialArguments serial{portName, baudRate};
    return createLink({serialNumber, 0, 0, linkTypeSerial, makeSerialStream, &serial, false});
}

int32_t vLink_CreateClient(uint32_t ipAddress, uint16_t port, int32_t existingId) {
    if (existingId != 0) {
        vLinkEntryRef entry = sLookupEntryByID(existingId);
        if (entry == nullptr) {
            return 0;
        }
        sChangeUseCount(entry, +1);
        return existingId;
    }
    const uint32_t sequence = nextClientSequence++;
    return createLink(
        {ipAddress, port, sequence, linkTypeVEther, makeBrokerClientStream, nullptr, false});
}

int32_t vLink_CreateServer(uint32_t serialNumber, uint16_t *port, uint32_t *networkInterface,
                           uint8_t localOnly) {
    if (port == nullptr || networkInterface == nullptr) {
        return 0;
    }
    int32_t clientId = 0;
    vErr shared =
        vLinkBroker_ShareUSBDevice(serialNumber, port, networkInterface, localOnly, &clientId);
    return shared == vErrNone ? clientId : 0;
}

int32_t vLink_Create(vStream *stream) {
    if (stream == nullptr) {
        return 0;
    }
    return createLink(
        {kLinkKeyCallerStream, 0, 0, linkTypeInvalid, takeCallerStream, stream, false});
}
