#include <quillmark/vLinkPacketLog.h>

#include <new>

namespace {
// A record's kind and length bytes.
constexpr uint32_t kRecordHeader = 2;
constexpr uint32_t kLongestRecordData = 255;
} // namespace

// head == tail means empty, so one byte always stays free.
struct vPacketLog {
    uint8_t *buffer;
    uint32_t size;
    uint32_t head;
    uint32_t tail;

    uint32_t freeBytes() const { return size - (size - head + tail) % size; }
    uint8_t at(uint32_t offset) const { return buffer[(head + offset) % size]; }
    void dropOldest() { head = (head + kRecordHeader + at(1)) % size; }
    void append(uint8_t byte) {
        buffer[tail] = byte;
        tail = (tail + 1) % size;
    }
};

vPacketLog *vPacketLog_Create(uint32_t size) {
    if (size == 0) {
        return nullptr;
    }
    auto *buffer = new (std::nothrow) uint8_t[size];
    auto *log = buffer != nullptr ? new (std::nothrow) vPacketLog{buffer, size, 0, 0} : nullptr;
    if (log == nullptr) {
        delete[] buffer;
    }
    return log;
}

vErr vPacketLog_Put(vPacketLog *log, uint8_t kind, uint32_t length, const uint8_t *bytes) {
    if (log == nullptr || (bytes == nullptr && length > 0) || length > kLongestRecordData) {
        return vErrParam;
    }
    const uint32_t needed = length + kRecordHeader;
    if (needed < log->size) {
        while (log->freeBytes() <= needed && log->head != log->tail) {
            log->dropOldest();
        }
    }
    if (log->freeBytes() <= needed) {
        return vErrOverrun;
    }
    log->append(kind);
    log->append(static_cast<uint8_t>(length));
    for (uint32_t index = 0; index < length; ++index) {
        log->append(bytes[index]);
    }
    return vErrNone;
}

vErr vPacketLog_Get(vPacketLog *log, uint8_t *kind, uint32_t *length, uint8_t *buffer) {
    if (log == nullptr || kind == nullptr || length == nullptr ||
        (buffer == nullptr && *length > 0)) {
        return vErrParam;
    }
    if (log->head == log->tail) {
        return vErrNotFound;
    }
    *kind = log->at(0);
    const uint32_t recordLength = log->at(1);
    const uint32_t capacity = *length;
    *length = recordLength;
    if (recordLength > capacity) {
        return vErrOverrun;
    }
    for (uint32_t index = 0; index < recordLength; ++index) {
        buffer[index] = log->at(kRecordHeader + index);
    }
    log->dropOldest();
    return vErrNone;
}

vErr vPacketLog_Destroy(vPacketLog **log) {
    if (log == nullptr || *log == nullptr) {
        return vErrParam;
    }
    delete[](*log)->buffer;
    delete *log;
    *log = nullptr;
    return vErrNone;
}
