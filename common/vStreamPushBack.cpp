#include "vStreamPushBack.h"

#include <cstdlib>

vStreamPushBack::~vStreamPushBack() {
    std::free(buffer_);
}

bool vStreamPushBack::take(uint8_t *byte) {
    if (count_ == 0) {
        return false;
    }
    *byte = buffer_[readPosition_];
    readPosition_ = (readPosition_ + 1) % capacity_;
    --count_;
    return true;
}

// Makes room for `needed` bytes in all while keeping one slot free, moving the contents in order
// to the start of a larger area when the ring must grow.
bool vStreamPushBack::reserve(uint32_t needed) {
    uint32_t capacity = capacity_;
    while (needed + 1 > capacity) {
        capacity += kStep;
    }
    if (capacity == capacity_) {
        return true;
    }
    auto *grown = static_cast<uint8_t *>(std::malloc(capacity));
    if (grown == nullptr) {
        return false;
    }
    for (uint32_t i = 0; i < count_; ++i) {
        grown[i] = buffer_[(readPosition_ + i) % capacity_];
    }
    std::free(buffer_);
    buffer_ = grown;
    capacity_ = capacity;
    readPosition_ = 0;
    writePosition_ = count_;
    return true;
}

bool vStreamPushBack::append(const uint8_t *bytes, uint32_t length) {
    if (!reserve(count_ + length)) {
        return false;
    }
    for (uint32_t i = 0; i < length; ++i) {
        buffer_[writePosition_] = bytes[i];
        writePosition_ = (writePosition_ + 1) % capacity_;
    }
    count_ += length;
    return true;
}

bool vStreamPushBack::prepend(const uint8_t *bytes, uint32_t length) {
    if (!reserve(count_ + length)) {
        return false;
    }
    for (uint32_t i = length; i > 0; --i) {
        readPosition_ = (readPosition_ + capacity_ - 1) % capacity_;
        buffer_[readPosition_] = bytes[i - 1];
    }
    count_ += length;
    return true;
}
