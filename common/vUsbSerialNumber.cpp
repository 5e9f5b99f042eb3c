#include "vUsbSerialNumber.h"

#include <cstring>

namespace {

bool parseDigits(const char *text, size_t length, uint32_t base, uint32_t *value) {
    if (length == 0) {
        return false;
    }
    uint64_t result = 0;
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint32_t>(c - '0');
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = static_cast<uint32_t>(c - 'A' + 10);
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = static_cast<uint32_t>(c - 'a' + 10);
        } else {
            return false;
        }
        result = result * base + digit;
        if (result > 0xFFFFFFFFu) {
            return false;
        }
    }
    *value = static_cast<uint32_t>(result);
    return true;
}

} // namespace

bool vUsbSerialNumber_Parse(const char *text, uint32_t *serialNumber) {
    static const char kPrefix[] = "RFICB";
    static const char kSuffix[] = ".A";
    if (text == nullptr || serialNumber == nullptr) {
        return false;
    }
    size_t length = std::strlen(text);
    size_t prefix = sizeof kPrefix - 1;
    size_t suffix = sizeof kSuffix - 1;
    if (length > prefix + suffix && std::strncmp(text, kPrefix, prefix) == 0 &&
        std::strcmp(text + length - suffix, kSuffix) == 0) {
        return parseDigits(text + prefix, length - prefix - suffix, 10, serialNumber);
    }
    return length <= 8 && parseDigits(text, length, 16, serialNumber);
}
