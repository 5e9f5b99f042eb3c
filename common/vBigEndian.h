#pragma once
// Big-endian numbers inside packet data, independent of the host's byte order.

#include <cstdint>

namespace bigEndian {

inline uint16_t load16(const uint8_t *bytes) {
    return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

inline uint32_t load32(const uint8_t *bytes) {
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 |
           uint32_t{bytes[3]};
}

inline uint64_t load64(const uint8_t *bytes) {
    return uint64_t{load32(bytes)} << 32 | load32(bytes + 4);
}

inline void store16(uint8_t *bytes, uint16_t value) {
    bytes[0] = static_cast<uint8_t>(value >> 8);
    bytes[1] = static_cast<uint8_t>(value);
}

inline void store32(uint8_t *bytes, uint32_t value) {
    store16(bytes, static_cast<uint16_t>(value >> 16));
    store16(bytes + 2, static_cast<uint16_t>(value));
}

} // namespace bigEndian
