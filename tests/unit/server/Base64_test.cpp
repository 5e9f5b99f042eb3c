#include "Base64.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct DecodeCase {
    std::string text;
    std::string bytes;
};

std::string decodeToString(const std::string &text, bool &decoded) {
    size_t length = 12345;
    std::unique_ptr<uint8_t[]> bytes = base64Decode(text.data(), text.size(), length);
    decoded = bytes != nullptr;
    if (!bytes) {
        return {};
    }
    EXPECT_EQ(bytes[length], 0) << "missing terminating zero for " << text;
    return std::string(reinterpret_cast<const char *>(bytes.get()), length);
}

} // namespace

TEST(Base64, DecodesStandardTextWithPadding) {
    const DecodeCase cases[] = {
        {"", ""},
        {"QUJD", "ABC"},
        {"Zg==", "f"},
        {"Zm8=", "fo"},
        {"Zm9v", "foo"},
        {"Zm9vYg==", "foob"},
        {"Zm9vYmE=", "fooba"},
        {"Zm9vYmFy", "foobar"},
        {"+/8=", "\xFB\xFF"},
        {"AP8A", std::string("\x00\xFF\x00", 3)},
    };
    for (const DecodeCase &c : cases) {
        bool decoded = false;
        EXPECT_EQ(decodeToString(c.text, decoded), c.bytes) << c.text;
        EXPECT_TRUE(decoded) << c.text;
    }
}

TEST(Base64, RefusesTextThatIsNotCleanBase64) {
    const std::string refused[] = {
        "QUJDQUJDQU", // not a multiple of 4
        "QUJ!",       // outside the alphabet
        "QU=D",       // padding in the middle of a group
        "Q===",       // three padding characters
        "=QUJ",       // padding first
        "QUJDQUJ\r",  // a carriage return left on the line
        "QU I",       // a space
        "QUJD====",   // a group of padding only
        "QQ==QUJD",   // padding before the last group
        "\xC3\xA9QQ", // bytes above 127
        std::string("QU\0D", 4),
    };
    for (const std::string &text : refused) {
        bool decoded = true;
        decodeToString(text, decoded);
        EXPECT_FALSE(decoded) << text;
    }
}

TEST(Base64, RefusesAMissingText) {
    size_t length = 0;
    EXPECT_EQ(base64Decode(nullptr, 4, length), nullptr);
}

TEST(Base64, DecodesEveryByteValue) {
    std::string bytes;
    for (int value = 0; value < 256; ++value) {
        bytes += static_cast<char>(value);
    }
    // The 256 byte values 0..255 in order, as encoded by any standard encoder.
    const std::string text =
        "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4OTo7PD0+P0BB"
        "QkNERUZHSElKS0xNTk9QUVJTVFVWV1hZWltcXV5fYGFiY2RlZmdoaWprbG1ub3BxcnN0dXZ3eHl6e3x9fn+AgYKD"
        "hIWGh4iJiouMjY6PkJGSk5SVlpeYmZqbnJ2en6ChoqOkpaanqKmqq6ytrq+wsbKztLW2t7i5uru8vb6/wMHCw8TF"
        "xsfIycrLzM3Oz9DR0tPU1dbX2Nna29zd3t/g4eLj5OXm5+jp6uvs7e7v8PHy8/T19vf4+fr7/P3+/w==";
    bool decoded = false;
    EXPECT_EQ(decodeToString(text, decoded), bytes);
    EXPECT_TRUE(decoded);
}
