#include "NumberParsing.h"

#include <gtest/gtest.h>

TEST(NumberParsing, HexAndDecimalTable) {
    struct Case {
        bool hex;
        const char *text;
        uint32_t value;
        bool converted; // end set to the terminator
    } cases[] = {
        {true, "40F5849A", 0x40F5849A, true},
        {true, "40f5849a", 0x40F5849A, true},
        {true, "0", 0, true},
        {true, "", 0, true},
        {true, "FFFFFFFF", 0xFFFFFFFF, true},
        {true, "100000000", 0xFFFFFFFF, true},
        {true, "123456789ABCDEF0123", 0xFFFFFFFF, true},
        {true, "0x12", 0, false},
        {true, "12G", 0, false},
        {true, "-1", 0, false},
        {true, " 1", 0, false},
        {false, "115200", 115200, true},
        {false, "4294967295", 4294967295u, true},
        {false, "4294967296", 0xFFFFFFFF, true},
        {false, "99999999999999999999", 0xFFFFFFFF, true},
        {false, "12ab", 0, false},
        {false, "A", 0, false},
        {false, "+5", 0, false},
    };
    for (const auto &c : cases) {
        const char *end = nullptr;
        uint32_t value = c.hex ? parseHexSerial(c.text, &end) : parseDecimal(c.text, &end);
        EXPECT_EQ(value, c.value) << c.text;
        if (c.converted) {
            EXPECT_EQ(end, c.text + std::char_traits<char>::length(c.text)) << c.text;
        } else {
            EXPECT_EQ(end, nullptr) << c.text;
        }
    }
}

TEST(NumberParsing, NullEndOrTextGivesZero) {
    EXPECT_EQ(parseHexSerial("FF", nullptr), 0u);
    EXPECT_EQ(parseDecimal("12", nullptr), 0u);
    const char *end = nullptr;
    EXPECT_EQ(parseHexSerial(nullptr, &end), 0u);
    EXPECT_EQ(end, nullptr);
}
