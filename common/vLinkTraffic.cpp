#include "vLinkRecord.h"

#include <algorithm>

namespace {

// Each wait of vLink_AwaitFirst is cut into slices of this length, so that a link that stops
// running meanwhile ends the wait soon instead of at its deadline.
constexpr auto kAwaitSlice = std::chrono::milliseconds(50);

uint64_t incomingQueue(int32_t id) {
    LinkCoreRef core = linkCore(id);
    return core != nullptr ? core->incoming : 0;
}

bool runsAligned(const LinkCore &core) {
    return core.running && core.status == linkStatusRunning;
}

} // namespace

linkStatus vLink_GetStatus(int32_t id) {
    LinkCoreRef core = linkCore(id);
    return core != nullptr ? core->status.load() : linkStatusInvalid;
}

vErr vLink_PutPacket(int32_t id, const vPacket *packet) {
    LinkCoreRef core = linkCore(id);
    return core != nullptr ? vPacketFifo_Put(core->outgoing, packet) : vErrParam;
}

vPacket *vLink_GetPacket(int32_t id) {
    return vPacketFifo_Get(incomingQueue(id));
}

vPacket *vLink_AwaitPacket(int32_t id, uint32_t timeoutMs) {
    return vPacketFifo_Await(incomingQueue(id), timeoutMs);
}

vPacket *vLink_GetFirst(int32_t id, vPacketFilter filter, const void *ref) {
    return vPacketFifo_GetFirst(incomingQueue(id), filter, ref);
}

uint32_t vLink_DrainPackets(int32_t id, vPacketFilter filter, const void *ref) {
    return vPacketFifo_DrainPackets(incomingQueue(id), filter, ref);
}

vPacket *vLink_AwaitFirst(int32_t id, vPacketFilter filter, const void *ref, uint32_t timeoutMs) {
    LinkCoreRef core = linkCore(id);
    if (core == nullptr) {
        return nullptr;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    vPacket *found = nullptr;
    // Looks at least once, so that a wait of 0 still finds a reply that is already queued.
    while (found == nullptr && runsAligned(*core)) {
        const auto left =
            std::max(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()),
                     std::chrono::milliseconds(0));
        const auto slice = std::min(left, std::chrono::milliseconds(kAwaitSlice));
        found = vPacketFifo_AwaitFirst(core->incoming, filter, ref,
                                       static_cast<uint32_t>(slice.count()));
        if (left.count() == 0) {
            break;
        }
    }
    return found;
}

vErr vLink_InstallUserPacketFilter(int32_t id, vLinkUserFilter filter, void *ref) {
    LinkCoreRef core = linkCore(id);
    if (core == nullptr) {
        return vErrParam;
    }
    std::lock_guard guard(core->filterMutex);
    core->filter = filter;
    core->filterRef = ref;
    return vErrNone;
}
