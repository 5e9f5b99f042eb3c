#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

// Collects debugPrint output while it lives: turns the given mask bits on, points the debug
// stream at a temporary file, and points it nowhere again when destroyed.
class DebugCapture {
  public:
    explicit DebugCapture(uint32_t maskBits);
    ~DebugCapture();
    DebugCapture(const DebugCapture &) = delete;
    DebugCapture &operator=(const DebugCapture &) = delete;

    // Everything written so far.
    std::string text() const;

  private:
    std::FILE *file_;
};
