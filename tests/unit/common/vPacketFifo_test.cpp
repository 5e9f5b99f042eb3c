#include "common/PacketTestSupport.h"
#include "vPacketFifoSequence.h"

#include <quillmark/vPacketFifo.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A queue destroyed with the test.
class FifoTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(fifo, 0u); }
    void TearDown() override {
        if (fifo != 0) {
            EXPECT_EQ(vPacketFifo_Destroy(&fifo), vErrNone);
        }
    }

    void put(uint8_t address, uint8_t tag) {
        PacketPtr packet = makePacket(address, {tag});
        ASSERT_EQ(vPacketFifo_Put(fifo, packet.get()), vErrNone);
    }

    // The tags of every packet left, oldest first, emptying the queue.
    std::vector<uint8_t> drainTags() {
        std::vector<uint8_t> tags;
        while (PacketPtr packet{vPacketFifo_Get(fifo)})
            tags.push_back(packet->data[0]);
        return tags;
    }

    uint64_t fifo = vPacketFifo_Create();
};

uint8_t acceptAll(const vPacket *, const void *) {
    return 1;
}

uint8_t acceptAddress(const vPacket *packet, const void *ref) {
    return packet->address == *static_cast<const uint8_t *>(ref);
}

// Accepts packets from one address and notes every packet it was shown.
struct ExaminationLog {
    uint8_t wanted;
    mutable std::vector<uint8_t> examinedTags;
};

uint8_t noteAndAcceptAddress(const vPacket *packet, const void *ref) {
    const auto *log = static_cast<const ExaminationLog *>(ref);
    log->examinedTags.push_back(packet->data[0]);
    return packet->address == log->wanted;
}

TEST_F(FifoTest, PacketsLeaveInPutOrderAsCopies) {
    PacketPtr first = makePacket(0x04, {1});
    ASSERT_EQ(vPacketFifo_Put(fifo, first.get()), vErrNone);
    put(0x04, 2);
    EXPECT_EQ(vPacketFifo_GetLength(fifo), 2u);

    PacketPtr out(vPacketFifo_Get(fifo));
    ASSERT_NE(out, nullptr);
    EXPECT_NE(out.get(), first.get());
    EXPECT_EQ(frameOf(*out), frameOf(*first));
    EXPECT_TRUE(vPacket_IsComplete(out.get()));
    EXPECT_EQ(drainTags(), (std::vector<uint8_t>{2}));
    EXPECT_EQ(vPacketFifo_Get(fifo), nullptr);
}

TEST_F(FifoTest, InvalidPacketsAreRefusedAndNothingIsQueued) {
    PacketPtr packet = makePacket(0x04, {1});
    packet->check = 0xBEEE;
    EXPECT_EQ(vPacketFifo_Put(fifo, packet.get()), vErrParam);
    packet->check = 0xBEEF;
    packet->dataSize = 29;
    EXPECT_EQ(vPacketFifo_Put(fifo, packet.get()), vErrParam);
    packet->dataSize = 1;
    EXPECT_EQ(vPacketFifo_Put(fifo, nullptr), vErrParam);
    EXPECT_EQ(vPacketFifo_GetLength(fifo), 0u);
}

TEST_F(FifoTest, AFullQueueDropsItsOldestPacket) {
    for (int i = 0; i < 1000; ++i)
        put(0x04, static_cast<uint8_t>(i));
    EXPECT_EQ(vPacketFifo_GetLength(fifo), 1000u);
    put(0x06, 0xEE);
    EXPECT_EQ(vPacketFifo_GetLength(fifo), 1000u);

    const std::vector<uint8_t> tags = drainTags();
    ASSERT_EQ(tags.size(), 1000u);
    EXPECT_EQ(tags.front(), 1);
    EXPECT_EQ(tags[998], static_cast<uint8_t>(999));
    EXPECT_EQ(tags.back(), 0xEE);
}

TEST_F(FifoTest, AwaitOnAnEmptyQueueTimesOut) {
    const auto start = Clock::now();
    EXPECT_EQ(vPacketFifo_Await(fifo, 50), nullptr);
    EXPECT_GE(Clock::now() - start, 50ms);
    EXPECT_EQ(vPacketFifo_Await(fifo, 0), nullptr);
}

TEST_F(FifoTest, AwaitReturnsAPacketPutMeanwhile) {
    std::thread producer([this] {
        std::this_thread::sleep_for(20ms);
        put(0x04, 7);
    });
    const auto start = Clock::now();
    PacketPtr packet(vPacketFifo_Await(fifo, 60000));
    producer.join();
    ASSERT_NE(packet, nullptr);
    EXPECT_EQ(packet->data[0], 7);
    EXPECT_LT(Clock::now() - start, 60s);
}

TEST_F(FifoTest, GetFirstTakesTheOldestAcceptedPacket) {
    put(0x04, 1);
    put(0x06, 2);
    put(0x06, 3);
    const uint8_t wanted = 0x06;
    PacketPtr packet(vPacketFifo_GetFirst(fifo, acceptAddress, &wanted));
    ASSERT_NE(packet, nullptr);
    EXPECT_EQ(packet->data[0], 2);
    const uint8_t absent = 0x08;
    EXPECT_EQ(vPacketFifo_GetFirst(fifo, acceptAddress, &absent), nullptr);
    EXPECT_EQ(drainTags(), (std::vector<uint8_t>{1, 3}));
}

TEST_F(FifoTest, AwaitFirstShowsTheFilterEachPacketOnce) {
    put(0x04, 1);
    put(0x04, 2);
    ExaminationLog log{0x06, {}};
    PacketPtr found;
    std::thread waiter(
        [&] { found.reset(vPacketFifo_AwaitFirst(fifo, noteAndAcceptAddress, &log, 60000)); });
    for (uint8_t tag = 3; tag <= 6; ++tag) {
        put(0x04, tag);
        std::this_thread::sleep_for(2ms);
    }
    put(0x06, 7);
    waiter.join();

    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->data[0], 7);
    EXPECT_EQ(log.examinedTags, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(drainTags(), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
}

TEST_F(FifoTest, AwaitFirstTimesOutWhenNothingMatches) {
    put(0x04, 1);
    const uint8_t wanted = 0x06;
    const auto start = Clock::now();
    EXPECT_EQ(vPacketFifo_AwaitFirst(fifo, acceptAddress, &wanted, 30), nullptr);
    EXPECT_GE(Clock::now() - start, 30ms);
    EXPECT_EQ(vPacketFifo_GetLength(fifo), 1u);
}

TEST_F(FifoTest, DrainFreesTheAcceptedAndKeepsTheOrderOfTheRest) {
    for (uint8_t tag = 1; tag <= 6; ++tag)
        put(tag % 2 ? 0x04 : 0x06, tag);
    const uint8_t wanted = 0x06;
    EXPECT_EQ(vPacketFifo_DrainPackets(fifo, acceptAddress, &wanted), 3u);
    EXPECT_EQ(vPacketFifo_GetLength(fifo), 3u);
    EXPECT_EQ(vPacketFifo_DrainPackets(fifo, acceptAll, nullptr), 3u);
    EXPECT_EQ(vPacketFifo_GetLength(fifo), 0u);

    for (uint8_t tag = 1; tag <= 4; ++tag)
        put(tag % 2 ? 0x04 : 0x06, tag);
    vPacketFifo_DrainPackets(fifo, acceptAddress, &wanted);
    EXPECT_EQ(drainTags(), (std::vector<uint8_t>{1, 3}));
}

TEST_F(FifoTest, MissingFiltersFindNothingAndRemoveNothing) {
    put(0x04, 1);
    EXPECT_EQ(vPacketFifo_GetFirst(fifo, nullptr, nullptr), nullptr);
    EXPECT_EQ(vPacketFifo_AwaitFirst(fifo, nullptr, nullptr, 10), nullptr);
    EXPECT_EQ(vPacketFifo_DrainPackets(fifo, nullptr, nullptr), 0u);
    EXPECT_EQ(vPacketFifo_GetLength(fifo), 1u);
}

TEST_F(FifoTest, DestroyWakesEveryWaiter) {
    std::atomic<int> returned{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&, handle = fifo] {
            EXPECT_EQ(vPacketFifo_Await(handle, 60000), nullptr);
            ++returned;
        });
        waiters.emplace_back([&, handle = fifo] {
            EXPECT_EQ(vPacketFifo_AwaitFirst(handle, acceptAll, nullptr, 60000), nullptr);
            ++returned;
        });
    }
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(returned, 0);
    EXPECT_EQ(vPacketFifo_Destroy(&fifo), vErrNone);
    EXPECT_EQ(fifo, 0u);
    for (auto &waiter : waiters)
        waiter.join();
    EXPECT_EQ(returned, 6);
    EXPECT_EQ(vPacketFifo_Destroy(&fifo), vErrNotFound);
}

TEST(FifoHandles, HandlesThatNameNoQueueDoNothing) {
    uint64_t handle = vPacketFifo_Create();
    const uint64_t stale = handle;
    ASSERT_EQ(vPacketFifo_Destroy(&handle), vErrNone);
    EXPECT_EQ(vPacketFifo_Destroy(nullptr), vErrParam);
    PacketPtr packet = makePacket(0x04, {1});
    for (uint64_t h : {stale, uint64_t{0}}) {
        EXPECT_EQ(vPacketFifo_Put(h, packet.get()), vErrParam);
        EXPECT_EQ(vPacketFifo_GetLength(h), 0u);
        EXPECT_EQ(vPacketFifo_Get(h), nullptr);
        EXPECT_EQ(vPacketFifo_Await(h, 10), nullptr);
        EXPECT_EQ(vPacketFifo_GetFirst(h, acceptAll, nullptr), nullptr);
        EXPECT_EQ(vPacketFifo_AwaitFirst(h, acceptAll, nullptr, 10), nullptr);
        EXPECT_EQ(vPacketFifo_DrainPackets(h, acceptAll, nullptr), 0u);
    }
}

TEST(FifoHandles, EveryQueueGetsAFreshNonZeroHandle) {
    std::vector<uint64_t> handles;
    for (int i = 0; i < 5; ++i)
        handles.push_back(vPacketFifo_Create());
    for (size_t i = 0; i < handles.size(); ++i) {
        EXPECT_NE(handles[i], 0u);
        if (i > 0) {
            EXPECT_GT(handles[i], handles[i - 1]);
        }
    }
    for (auto &handle : handles)
        EXPECT_EQ(vPacketFifo_Destroy(&handle), vErrNone);
}

TEST(FifoSequence, NewerIsDecidedAcrossTheWrap) {
    struct Case {
        uint32_t sequence;
        uint32_t than;
        bool newer;
    } cases[] = {
        {1, 0, true},          {0, 0, false},          {0, 1, false},
        {0, 0xFFFFFFFF, true}, {5, 0xFFFFFFF0, true},  {0xFFFFFFFF, 0, false},
        {0x7FFFFFFF, 0, true}, {0x80000000, 0, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(isNewerSequence(c.sequence, c.than), c.newer) << c.sequence << " " << c.than;
}

// Producer p puts kPerProducer packets from address 2 * (p + 1), numbered in data[0..1].
constexpr int kProducers = 4;
constexpr int kPerProducer = 200;

uint8_t producerAddress(int producer) {
    return static_cast<uint8_t>(2 * (producer + 1));
}

void produce(uint64_t fifo, int producer) {
    for (int n = 0; n < kPerProducer; ++n) {
        PacketPtr packet = makePacket(producerAddress(producer),
                                      {static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
        ASSERT_EQ(vPacketFifo_Put(fifo, packet.get()), vErrNone);
    }
}

int numberOf(const vPacket &packet) {
    return packet.data[0] << 8 | packet.data[1];
}

TEST_F(FifoTest, ConcurrentConsumersReceiveEveryPacketOnceInOrder) {
    constexpr int kConsumers = 3;
    std::atomic<int> received{0};
    std::vector<std::map<uint8_t, std::vector<int>>> seen(kConsumers);
    std::vector<std::thread> threads;
    for (int c = 0; c < kConsumers; ++c)
        threads.emplace_back([&, c] {
            while (received < kProducers * kPerProducer) {
                PacketPtr packet(vPacketFifo_Await(fifo, 10));
                if (packet == nullptr)
                    continue;
                seen[c][packet->address].push_back(numberOf(*packet));
                ++received;
            }
        });
    for (int p = 0; p < kProducers; ++p)
        threads.emplace_back(produce, fifo, p);
    for (auto &thread : threads)
        thread.join();

    for (int p = 0; p < kProducers; ++p) {
        std::vector<int> all;
        for (int c = 0; c < kConsumers; ++c) {
            const std::vector<int> &mine = seen[c][producerAddress(p)];
            EXPECT_TRUE(std::is_sorted(mine.begin(), mine.end())) << "consumer " << c;
            all.insert(all.end(), mine.begin(), mine.end());
        }
        std::sort(all.begin(), all.end());
        ASSERT_EQ(all.size(), static_cast<size_t>(kPerProducer)) << "producer " << p;
        for (int n = 0; n < kPerProducer; ++n)
            EXPECT_EQ(all[n], n);
    }
    EXPECT_EQ(vPacketFifo_GetLength(fifo), 0u);
}

TEST_F(FifoTest, FilteredWaitersEachReceiveTheirOwnPackets) {
    std::vector<std::vector<int>> seen(kProducers);
    std::vector<std::thread> threads;
    for (int p = 0; p < kProducers; ++p)
        threads.emplace_back([&, p] {
            const uint8_t wanted = producerAddress(p);
            int misses = 0;
            while (seen[p].size() < kPerProducer && misses < 100) {
                PacketPtr packet(vPacketFifo_AwaitFirst(fifo, acceptAddress, &wanted, 100));
                if (packet == nullptr) {
                    ++misses;
                    continue;
                }
                EXPECT_EQ(packet->address, wanted);
                seen[p].push_back(numberOf(*packet));
            }
        });
    for (int p = 0; p < kProducers; ++p)
        threads.emplace_back(produce, fifo, p);
    for (auto &thread : threads)
        thread.join();

    std::vector<int> expected(kPerProducer);
    for (int n = 0; n < kPerProducer; ++n)
        expected[n] = n;
    for (int p = 0; p < kProducers; ++p)
        EXPECT_EQ(seen[p], expected) << "producer " << p;
}

TEST(FifoConcurrency, DestroyRacingPutsAndWaitsLosesNothingElse) {
    for (int round = 0; round < 20; ++round) {
        uint64_t fifo = vPacketFifo_Create();
        const uint64_t handle = fifo;
        std::atomic<bool> stop{false};
        std::vector<std::thread> threads;
        for (int i = 0; i < 2; ++i) {
            threads.emplace_back([&] {
                PacketPtr packet = makePacket(0x04, {1});
                while (!stop) {
                    const vErr result = vPacketFifo_Put(handle, packet.get());
                    EXPECT_TRUE(result == vErrNone || result == vErrParam) << result;
                }
            });
            threads.emplace_back([&] {
                while (!stop)
                    PacketPtr(vPacketFifo_AwaitFirst(handle, acceptAll, nullptr, 5));
            });
        }
        std::this_thread::sleep_for(2ms);
        EXPECT_EQ(vPacketFifo_Destroy(&fifo), vErrNone);
        EXPECT_EQ(vPacketFifo_GetLength(handle), 0u);
        stop = true;
        for (auto &thread : threads)
            thread.join();
    }
}

} // namespace
