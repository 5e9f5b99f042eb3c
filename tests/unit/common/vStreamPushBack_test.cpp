#include "vStreamPushBack.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string drain(vStreamPushBack &ring) {
    std::string out;
    uint8_t byte = 0;
    while (ring.take(&byte)) {
        out.push_back(static_cast<char>(byte));
    }
    return out;
}

const uint8_t *bytesOf(const std::string &text) {
    return reinterpret_cast<const uint8_t *>(text.data());
}

TEST(StreamPushBack, StartsEmptyWithoutStorage) {
    vStreamPushBack ring;
    uint8_t byte = 0;
    EXPECT_FALSE(ring.take(&byte));
    EXPECT_EQ(ring.capacity(), 0u);
}

TEST(StreamPushBack, TheByteThatWouldFillTheRingGrowsItBy512InOrder) {
    vStreamPushBack ring;
    std::string first(511, 'a');
    for (size_t i = 0; i < first.size(); ++i) {
        first[i] = static_cast<char>('a' + i % 26);
    }
    ASSERT_TRUE(ring.append(bytesOf(first), 511));
    EXPECT_EQ(ring.capacity(), 512u);
    ASSERT_TRUE(ring.append(bytesOf("Z"), 1));
    EXPECT_EQ(ring.capacity(), 1024u);
    EXPECT_EQ(ring.count(), 512u);
    EXPECT_EQ(drain(ring), first + "Z");
}

TEST(StreamPushBack, GrowingAWrappedRingKeepsTheOldestFirst) {
    vStreamPushBack ring;
    std::string filler(400, 'f');
    ASSERT_TRUE(ring.append(bytesOf(filler), 400));
    uint8_t byte = 0;
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(ring.take(&byte));
    }
    std::string wrapped(400, 'w');
    ASSERT_TRUE(ring.append(bytesOf(wrapped), 400)); // wraps past the end of 512
    EXPECT_EQ(ring.capacity(), 512u);
    std::string tail(20, 't');
    ASSERT_TRUE(ring.append(bytesOf(tail), 20));
    EXPECT_EQ(ring.capacity(), 1024u);
    EXPECT_EQ(drain(ring), std::string(100, 'f') + wrapped + tail);
}

TEST(StreamPushBack, PrependedBytesComeFirst) {
    vStreamPushBack ring;
    ASSERT_TRUE(ring.append(bytesOf("cd"), 2));
    ASSERT_TRUE(ring.prepend(bytesOf("ab"), 2));
    EXPECT_EQ(drain(ring), "abcd");
}

} // namespace
