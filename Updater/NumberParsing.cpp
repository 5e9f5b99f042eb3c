#include "NumberParsing.h"

#include <cstring>

namespace {

constexpr const char *kHexDigits = "0123456789ABCDEFabcdef";
constexpr const char *kDecimalDigits = "0123456789";

unsigned digitValue(char digit) {
    if (digit >= '0' && digit <= '9') {
        return static_cast<unsigned>(digit - '0');
    }
    if (digit >= 'a' && digit <= 'f') {
        return static_cast<unsigned>(digit - 'a' + 10);
    }
    return static_cast<unsigned>(digit - 'A' + 10);
}

uint32_t parseWithDigits(const char *text, const char **end, const char *digits, unsigned base) {
    if (text == nullptr || end == nullptr || text[std::strspn(text, digits)] != '\0') {
        return 0;
    }
    uint64_t value = 0;
    const char *cursor = text;
    for (; *cursor != '\0'; ++cursor) {
        value = value * base + digitValue(*cursor);
        if (value > UINT32_MAX) {
            value = UINT32_MAX + uint64_t{1};
        }
    }
    *end = cursor;
    return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
}

} // namespace

uint32_t parseHexSerial(const char *text, const char **end) {
    return parseWithDigits(text, end, kHexDigits, 16);
}

uint32_t parseDecimal(const char *text, const char **end) {
    return parseWithDigits(text, end, kDecimalDigits, 10);
}
