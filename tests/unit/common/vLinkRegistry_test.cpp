#include "vLinkRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <set>
#include <thread>
#include <vector>

namespace {

// Every entry a test creates is extracted again, so tests do not see each other's links.
class RegistryTest : public ::testing::Test {
  protected:
    void TearDown() override {
        for (int32_t id : created)
            sExtractEntry(id);
    }

    int32_t create(uint32_t key, uint32_t port = 0, linkType transport = linkTypeUSB) {
        const int32_t id = sCreate2(key, port, 0, transport, nullptr);
        created.push_back(id);
        return id;
    }

    std::vector<int32_t> created;
};

TEST(RegistryFirstId, TheFirstIdOfAProcessIsOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(sCreate2(0x1234, 0, 0, linkTypeUSB, nullptr) == 1 ? 0 : 1),
                ::testing::ExitedWithCode(0), "");
}

TEST_F(RegistryTest, EntriesHoldWhatTheyWereOpenedFor) {
    auto *record = reinterpret_cast<vLinkRecord *>(0x1000);
    const int32_t id = sCreate2(0xC0A80001, 8080, 3, linkTypeVEther, record);
    created.push_back(id);
    ASSERT_GT(id, 0);
    vLinkEntryRef entry = sLookupEntryByID(id);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->id, id);
    EXPECT_EQ(entry->key, 0xC0A80001u);
    EXPECT_EQ(entry->port, 8080u);
    EXPECT_EQ(entry->clientSequence, 3u);
    EXPECT_EQ(entry->transport, linkTypeVEther);
    EXPECT_EQ(entry->link, record);
    EXPECT_EQ(entry->useCount, 0);
    EXPECT_EQ(entry->pairedId, 0);
    EXPECT_EQ(entry->server, nullptr);
}

TEST_F(RegistryTest, IdsKeepIncreasingAndAreNeverReused) {
    const int32_t first = create(0x11111111);
    ASSERT_NE(sExtractEntry(first), nullptr);
    const int32_t second = create(0x11111111);
    const int32_t third = create(0x22222222);
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(third, second + 1);
    EXPECT_EQ(sLookupEntryByID(first), nullptr);
}

TEST_F(RegistryTest, KeyLookupFindsTheNewestEntryWhateverThePort) {
    const int32_t older = create(0x7F000001, 5000, linkTypeTCPIP);
    const int32_t newer = create(0x7F000001, 6000, linkTypeTCPIP);
    vLinkEntryRef found = sLookupEntryByKey(0x7F000001);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->id, newer);
    sExtractEntry(newer);
    found = sLookupEntryByKey(0x7F000001);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->id, older);
    EXPECT_EQ(sLookupEntryByKey(0x7F000002), nullptr);
}

TEST_F(RegistryTest, ExtractingAnAbsentIdChangesNothing) {
    const int32_t id = create(0x33333333);
    EXPECT_EQ(sExtractEntry(id + 1000), nullptr);
    EXPECT_EQ(sExtractEntry(0), nullptr);
    EXPECT_NE(sLookupEntryByID(id), nullptr);

    vLinkEntryRef extracted = sExtractEntry(id);
    ASSERT_NE(extracted, nullptr);
    EXPECT_EQ(extracted->id, id);
    EXPECT_EQ(sExtractEntry(id), nullptr);
    EXPECT_EQ(sLookupEntryByKey(0x33333333), nullptr);
}

TEST_F(RegistryTest, UseCountsTellTheLastUser) {
    vLinkEntryRef entry = sLookupEntryByID(create(0x44444444));
    EXPECT_EQ(sChangeUseCount(entry, +1), 1);
    EXPECT_EQ(sChangeUseCount(entry, +1), 2);
    EXPECT_EQ(sChangeUseCount(entry, -1), 1);
    EXPECT_EQ(entry->useCount, 1);
    EXPECT_EQ(sChangeUseCount(entry, -1), 0);
    EXPECT_EQ(sChangeUseCount(nullptr, +1), 0);
}

TEST_F(RegistryTest, AnExtractedEntryStaysUsableByWhoeverHoldsIt) {
    const int32_t id = create(0x55555555);
    vLinkEntryRef held = sLookupEntryByID(id);
    sExtractEntry(id);
    EXPECT_EQ(held->id, id);
    EXPECT_EQ(sChangeUseCount(held, +1), 1);
}

TEST_F(RegistryTest, ConcurrentCreatorsGetDistinctIncreasingIds) {
    constexpr int kThreads = 4;
    constexpr int kPerThread = 100;
    std::vector<std::vector<int32_t>> ids(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int n = 0; n < kPerThread; ++n) {
                ids[t].push_back(sCreate2(0x66660000 + t, 0, 0, linkTypeUSB, nullptr));
                EXPECT_NE(sLookupEntryByKey(0x66660000 + t), nullptr);
            }
        });
    for (auto &thread : threads)
        thread.join();

    std::set<int32_t> all;
    for (const auto &mine : ids) {
        EXPECT_TRUE(std::is_sorted(mine.begin(), mine.end()));
        all.insert(mine.begin(), mine.end());
        created.insert(created.end(), mine.begin(), mine.end());
    }
    EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kPerThread));
    EXPECT_EQ(all.count(0), 0u);
}

TEST_F(RegistryTest, ConcurrentUsersKeepTheCountExact) {
    vLinkEntryRef entry = sLookupEntryByID(create(0x77777777));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int n = 0; n < 1000; ++n) {
                sChangeUseCount(sLookupEntryByKey(0x77777777), +1);
                sChangeUseCount(entry, -1);
            }
        });
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(sChangeUseCount(entry, 0), 0);
}

TEST_F(RegistryTest, OnlyOneOfManyConcurrentExtractionsGetsTheEntry) {
    for (int round = 0; round < 50; ++round) {
        const int32_t id = create(0x88888888);
        std::atomic<int> winners{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&] {
                if (sExtractEntry(id) != nullptr)
                    ++winners;
            });
        for (auto &thread : threads)
            thread.join();
        EXPECT_EQ(winners, 1);
    }
}

} // namespace
