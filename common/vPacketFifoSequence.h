#pragma once
// Sequence numbers of queued packets: 32-bit counters that wrap, so that order is decided by the
// signed difference, never by plain comparison.

#include <cstdint>

constexpr bool isNewerSequence(uint32_t sequence, uint32_t than) {
    return static_cast<int32_t>(sequence - than) > 0;
}
