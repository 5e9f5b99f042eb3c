#include "Messages.h"

#include <cstdarg>

namespace {

constexpr size_t kMessageBufferSize = 2048;

// Written on the main thread before any worker exists, read without a lock afterwards.
uint32_t debugMaskBits = 0;
std::FILE *debugStream = nullptr;

// vsnprintf cuts at the buffer and answers the untruncated length; the written length is the
// smaller of the two.
size_t formatInto(char (&buffer)[kMessageBufferSize], const char *format, va_list arguments) {
    int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
    if (length < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return static_cast<size_t>(length) < sizeof buffer ? static_cast<size_t>(length)
                                                       : sizeof buffer - 1;
}

} // namespace

void displayMessage(UpdaterDisplayInterface *display, int level, const char *format, ...) {
    if (display == nullptr || display->isSilent()) {
        return;
    }
    char buffer[kMessageBufferSize];
    va_list arguments;
    va_start(arguments, format);
    formatInto(buffer, format, arguments);
    va_end(arguments);
    if (level == 1) {
        display->showError(buffer);
    } else {
        display->showMessage(buffer);
    }
}

void debugPrint(uint32_t mask, const char *format, ...) {
    if (mask != 0 && (mask & debugMaskBits) == 0) {
        return;
    }
    if (debugStream == nullptr) {
        return;
    }
    char buffer[kMessageBufferSize];
    va_list arguments;
    va_start(arguments, format);
    size_t length = formatInto(buffer, format, arguments);
    va_end(arguments);
    std::fwrite(buffer, 1, length, debugStream);
    std::fflush(debugStream);
}

void setDebugMask(uint32_t bits) {
    debugMaskBits |= bits;
}

uint32_t debugMask() {
    return debugMaskBits;
}

void setDebugStream(std::FILE *stream) {
    debugStream = stream;
}
