#include "vLinkRecord.h"

#include <system_error>

namespace {

constexpr int kStartPolls = 200;
constexpr auto kStartPollInterval = std::chrono::milliseconds(10);
// How long a stop waits for each thread before leaving it to end on its own.
constexpr auto kThreadEndBound = std::chrono::milliseconds(5000);

// Runs one of the loops on a new thread that holds its own reference to the link's state.
bool launch(LinkThread &slot, const LinkCoreRef &core, void (*loop)(LinkCore &)) {
    std::promise<void> ended;
    std::future<void> finished = ended.get_future();
    try {
        slot.thread = std::thread([core, loop, ended = std::move(ended)]() mutable {
            loop(*core);
            ended.set_value();
        });
    } catch (const std::system_error &) {
        return false;
    }
    slot.finished = std::move(finished);
    return true;
}

// Waits a bounded time for the thread to end. One that does not is detached rather than killed:
// killing it could leave a lock held or a transfer half done, while a detached thread ends by
// itself once its blocking call returns, and its reference keeps what it uses alive until then.
void awaitEnd(LinkThread &slot) {
    if (!slot.exists()) {
        return;
    }
    if (slot.finished.wait_for(kThreadEndBound) == std::future_status::ready) {
        slot.thread.join();
        slot.finished = {};
    } else {
        slot.thread.detach();
    }
}

bool startedAndRunning(const LinkCore &core) {
    return core.receiveStarted && core.sendStarted && core.status == linkStatusRunning;
}

} // namespace

vErr vLink_Start(int32_t id) {
    vLinkRecord *record = linkRecord(id);
    LinkCoreRef core = record != nullptr ? record->core() : nullptr;
    if (core == nullptr) {
        return vErrParam;
    }
    if (core->running) {
        return vErrNone;
    }
    if (core->stream == nullptr) {
        return vErrInitialization;
    }
    if (!record->receiveThread.gone() || !record->sendThread.gone()) {
        // A thread of the previous run has not ended yet and still reads or writes the stream.
        return vErrBusy;
    }
    core->running = true;
    core->status = linkStatusInitializing;
    core->receiveStarted = false;
    core->sendStarted = false;
    if (!launch(record->receiveThread, core, receiveLoop) ||
        !launch(record->sendThread, core, sendLoop)) {
        return vErrResource;
    }
    int polls = 0;
    while (!startedAndRunning(*core) && polls++ < kStartPolls) {
        std::this_thread::sleep_for(kStartPollInterval);
    }
    if (!startedAndRunning(*core)) {
        return vErrIndexRange;
    }
    return queueForceRoute(*core, 1);
}

void vLink_Stop(vLinkRecord *link) {
    LinkCoreRef core = link->core();
    if (core == nullptr || core->status == linkStatusStopping ||
        core->status == linkStatusStopped) {
        return;
    }
    core->status = linkStatusStopping;
    if (!link->receiveThread.exists() && !link->sendThread.exists()) {
        return;
    }
    // Cleared before the route frame is queued, so that the put wakes the send thread into its
    // final pass instead of into another wait.
    core->running = false;
    queueForceRoute(*core, 0);
    awaitEnd(link->receiveThread);
    awaitEnd(link->sendThread);
    core->receiveStarted = false;
    core->sendStarted = false;
    core->status = linkStatusStopped;
}
