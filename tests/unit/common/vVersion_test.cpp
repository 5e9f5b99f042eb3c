#include <quillmark/vVersion.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct PackCase {
    uint8_t major, minor, patch;
    uint32_t word;
};

struct ParseCase {
    uint32_t word;
    bool legacy;
    uint8_t major, minor;
    uint32_t patch;
};

} // namespace

TEST(vVersion, PackChoosesTheLayoutFromMajorAndMinor) {
    const PackCase cases[] = {
        {2, 11, 1, 0x2B000001},      {2, 15, 0, 0x2F020F00}, {3, 0, 5, 0x2F030005},
        {2, 14, 255, 0x2E0000FF},    {1, 20, 7, 0x14000007}, {0, 0, 0, 0x00000000},
        {255, 255, 255, 0x2FFFFFFF},
    };
    for (const PackCase &c : cases) {
        EXPECT_EQ(vVersion_Pack(c.major, c.minor, c.patch), c.word)
            << int(c.major) << "." << int(c.minor) << "." << int(c.patch);
    }
}

TEST(vVersion, ParseAppliesTheLayoutRule) {
    const ParseCase cases[] = {
        {0x2B000001, true, 2, 11, 1},        {0x2E123456, true, 2, 14, 0x123456},
        {0x2F010203, false, 1, 2, 3},        {0x31020304, false, 2, 3, 4},
        {0x1FFFFFFF, true, 1, 15, 16777215}, {0x20000000, true, 2, 0, 0},
        {0x14000007, true, 1, 4, 7},         {0xFF0A0B0C, false, 10, 11, 12},
    };
    for (const ParseCase &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.word);
        EXPECT_EQ(vVersion_IsLegacyFormat(c.word), c.legacy);
        EXPECT_EQ(vVersion_ParseMajor(c.word), c.major);
        EXPECT_EQ(vVersion_ParseMinor(c.word), c.minor);
        EXPECT_EQ(vVersion_ParsePatch(c.word), c.patch);
    }
}

TEST(vVersion, PackedWordsParseBackAndPrint) {
    char text[32];
    uint32_t word = vVersion_Pack(2, 11, 1);
    EXPECT_EQ(vVersion_ParseString(word, text, sizeof text), 6);
    EXPECT_STREQ(text, "2.11.1");
    EXPECT_EQ(vVersion_ParseString(0x2E123456, text, sizeof text), 12);
    EXPECT_STREQ(text, "2.14.1193046");
}

TEST(vVersion, ParseStringRefusesABufferTooSmall) {
    char text[6];
    EXPECT_EQ(vVersion_ParseString(vVersion_Pack(2, 11, 1), text, sizeof text), -1);
    EXPECT_EQ(vVersion_ParseString(vVersion_Pack(2, 11, 1), text, 0), -1);
    EXPECT_EQ(vVersion_ParseString(vVersion_Pack(2, 11, 1), nullptr, 32), -1);
    char exact[7];
    EXPECT_EQ(vVersion_ParseString(vVersion_Pack(2, 11, 1), exact, sizeof exact), 6);
}

TEST(vVersion, LibraryVersion) {
    EXPECT_EQ(vVersion_GetMajor(), 2);
    EXPECT_EQ(vVersion_GetMinor(), 11);
    EXPECT_EQ(vVersion_GetPatch(), 1);
    EXPECT_STREQ(vVersion_GetString(), "2.11.1");
    EXPECT_EQ(vVersion_GetString(), vVersion_GetString());
}

TEST(vVersion, IsAtLeastComparesWithTheLibraryVersion) {
    EXPECT_TRUE(vVersion_IsAtLeast(2, 11, 1));
    EXPECT_TRUE(vVersion_IsAtLeast(2, 10, 255));
    EXPECT_TRUE(vVersion_IsAtLeast(1, 255, 255));
    EXPECT_FALSE(vVersion_IsAtLeast(2, 11, 2));
    EXPECT_FALSE(vVersion_IsAtLeast(2, 12, 0));
    EXPECT_FALSE(vVersion_IsAtLeast(3, 0, 0));
}

TEST(vVersion, IsAtLeastCompareOrdersMajorMinorPatch) {
    EXPECT_TRUE(vVersion_IsAtLeastCompare(1, 2, 3, 1, 2, 3));
    EXPECT_FALSE(vVersion_IsAtLeastCompare(1, 2, 3, 1, 3, 0));
    EXPECT_TRUE(vVersion_IsAtLeastCompare(2, 0, 0, 1, 255, 255));
    EXPECT_TRUE(vVersion_IsAtLeastCompare(1, 3, 0, 1, 2, 255));
    EXPECT_FALSE(vVersion_IsAtLeastCompare(1, 2, 3, 1, 2, 4));
}

TEST(vVersion, FeaturesAreMatchedExactly) {
    EXPECT_TRUE(vVersion_HasFeature("VERSION"));
    EXPECT_FALSE(vVersion_HasFeature("version"));
    EXPECT_FALSE(vVersion_HasFeature("VERSIONS"));
    EXPECT_FALSE(vVersion_HasFeature(""));
    EXPECT_FALSE(vVersion_HasFeature(nullptr));
}

TEST(vVersion, FeatureListIsOwnedByTheCaller) {
    char *list = vVersion_GetFeatureList();
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list, "VERSION - Version Query API");
    vVersion_DestroyFeatureList(&list);
    EXPECT_EQ(list, nullptr);
    vVersion_DestroyFeatureList(&list);
    vVersion_DestroyFeatureList(nullptr);
}
