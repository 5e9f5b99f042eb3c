#pragma once
// The link engine's per-link state and the steps its creators share.

#include "vLinkRegistry.h"

#include <quillmark/vLink.h>
#include <quillmark/vLinkPacketLog.h>

#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

inline constexpr uint16_t kLinkCheck = 0xCEED;

// Everything a link's threads touch. The threads hold their own reference, so a thread that
// outlives the bounded wait of a stop (a write stuck on a port nobody reads) still finds it
// alive, and it is freed by whoever lets go last.
struct LinkCore {
    LinkCore() = default;
    LinkCore(const LinkCore &) = delete;
    LinkCore &operator=(const LinkCore &) = delete;
    // Frees the queues, the receive packet, the packet log and the stream.
    ~LinkCore();

    // Both threads loop while it is set.
    std::atomic<bool> running{false};
    // Written by the threads and by start, stop and sync; read by everyone without a lock.
    std::atomic<linkStatus> status{linkStatusInvalid};
    uint64_t incoming = 0;
    uint64_t outgoing = 0;
    std::atomic<bool> receiveStarted{false};
    std::atomic<bool> sendStarted{false};
    vStream *stream = nullptr;

    // Touched by the receive thread alone.
    vPacket *receivePacket = nullptr;
    uint32_t syncState = 0;
    uint8_t syncAddress = 0;

    std::mutex logMutex;
    vPacketLog *log = nullptr;
    // 0 means V_PACKET_LOG_DEFAULT_SIZE.
    uint32_t logSize = 0;
    bool logEnabled = false;

    std::mutex filterMutex;
    vLinkUserFilter filter = nullptr;
    void *filterRef = nullptr;
};
using LinkCoreRef = std::shared_ptr<LinkCore>;

// One of a link's two threads, with the signal it gives when its loop has ended.
struct LinkThread {
    std::thread thread;
    std::future<void> finished;

    bool exists() const { return thread.joinable(); }
    // True when no thread is left that still works on its link.
    bool gone() const;
};

// Owned by the link's registry entry; made by the creators, freed by vLink_Destroy.
struct vLinkRecord {
    uint16_t check = 0;
    int32_t id = 0;
    LinkThread receiveThread;
    LinkThread sendThread;

    // The state in use now; a reset replaces it.
    LinkCoreRef core() const;
    void replaceCore(LinkCoreRef core);

  private:
    mutable std::mutex coreMutex_;
    LinkCoreRef core_;
};

// The live record of the link with this id, or null; the entry comes along when asked for.
vLinkRecord *linkRecord(int32_t id, vLinkEntryRef *entry = nullptr);
// The current state of the link with this id, or null.
LinkCoreRef linkCore(int32_t id);

// Gives the record fresh state on `stream` (which may be null): new queues, a new receive
// packet, no packet log and no user filter. vErrResource when a queue cannot be made.
vErr vLink_Init(int32_t id, vStream *stream);
// Starts both threads and waits for the receiver, then queues the route frame.
vErr vLink_Start(int32_t id);
// Stops both threads within their bounded waits.
void vLink_Stop(vLinkRecord *link);
// Makes the receiver regain alignment and empties both queues.
vErr vLink_Sync(int32_t id);
// queueForceRoute on the link with this id; vErrNotFound when the id names no link.
vErr vLink_ForceRoute(int32_t id, uint8_t value);

// True for the transports whose stream can be made again from a registry entry alone: USB, TCP/IP
// and vEther.
bool vLink_CanRemakeStream(linkType transport);
// Makes the stream of the entry's transport and key again: vErrParam for a transport whose
// stream cannot be made from the entry alone (serial, a caller's stream).
vErr vLink_RemakeStream(const vLinkEntry &entry, vStream **stream);

// Queues a frame built from the given bytes on the link's outgoing queue.
vErr queueFrame(LinkCore &core, uint8_t address, uint32_t length, const uint8_t *data);
// Queues the link-control frame [cmdFORCEROUTE, 1, value]: 1 when a link starts, 0 when it stops.
vErr queueForceRoute(LinkCore &core, uint8_t value);
// Records a whole frame in the packet log while it is enabled.
void logFrame(LinkCore &core, uint8_t kind, const vPacket &packet);

// The threads' loops.
void receiveLoop(LinkCore &core);
void sendLoop(LinkCore &core);

// The receive thread's alignment: a sync burst, and one received byte fed to the state machine.
void startSyncBurst(LinkCore &core);
void stepSync(LinkCore &core, uint8_t byte);
