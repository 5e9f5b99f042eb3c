#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

// Decodes standard base64 (RFC 4648 alphabet, "=" padding, no line breaks). The length must be
// a multiple of 4. Any character outside the alphabet, or a "=" anywhere but in the last two
// places (a "=" in the second-to-last place must be followed by another), refuses the whole
// text: the payload is a firmware image, and a silently altered byte would be worse than none.
// On success the buffer holds outLength bytes and one terminating zero byte.
std::unique_ptr<uint8_t[]> base64Decode(const char *text, size_t length, size_t &outLength);
