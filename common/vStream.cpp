#include <quillmark/vStream.h>

#include "vStreamPushBack.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

namespace {
constexpr uint16_t kStreamCheck = 0x4321;
}

struct vStream {
    uint16_t check;
    vStream_GetProc get;
    vStream_PutProc put;
    vStream_WriteProc write;
    vStream_DestroyProc destroy;
    void *ref;
    vStreamPushBack pushBack;
    vStream_WaitProc wait;
};

namespace {

bool isLive(const vStream *stream) {
    return stream != nullptr && stream->check == kStreamCheck;
}

// The next byte for a reader: a pushed-back one first, else one from the transport.
vErr takeByte(vStream *stream, uint8_t *byte) {
    if (stream->pushBack.take(byte)) {
        return vErrNone;
    }
    return stream->get(byte, stream->ref);
}

vErr putByte(vStream *stream, uint8_t byte) {
    if (stream->put != nullptr) {
        return stream->put(&byte, stream->ref);
    }
    return stream->write(&byte, 1, stream->ref);
}

// Longest tail of `taken` that is a beginning of the terminator, so that a terminator split
// across reads, or one that starts inside a false match, is still found.
uint32_t pendingTerminatorLength(const std::vector<uint8_t> &taken, const uint8_t *terminator,
                                 uint32_t terminatorLength) {
    uint32_t longest =
        terminatorLength < taken.size() ? terminatorLength : static_cast<uint32_t>(taken.size());
    for (uint32_t length = longest; length > 0; --length) {
        if (std::memcmp(taken.data() + taken.size() - length, terminator, length) == 0) {
            return length;
        }
    }
    return 0;
}

// Copies the first `stored` bytes out and hands the rest of what was taken back to the ring.
vErr finishRecord(vStream *stream, const std::vector<uint8_t> &taken, uint32_t stored,
                  uint32_t consumed, uint8_t *buffer, uint32_t *length) {
    if (consumed < taken.size() &&
        !stream->pushBack.prepend(taken.data() + consumed,
                                  static_cast<uint32_t>(taken.size() - consumed))) {
        return vErrMemory;
    }
    if (stored > 0) {
        std::memcpy(buffer, taken.data(), stored);
    }
    if (length != nullptr) {
        *length = stored;
    }
    return vErrNone;
}

} // namespace

vStream *vStream_Create(vStream_GetProc get, vStream_PutProc put, vStream_WriteProc write,
                        vStream_DestroyProc destroy, void *ref) {
    return new (std::nothrow) vStream{kStreamCheck, get, put, write, destroy, ref, {}, nullptr};
}

vErr vStream_SetWaitProc(vStream *stream, vStream_WaitProc wait) {
    if (!isLive(stream)) {
        return vErrParam;
    }
    stream->wait = wait;
    return vErrNone;
}

vErr vStream_Destroy(vStream **stream) {
    if (stream == nullptr) {
        return vErrParam;
    }
    vStream *record = *stream;
    *stream = nullptr;
    if (!isLive(record)) {
        return vErrParam;
    }
    vErr result = record->destroy != nullptr ? record->destroy(record->ref) : vErrNone;
    record->check = 0;
    delete record;
    return result;
}

vErr vStream_Read(vStream *stream, uint8_t *buffer, uint32_t count) {
    if (!isLive(stream) || buffer == nullptr) {
        return vErrParam;
    }
    if (stream->get == nullptr) {
        return vErrMode;
    }
    if (count == 0) {
        return vErrNone;
    }
    auto *taken = static_cast<uint8_t *>(std::malloc(count));
    if (taken == nullptr) {
        return vErrResource;
    }
    uint32_t takenCount = 0;
    vErr result = vErrNone;
    while (takenCount < count) {
        result = takeByte(stream, &taken[takenCount]);
        if (result != vErrNone) {
            break;
        }
        ++takenCount;
    }
    if (result == vErrNotReady) {
        if (!stream->pushBack.append(taken, takenCount)) {
            result = vErrMemory;
        }
    } else if (result == vErrNone || result == vErrEOF) {
        std::memcpy(buffer, taken, takenCount);
    }
    std::free(taken);
    return result;
}

vErr vStream_Write(vStream *stream, const uint8_t *buffer, uint32_t count) {
    if (!isLive(stream) || buffer == nullptr) {
        return vErrParam;
    }
    if (stream->put == nullptr && stream->write == nullptr) {
        return vErrMode;
    }
    if (stream->write != nullptr && (count > 1 || stream->put == nullptr)) {
        return stream->write(buffer, count, stream->ref);
    }
    for (uint32_t i = 0; i < count; ++i) {
        vErr result = stream->put(&buffer[i], stream->ref);
        if (result != vErrNone) {
            return result;
        }
    }
    return vErrNone;
}

vErr vStream_WaitReadable(vStream *stream, uint32_t timeoutMs) {
    if (!isLive(stream)) {
        return vErrParam;
    }
    if (stream->get == nullptr) {
        return vErrMode;
    }
    if (stream->pushBack.count() > 0) {
        return vErrNone;
    }
    if (stream->wait != nullptr) {
        return stream->wait(timeoutMs, stream->ref);
    }
    // Without a way to watch the transport, pausing keeps a polling reader from spinning.
    std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
    return vErrNone;
}

vErr vStream_ReadRecord(vStream *stream, uint8_t *buffer, uint32_t *length, uint32_t maxLength,
                        const uint8_t *terminator, uint32_t terminatorLength) {
    if (!isLive(stream) || buffer == nullptr || terminator == nullptr || terminatorLength == 0) {
        return vErrParam;
    }
    if (stream->get == nullptr) {
        return vErrMode;
    }
    std::vector<uint8_t> taken;
    for (;;) {
        uint32_t pending = pendingTerminatorLength(taken, terminator, terminatorLength);
        uint32_t stored = static_cast<uint32_t>(taken.size()) - pending;
        if (pending == terminatorLength) {
            return finishRecord(stream, taken, stored, static_cast<uint32_t>(taken.size()), buffer,
                                length);
        }
        if (stored >= maxLength) {
            return finishRecord(stream, taken, maxLength, maxLength, buffer, length);
        }
        uint8_t byte = 0;
        vErr result = takeByte(stream, &byte);
        if (result == vErrEOF) {
            if (taken.empty()) {
                if (length != nullptr) {
                    *length = 0;
                }
                return vErrEOF;
            }
            uint32_t kept =
                taken.size() < maxLength ? static_cast<uint32_t>(taken.size()) : maxLength;
            return finishRecord(stream, taken, kept, kept, buffer, length);
        }
        if (result == vErrNotReady) {
            return stream->pushBack.append(taken.data(), static_cast<uint32_t>(taken.size()))
                       ? vErrNotReady
                       : vErrMemory;
        }
        if (result != vErrNone) {
            return result;
        }
        taken.push_back(byte);
    }
}

vErr vStream_WriteRecord(vStream *stream, const uint8_t *data, uint32_t count,
                         const uint8_t *terminator, uint32_t terminatorLength) {
    if (data == nullptr || terminator == nullptr || terminatorLength == 0) {
        return vErrParam;
    }
    vErr result = vStream_Write(stream, data, count);
    if (result != vErrNone) {
        return result;
    }
    return vStream_Write(stream, terminator, terminatorLength);
}

vErr vStream_ReadCString(vStream *stream, char *buffer, uint32_t capacity) {
    if (buffer == nullptr || capacity == 0) {
        return vErrParam;
    }
    const uint8_t terminator = 0;
    uint32_t length = 0;
    vErr result = vStream_ReadRecord(stream, reinterpret_cast<uint8_t *>(buffer), &length,
                                     capacity - 1, &terminator, 1);
    if (result == vErrNone) {
        buffer[length] = '\0';
    }
    return result;
}

vErr vStream_WriteCString(vStream *stream, const char *text) {
    if (!isLive(stream) || text == nullptr) {
        return vErrParam;
    }
    if (stream->put == nullptr && stream->write == nullptr) {
        return vErrMode;
    }
    vErr result = vStream_Write(stream, reinterpret_cast<const uint8_t *>(text),
                                static_cast<uint32_t>(std::strlen(text)));
    if (result != vErrNone) {
        return result;
    }
    return putByte(stream, 0);
}

vErr vStream_ReadCStringRecord(vStream *stream, char *buffer, uint32_t *length,
                               const char *terminatorText) {
    if (buffer == nullptr || length == nullptr || *length == 0 || terminatorText == nullptr) {
        return vErrParam;
    }
    uint32_t stored = 0;
    vErr result = vStream_ReadRecord(stream, reinterpret_cast<uint8_t *>(buffer), &stored,
                                     *length - 1, reinterpret_cast<const uint8_t *>(terminatorText),
                                     static_cast<uint32_t>(std::strlen(terminatorText)));
    if (result == vErrNone) {
        buffer[stored] = '\0';
        *length = stored;
    }
    return result;
}

vErr vStream_WriteCStringRecord(vStream *stream, const char *text, const char *terminatorText) {
    if (text == nullptr || terminatorText == nullptr) {
        return vErrParam;
    }
    vErr result = vStream_Write(stream, reinterpret_cast<const uint8_t *>(text),
                                static_cast<uint32_t>(std::strlen(text)));
    if (result != vErrNone) {
        return result;
    }
    return vStream_Write(stream, reinterpret_cast<const uint8_t *>(terminatorText),
                         static_cast<uint32_t>(std::strlen(terminatorText) + 1));
}

vErr vStream_Flush(vStream *in, vStream *out) {
    if (!isLive(in) || !isLive(out)) {
        return vErrParam;
    }
    if (in->get == nullptr || out->put == nullptr) {
        return vErrMode;
    }
    for (;;) {
        uint8_t byte = 0;
        vErr result = in->get(&byte, in->ref);
        if (result == vErrEOF) {
            return vErrNone;
        }
        if (result != vErrNone) {
            return result;
        }
        result = out->put(&byte, out->ref);
        if (result != vErrNone) {
            return result;
        }
    }
}
