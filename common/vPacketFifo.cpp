#include "vPacketFifoSequence.h"

#include <quillmark/vPacketFifo.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

struct vPacketDeleter {
    void operator()(vPacket *packet) const { vPacket_Destroy(&packet); }
};
using OwnedPacket = std::unique_ptr<vPacket, vPacketDeleter>;

struct FifoEntry {
    OwnedPacket packet;
    uint32_t sequence;
};
using FifoEntries = std::deque<FifoEntry>;

// One queue. Every member is guarded by `lock`, which is held for a whole operation except while
// a waiter sleeps on `signal`.
struct PacketFifo {
    FifoEntries packets;
    std::condition_variable signal;
    std::mutex lock;
    bool active = true;
    // The oldest queued entry's number, or nextSequence when the queue is empty.
    uint32_t oldestSequence = 0;
    uint32_t nextSequence = 0;

    void append(OwnedPacket packet) {
        packets.push_back({std::move(packet), nextSequence++});
        // A reader that has fallen this far behind loses the oldest packet, never the newest,
        // which is the one most likely awaited.
        if (packets.size() > V_PACKET_FIFO_CAPACITY)
            packets.pop_front();
        updateOldest();
    }

    // Hands the entry's packet to the caller and forgets the entry.
    vPacket *take(FifoEntries::iterator entry) {
        vPacket *packet = entry->packet.release();
        packets.erase(entry);
        updateOldest();
        return packet;
    }

    uint32_t removeAccepted(vPacketFilter filter, const void *ref) {
        const auto removed = std::erase_if(
            packets, [&](const FifoEntry &entry) { return filter(entry.packet.get(), ref); });
        updateOldest();
        return static_cast<uint32_t>(removed);
    }

    FifoEntries::iterator firstAccepted(vPacketFilter filter, const void *ref) {
        for (auto entry = packets.begin(); entry != packets.end(); ++entry)
            if (filter(entry->packet.get(), ref))
                return entry;
        return packets.end();
    }

    // Offers the filter only the entries newer than *lastExamined, so that a wait woken again and
    // again never shows it the same packet twice.
    FifoEntries::iterator firstNewAccepted(vPacketFilter filter, const void *ref,
                                           uint32_t *lastExamined) {
        for (auto entry = packets.begin(); entry != packets.end(); ++entry) {
            if (!isNewerSequence(entry->sequence, *lastExamined))
                continue;
            *lastExamined = entry->sequence;
            if (filter(entry->packet.get(), ref))
                return entry;
        }
        return packets.end();
    }

    void deactivate() {
        packets.clear();
        active = false;
        updateOldest();
    }

  private:
    void updateOldest() {
        oldestSequence = packets.empty() ? nextSequence : packets.front().sequence;
    }
};
using FifoRef = std::shared_ptr<PacketFifo>;

// Maps handles to queues. An operation holds a queue through its own reference, so a queue
// destroyed meanwhile stays alive until that operation ends.
class FifoTable {
  public:
    uint64_t insert(FifoRef fifo) {
        uint64_t handle;
        do
            handle = ++lastHandle_;
        while (handle == 0);
        std::lock_guard guard(mutex_);
        fifos_.emplace(handle, std::move(fifo));
        return handle;
    }

    FifoRef find(uint64_t handle) {
        std::lock_guard guard(mutex_);
        auto found = fifos_.find(handle);
        return found == fifos_.end() ? nullptr : found->second;
    }

    FifoRef extract(uint64_t handle) {
        std::lock_guard guard(mutex_);
        auto found = fifos_.find(handle);
        if (found == fifos_.end())
            return nullptr;
        FifoRef fifo = std::move(found->second);
        fifos_.erase(found);
        return fifo;
    }

  private:
    std::atomic<uint64_t> lastHandle_{0};
    std::mutex mutex_;
    std::map<uint64_t, FifoRef> fifos_;
};

// Never destroyed, so that threads still running while the process exits find a live table.
FifoTable &fifoTable() {
    static auto *table = new FifoTable;
    return *table;
}

// The flat interface must not throw: a failure inside gives the operation's "nothing" answer.
template <typename Result, typename Operation>
Result guarded(Result nothing, Operation operation) noexcept {
    try {
        return operation();
    } catch (...) {
        return nothing;
    }
}

Clock::time_point deadlineAfter(uint32_t timeoutMs) {
    return Clock::now() + std::chrono::milliseconds(timeoutMs);
}

bool isWellFormed(const vPacket *packet) {
    return vVALIDPACKET(packet) && packet->dataSize <= V_PACKET_MAX_DATA;
}

} // namespace

uint64_t vPacketFifo_Create(void) {
    return guarded<uint64_t>(0, [] { return fifoTable().insert(std::make_shared<PacketFifo>()); });
}

vErr vPacketFifo_Destroy(uint64_t *handle) {
    if (handle == nullptr)
        return vErrParam;
    return guarded(vErrUnknown, [handle] {
        FifoRef fifo = fifoTable().extract(*handle);
        if (fifo == nullptr)
            return vErrNotFound;
        {
            std::lock_guard guard(fifo->lock);
            fifo->deactivate();
        }
        fifo->signal.notify_all();
        *handle = 0;
        return vErrNone;
    });
}

uint32_t vPacketFifo_GetLength(uint64_t handle) {
    return guarded<uint32_t>(0, [handle]() -> uint32_t {
        FifoRef fifo = fifoTable().find(handle);
        if (fifo == nullptr)
            return 0;
        std::lock_guard guard(fifo->lock);
        return static_cast<uint32_t>(fifo->packets.size());
    });
}

vErr vPacketFifo_Put(uint64_t handle, const vPacket *packet) {
    if (!isWellFormed(packet))
        return vErrParam;
    return guarded(vErrMemory, [handle, packet] {
        FifoRef fifo = fifoTable().find(handle);
        if (fifo == nullptr)
            return vErrParam;
        OwnedPacket copy(vPacket_Copy(packet));
        if (copy == nullptr)
            return vErrMemory;
        {
            std::lock_guard guard(fifo->lock);
            if (!fifo->active)
                return vErrParam;
            fifo->append(std::move(copy));
        }
        fifo->signal.notify_all();
        return vErrNone;
    });
}

vPacket *vPacketFifo_Get(uint64_t handle) {
    return guarded<vPacket *>(nullptr, [handle]() -> vPacket * {
        FifoRef fifo = fifoTable().find(handle);
        if (fifo == nullptr)
            return nullptr;
        std::lock_guard guard(fifo->lock);
        return fifo->packets.empty() ? nullptr : fifo->take(fifo->packets.begin());
    });
}

vPacket *vPacketFifo_Await(uint64_t handle, uint32_t timeoutMs) {
    const auto deadline = deadlineAfter(timeoutMs);
    return guarded<vPacket *>(nullptr, [handle, deadline]() -> vPacket * {
        FifoRef fifo = fifoTable().find(handle);
        if (fifo == nullptr)
            return nullptr;
        std::unique_lock guard(fifo->lock);
        fifo->signal.wait_until(guard, deadline,
                                [&] { return !fifo->packets.empty() || !fifo->active; });
        return fifo->packets.empty() ? nullptr : fifo->take(fifo->packets.begin());
    });
}

vPacket *vPacketFifo_GetFirst(uint64_t handle, vPacketFilter filter, const void *ref) {
    if (filter == nullptr)
        return nullptr;
    return guarded<vPacket *>(nullptr, [=]() -> vPacket * {
        FifoRef fifo = fifoTable().find(handle);
        if (fifo == nullptr)
            return nullptr;
        std::lock_guard guard(fifo->lock);
        auto found = fifo->firstAccepted(filter, ref);
        return found == fifo->packets.end() ? nullptr : fifo->take(found);
    });
}

vPacket *vPacketFifo_AwaitFirst(uint64_t handle, vPacketFilter filter, const void *ref,
                                uint32_t timeoutMs) {
    if (filter == nullptr)
        return nullptr;
    const auto deadline = deadlineAfter(timeoutMs);
    return guarded<vPacket *>(nullptr, [=]() -> vPacket * {
        FifoRef fifo = fifoTable().find(handle);
        if (fifo == nullptr)
            return nullptr;
        std::unique_lock guard(fifo->lock);
        uint32_t lastExamined = fifo->oldestSequence - 1;
        for (;;) {
            auto found = fifo->firstNewAccepted(filter, ref, &lastExamined);
            if (found != fifo->packets.end())
                return fifo->take(found);
            if (!fifo->active || Clock::now() >= deadline)
                return nullptr;
            fifo->signal.wait_until(guard, deadline);
        }
    });
}

uint32_t vPacketFifo_DrainPackets(uint64_t handle, vPacketFilter filter, const void *ref) {
    if (filter == nullptr)
        return 0;
    return guarded<uint32_t>(0, [=]() -> uint32_t {
        FifoRef fifo = fifoTable().find(handle);
        if (fifo == nullptr)
            return 0;
        std::lock_guard guard(fifo->lock);
        return fifo->removeAccepted(filter, ref);
    });
}
