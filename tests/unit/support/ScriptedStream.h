#pragma once
#include <quillmark/vStream.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

// A stream whose far end is the test itself: the test feeds the bytes the link reads, and sees
// every write the link makes. Reads return at once (vErrNotReady when nothing was fed), the wait
// procedure sleeps until bytes are fed, and reads can be made to fail.
class ScriptedStream {
  public:
    ScriptedStream();
    // The stream, which the link takes over (and destroys) when a link is made on it.
    vStream *stream() const { return stream_; }

    void feed(const std::vector<uint8_t> &bytes);
    // Every read from now on fails with this code (vErrNone: reads work again).
    void failReads(vErr code);
    // While held, every write blocks until the hold is released, like a port nobody reads.
    void holdWrites(bool held);
    // The writes made so far, one buffer each.
    std::vector<std::vector<uint8_t>> writes();
    // Waits up to timeoutMs until `count` writes equal `frame`.
    bool awaitWrites(const std::vector<uint8_t> &frame, size_t count, int timeoutMs);
    // Number of writes equal to `frame`.
    size_t countWrites(const std::vector<uint8_t> &frame);
    void clearWrites();

  private:
    static vErr get(uint8_t *byte, void *ref);
    static vErr put(const uint8_t *byte, void *ref);
    static vErr write(const uint8_t *buffer, uint32_t length, void *ref);
    static vErr wait(uint32_t timeoutMs, void *ref);
    size_t countLocked(const std::vector<uint8_t> &frame) const;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<uint8_t> toLink_;
    std::vector<std::vector<uint8_t>> writes_;
    vErr readFailure_ = vErrNone;
    bool writesHeld_ = false;
    vStream *stream_ = nullptr;
};
