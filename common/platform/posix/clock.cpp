#include "platform/platform.h"

#include <cerrno>
#include <ctime>

namespace platform {

std::uint64_t monotonicMilliseconds() {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

void sleepMilliseconds(std::uint32_t milliseconds) {
    struct timespec left {};
    left.tv_sec = static_cast<time_t>(milliseconds / 1000u);
    left.tv_nsec = static_cast<long>(milliseconds % 1000u) * 1000000L;
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

} // namespace platform
