#pragma once
#include <cstdint>

// The bytes a stream's readers handed back, oldest first. Allocated with 512 bytes on first use
// and grown by 512 whenever an append finds it one byte short of full.
class vStreamPushBack {
  public:
    vStreamPushBack() = default;
    vStreamPushBack(const vStreamPushBack &) = delete;
    vStreamPushBack &operator=(const vStreamPushBack &) = delete;
    ~vStreamPushBack();

    uint32_t count() const { return count_; }
    uint32_t capacity() const { return capacity_; }

    // Takes the oldest byte; false when the ring is empty.
    bool take(uint8_t *byte);
    // Adds bytes after the newest; false (nothing added) when memory is short.
    bool append(const uint8_t *bytes, uint32_t length);
    // Puts bytes back before the oldest, so they are taken first and in their order.
    bool prepend(const uint8_t *bytes, uint32_t length);

  private:
    static constexpr uint32_t kStep = 512;
    bool reserve(uint32_t needed);

    uint8_t *buffer_ = nullptr;
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;
    uint32_t readPosition_ = 0;
    uint32_t writePosition_ = 0;
};
