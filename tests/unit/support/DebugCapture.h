#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Collects debugPrint output while it lives: turns the given mask bits on (they are never
// removed), points the debug stream at memory, and points it nowhere again when destroyed.
class DebugCapture {
  public:
    explicit DebugCapture(uint32_t maskBits);
    ~DebugCapture();
    DebugCapture(const DebugCapture &) = delete;
    DebugCapture &operator=(const DebugCapture &) = delete;

    // Everything written so far.
    std::string text() const;

  private:
    char *buffer_ = nullptr;
    std::size_t size_ = 0;
    std::FILE *stream_ = nullptr;
};
