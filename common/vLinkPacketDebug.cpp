#include "vLinkRecord.h"

namespace {

// Runs `use` on the link's log under its mutex: vErrParam for an unknown id, vErrNotReady when
// the link has no log yet.
template <typename Use> vErr withLog(int32_t id, Use use) {
    LinkCoreRef core = linkCore(id);
    if (core == nullptr) {
        return vErrParam;
    }
    std::lock_guard guard(core->logMutex);
    return core->log != nullptr ? use(*core) : vErrNotReady;
}

} // namespace

vErr vLink_PacketDebug_SetLogSize(int32_t id, int32_t bytes) {
    LinkCoreRef core = linkCore(id);
    if (core == nullptr || bytes > V_PACKET_LOG_MAX_SIZE) {
        return vErrParam;
    }
    std::lock_guard guard(core->logMutex);
    if (core->log != nullptr) {
        return vErrBusy;
    }
    core->logSize = bytes > 0 ? static_cast<uint32_t>(bytes) : 0;
    return vErrNone;
}

vErr vLink_PacketDebug_Enable(int32_t id) {
    LinkCoreRef core = linkCore(id);
    if (core == nullptr) {
        return vErrParam;
    }
    std::lock_guard guard(core->logMutex);
    if (core->log == nullptr) {
        core->log =
            vPacketLog_Create(core->logSize != 0 ? core->logSize : V_PACKET_LOG_DEFAULT_SIZE);
        if (core->log == nullptr) {
            return vErrResource;
        }
    }
    core->logEnabled = true;
    return vErrNone;
}

vErr vLink_PacketDebug_Disable(int32_t id) {
    return withLog(id, [](LinkCore &core) {
        core.logEnabled = false;
        return vErrNone;
    });
}

vErr vLink_PacketDebug_Read(int32_t id, uint8_t *kind, uint32_t *length, uint8_t *buffer) {
    return withLog(id,
                   [&](LinkCore &core) { return vPacketLog_Get(core.log, kind, length, buffer); });
}

vErr vLink_PacketDebug_Write(int32_t id, uint8_t kind, uint32_t length, const uint8_t *bytes) {
    return withLog(id,
                   [&](LinkCore &core) { return vPacketLog_Put(core.log, kind, length, bytes); });
}
