#include "vLinkRecord.h"

#include <quillmark/vCommands.h>

namespace {

// The receiver's alignment states. The device answers every sync frame with a zero-length frame
// from its own address; two such answers in a row align the link.
enum SyncState : uint32_t {
    kSyncStateAligned = 0,
    kSyncStateStart = 1,
    kSyncStateByte1 = 2,
    kSyncStateByte2 = 3,
    kSyncStateByte3 = 4,
    kSyncStateByte4 = 5,
};

constexpr int kSyncFramesPerBurst = 6;
constexpr int kSyncPolls = 200;
constexpr auto kSyncPollInterval = std::chrono::milliseconds(10);
// Lets the answers to the last burst arrive before they are drained.
constexpr auto kSyncSettleTime = std::chrono::milliseconds(100);

bool isModuleAddress(uint8_t byte) {
    return byte != 0 && byte % 2 == 0;
}

uint8_t acceptEveryPacket(const vPacket *, const void *) {
    return 1;
}

} // namespace

void startSyncBurst(LinkCore &core) {
    core.status = linkStatusSyncing;
    core.syncState = kSyncStateStart;
    vPacket_Reset(core.receivePacket);
    const uint8_t noData = 0;
    vErr result = vErrNone;
    for (int frame = 0; frame < kSyncFramesPerBurst; ++frame) {
        result = queueFrame(core, cmdSYNC, 0, &noData);
    }
    if (result == vErrNone) {
        core.syncState = kSyncStateByte1;
    }
}

void stepSync(LinkCore &core, uint8_t byte) {
    switch (core.syncState) {
    case kSyncStateByte1:
        if (!isModuleAddress(byte)) {
            startSyncBurst(core);
            return;
        }
        core.syncAddress = byte;
        core.syncState = kSyncStateByte2;
        return;
    case kSyncStateByte2:
        core.syncState = byte == 0 ? kSyncStateByte3 : kSyncStateStart;
        return;
    case kSyncStateByte3:
        core.syncState = byte == core.syncAddress ? kSyncStateByte4 : kSyncStateStart;
        return;
    case kSyncStateByte4:
        if (byte != 0) {
            core.syncState = kSyncStateStart;
            return;
        }
        core.syncState = kSyncStateAligned;
        core.status = linkStatusRunning;
        return;
    default:
        startSyncBurst(core);
        return;
    }
}

vErr vLink_Sync(int32_t id) {
    LinkCoreRef core = linkCore(id);
    if (core == nullptr) {
        return vErrParam;
    }
    core->status = linkStatusSyncing;
    int polls = 0;
    while (core->status != linkStatusRunning && polls++ < kSyncPolls) {
        std::this_thread::sleep_for(kSyncPollInterval);
    }
    if (core->status != linkStatusRunning) {
        return vErrNotReady;
    }
    vPacketFifo_DrainPackets(core->outgoing, acceptEveryPacket, nullptr);
    std::this_thread::sleep_for(kSyncSettleTime);
    vPacketFifo_DrainPackets(core->incoming, acceptEveryPacket, nullptr);
    return vErrNone;
}
