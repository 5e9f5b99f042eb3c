#include "vLinkRecord.h"

namespace {

constexpr int kRemakeAttempts = 20;
constexpr auto kPauseAfterFailedRemake = std::chrono::milliseconds(100);

vStream *remakeStream(const vLinkEntry &entry) {
    for (int attempt = 0; attempt < kRemakeAttempts; ++attempt) {
        vStream *stream = nullptr;
        if (vLink_RemakeStream(entry, &stream) == vErrNone) {
            return stream;
        }
        std::this_thread::sleep_for(kPauseAfterFailedRemake);
    }
    return nullptr;
}

} // namespace

vErr vLink_Reset(int32_t id) {
    vLinkEntryRef entry;
    vLinkRecord *record = linkRecord(id, &entry);
    if (record == nullptr) {
        return vErrParam;
    }
    // Checked before anything is stopped, so that a link whose stream cannot be made again keeps
    // running instead of being left without one.
    if (!vLink_CanRemakeStream(entry->transport)) {
        return vErrParam;
    }
    vLink_Stop(record);
    // The old queues and stream go before the new stream is made: a device allows one open.
    record->replaceCore(nullptr);
    vErr initialised = vLink_Init(id, remakeStream(*entry));
    if (initialised != vErrNone) {
        return initialised;
    }
    return vLink_Start(id);
}
