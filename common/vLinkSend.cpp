#include "vLinkRecord.h"

namespace {

// Bounds each wait for a packet, so that a stop is noticed even when nothing is sent.
constexpr uint32_t kSendWaitMs = 1000;

// Writes the packet as one frame and frees it. A failed write is not reported further: the
// device's reply simply does not come.
void sendFrame(LinkCore &core, vPacket *packet) {
    vStream_Write(core.stream, &packet->address, packet->dataSize + 2u);
    logFrame(core, kPacketLogSent, *packet);
    vPacket_Destroy(&packet);
}

} // namespace

void sendLoop(LinkCore &core) {
    core.sendStarted = true;
    while (core.running) {
        vPacket *packet = vPacketFifo_Await(core.outgoing, kSendWaitMs);
        if (packet != nullptr) {
            sendFrame(core, packet);
        }
    }
    while (vPacket *packet = vPacketFifo_Get(core.outgoing)) {
        sendFrame(core, packet);
    }
}
