#include "vLinkRecord.h"

#include <quillmark/vCommands.h>

namespace {

// How long an empty read waits for the transport before it counts as empty. Short enough that
// a stop is noticed quickly, long enough that an idle link costs next to nothing.
constexpr uint32_t kEmptyReadWaitMs = 20;
constexpr auto kPauseAfterReadError = std::chrono::milliseconds(100);

// One byte from the stream, waiting a little for one when none is there yet, so that an idle
// link sleeps instead of spinning.
vErr readByte(vStream *stream, uint8_t *byte) {
    vErr result = vStream_Read(stream, byte, 1);
    if (result != vErrNotReady) {
        return result;
    }
    if (vStream_WaitReadable(stream, kEmptyReadWaitMs) != vErrNone) {
        return vErrNotReady;
    }
    return vStream_Read(stream, byte, 1);
}

bool isHeartbeat(const vPacket &packet) {
    return packet.dataSize == 2 && packet.data[0] == cmdHB;
}

vErr answerHeartbeat(LinkCore &core, const vPacket &heartbeat) {
    const uint8_t answer[] = {cmdHB,
                              static_cast<uint8_t>(heartbeat.data[1] + kHeartbeatAnswerOffset)};
    return queueFrame(core, heartbeat.address, sizeof answer, answer);
}

bool consumedByUserFilter(LinkCore &core, const vPacket &packet) {
    std::lock_guard guard(core.filterMutex);
    return core.filter != nullptr && core.filter(&packet, core.filterRef);
}

// Offers a complete packet to the user filter, answers a heartbeat, or files it in the incoming
// queue; the answer is the queue's.
vErr handlePacket(LinkCore &core) {
    const vPacket &packet = *core.receivePacket;
    logFrame(core, kPacketLogReceived, packet);
    vErr result = vErrNone;
    if (!consumedByUserFilter(core, packet)) {
        if (isHeartbeat(packet)) {
            answerHeartbeat(core, packet);
        } else {
            result = vPacketFifo_Put(core.incoming, &packet);
        }
    }
    vPacket_Reset(core.receivePacket);
    return result;
}

void assembleByte(LinkCore &core, uint8_t byte) {
    if (vPacket_AddByte(core.receivePacket, byte) != vErrNone) {
        startSyncBurst(core);
        return;
    }
    if (vPacket_IsComplete(core.receivePacket) && handlePacket(core) != vErrNone) {
        core.status = linkStatusError;
    }
}

} // namespace

void receiveLoop(LinkCore &core) {
    core.syncAddress = 1;
    core.receiveStarted = true;
    core.status = linkStatusRunning;
    core.syncState = 0;
    while (core.running) {
        uint8_t byte = 0;
        vErr result = readByte(core.stream, &byte);
        if (result == vErrNotReady) {
            if (core.status == linkStatusSyncing) {
                startSyncBurst(core);
            }
        } else if (result != vErrNone) {
            core.status = linkStatusIOError;
            std::this_thread::sleep_for(kPauseAfterReadError);
        } else if (core.status == linkStatusSyncing) {
            stepSync(core, byte);
        } else {
            assembleByte(core, byte);
        }
    }
    // A stopped link starts its next run on a fresh frame.
    vPacket_Reset(core.receivePacket);
}
