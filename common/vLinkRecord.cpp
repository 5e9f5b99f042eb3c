#include "vLinkRecord.h"

#include <quillmark/vCommands.h>

LinkCore::~LinkCore() {
    vPacketFifo_Destroy(&incoming);
    vPacketFifo_Destroy(&outgoing);
    vPacket_Destroy(&receivePacket);
    vPacketLog_Destroy(&log);
    vStream_Destroy(&stream);
}

bool LinkThread::gone() const {
    return !finished.valid() ||
           finished.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

LinkCoreRef vLinkRecord::core() const {
    std::lock_guard guard(coreMutex_);
    return core_;
}

void vLinkRecord::replaceCore(LinkCoreRef core) {
    LinkCoreRef previous;
    {
        std::lock_guard guard(coreMutex_);
        previous = std::exchange(core_, std::move(core));
    }
    // The previous state, and with it its stream, is freed here, outside the lock, unless a
    // thread that outlived its stop still holds it.
}

vLinkRecord *linkRecord(int32_t id, vLinkEntryRef *entry) {
    vLinkEntryRef found = sLookupEntryByID(id);
    if (found == nullptr || found->link == nullptr || found->link->check != kLinkCheck) {
        return nullptr;
    }
    vLinkRecord *record = found->link;
    if (entry != nullptr) {
        *entry = std::move(found);
    }
    return record;
}

LinkCoreRef linkCore(int32_t id) {
    vLinkRecord *record = linkRecord(id);
    return record != nullptr ? record->core() : nullptr;
}

vErr vLink_Init(int32_t id, vStream *stream) {
    vLinkRecord *record = linkRecord(id);
    if (record == nullptr) {
        vStream_Destroy(&stream);
        return vErrParam;
    }
    auto core = std::make_shared<LinkCore>();
    core->stream = stream;
    core->status = stream != nullptr ? linkStatusStopped : linkStatusInvalid;
    core->incoming = vPacketFifo_Create();
    core->outgoing = vPacketFifo_Create();
    core->receivePacket = vPacket_Create();
    record->replaceCore(core);
    if (core->incoming == 0 || core->outgoing == 0 || core->receivePacket == nullptr) {
        return vErrResource;
    }
    return vErrNone;
}

vErr queueFrame(LinkCore &core, uint8_t address, uint32_t length, const uint8_t *data) {
    vPacket *packet = vPacket_CreateWithData(address, length, data);
    if (packet == nullptr) {
        return vErrMemory;
    }
    vErr result = vPacketFifo_Put(core.outgoing, packet);
    vPacket_Destroy(&packet);
    return result;
}

void logFrame(LinkCore &core, uint8_t kind, const vPacket &packet) {
    std::lock_guard guard(core.logMutex);
    if (core.log != nullptr && core.logEnabled) {
        vPacketLog_Put(core.log, kind, packet.dataSize + 2u, &packet.address);
    }
}

vErr queueForceRoute(LinkCore &core, uint8_t value) {
    return queueFrame(core, cmdFORCEROUTE, 1, &value);
}

vErr vLink_ForceRoute(int32_t id, uint8_t value) {
    LinkCoreRef core = linkCore(id);
    return core != nullptr ? queueForceRoute(*core, value) : vErrNotFound;
}
