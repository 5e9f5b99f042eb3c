#include "support/ScriptedStream.h"

#include <algorithm>
#include <chrono>

ScriptedStream::ScriptedStream() {
    stream_ = vStream_Create(get, put, write, nullptr, this);
    vStream_SetWaitProc(stream_, wait);
}

void ScriptedStream::feed(const std::vector<uint8_t> &bytes) {
    std::lock_guard guard(mutex_);
    toLink_.insert(toLink_.end(), bytes.begin(), bytes.end());
    changed_.notify_all();
}

void ScriptedStream::failReads(vErr code) {
    std::lock_guard guard(mutex_);
    readFailure_ = code;
    changed_.notify_all();
}

void ScriptedStream::holdWrites(bool held) {
    std::lock_guard guard(mutex_);
    writesHeld_ = held;
    changed_.notify_all();
}

std::vector<std::vector<uint8_t>> ScriptedStream::writes() {
    std::lock_guard guard(mutex_);
    return writes_;
}

size_t ScriptedStream::countLocked(const std::vector<uint8_t> &frame) const {
    return static_cast<size_t>(std::count(writes_.begin(), writes_.end(), frame));
}

size_t ScriptedStream::countWrites(const std::vector<uint8_t> &frame) {
    std::lock_guard guard(mutex_);
    return countLocked(frame);
}

bool ScriptedStream::awaitWrites(const std::vector<uint8_t> &frame, size_t count, int timeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return countLocked(frame) >= count; });
}

void ScriptedStream::clearWrites() {
    std::lock_guard guard(mutex_);
    writes_.clear();
}

vErr ScriptedStream::get(uint8_t *byte, void *ref) {
    auto *self = static_cast<ScriptedStream *>(ref);
    std::lock_guard guard(self->mutex_);
    if (self->readFailure_ != vErrNone) {
        return self->readFailure_;
    }
    if (self->toLink_.empty()) {
        return vErrNotReady;
    }
    *byte = self->toLink_.front();
    self->toLink_.pop_front();
    return vErrNone;
}

vErr ScriptedStream::put(const uint8_t *byte, void *ref) {
    return write(byte, 1, ref);
}

vErr ScriptedStream::write(const uint8_t *buffer, uint32_t length, void *ref) {
    auto *self = static_cast<ScriptedStream *>(ref);
    std::unique_lock lock(self->mutex_);
    self->changed_.wait(lock, [self] { return !self->writesHeld_; });
    self->writes_.emplace_back(buffer, buffer + length);
    self->changed_.notify_all();
    return vErrNone;
}

vErr ScriptedStream::wait(uint32_t timeoutMs, void *ref) {
    auto *self = static_cast<ScriptedStream *>(ref);
    std::unique_lock lock(self->mutex_);
    bool ready = self->changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [self] {
        return !self->toLink_.empty() || self->readFailure_ != vErrNone;
    });
    return ready ? vErrNone : vErrTimeout;
}
