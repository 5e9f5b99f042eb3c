#include "Base64.h"

#include <array>

namespace {

constexpr int8_t kNotInAlphabet = -1;

constexpr std::array<int8_t, 256> makeDecodeTable() {
    std::array<int8_t, 256> table{};
    table.fill(kNotInAlphabet);
    constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int value = 0; value < 64; ++value) {
        table[static_cast<unsigned char>(kAlphabet[value])] = static_cast<int8_t>(value);
    }
    return table;
}

constexpr std::array<int8_t, 256> kDecodeTable = makeDecodeTable();

size_t paddingCount(const char *text, size_t length) {
    if (text[length - 1] != '=') {
        return 0;
    }
    return text[length - 2] == '=' ? 2 : 1;
}

// True when every character before the padding belongs to the alphabet.
bool holdsOnlyAlphabet(const char *text, size_t dataLength) {
    for (size_t i = 0; i < dataLength; ++i) {
        if (kDecodeTable[static_cast<unsigned char>(text[i])] == kNotInAlphabet) {
            return false;
        }
    }
    return true;
}

// Six bits per character; the padding counts as zero bits.
uint32_t groupBits(const char *group, size_t dataLeft) {
    uint32_t bits = 0;
    for (size_t i = 0; i < 4; ++i) {
        uint32_t value =
            i < dataLeft ? uint32_t(kDecodeTable[static_cast<unsigned char>(group[i])]) : 0;
        bits = bits << 6 | value;
    }
    return bits;
}

} // namespace

std::unique_ptr<uint8_t[]> base64Decode(const char *text, size_t length, size_t &outLength) {
    if (length % 4 != 0 || (text == nullptr && length != 0)) {
        return nullptr;
    }
    size_t padding = length == 0 ? 0 : paddingCount(text, length);
    size_t dataLength = length - padding;
    if (!holdsOnlyAlphabet(text, dataLength)) {
        return nullptr;
    }
    size_t decodedLength = length / 4 * 3 - padding;
    auto bytes = std::make_unique<uint8_t[]>(decodedLength + 1);
    size_t written = 0;
    for (size_t group = 0; group < length; group += 4) {
        uint32_t bits = groupBits(text + group, dataLength - group);
        for (int shift = 16; shift >= 0 && written < decodedLength; shift -= 8) {
            bytes[written++] = static_cast<uint8_t>(bits >> shift);
        }
    }
    bytes[decodedLength] = 0;
    outLength = decodedLength;
    return bytes;
}
