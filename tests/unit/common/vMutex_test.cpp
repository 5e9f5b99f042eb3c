#include <gtest/gtest.h>
#include <quillmark/vMutex.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

// Runs body on another thread and waits for it.
template <typename Body> void onOtherThread(Body body) {
    std::thread(body).join();
}

} // namespace

TEST(Mutex, NamesUpTo255CharactersAreKept) {
    std::string longest(255, 'n');
    vMutexHandle mutex = vMutex_Create(longest.c_str());
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(vMutex_Identifier(mutex), longest);
    EXPECT_EQ(vMutex_Destroy(&mutex), vErrNone);
    EXPECT_EQ(mutex, nullptr);
    EXPECT_EQ(vMutex_Create(std::string(256, 'n').c_str()), nullptr);
}

TEST(Mutex, NullNameIsEmpty) {
    vMutexHandle mutex = vMutex_Create(nullptr);
    ASSERT_NE(mutex, nullptr);
    EXPECT_STREQ(vMutex_Identifier(mutex), "");
    vMutex_Destroy(&mutex);
}

TEST(Mutex, NullMutexIsRefused) {
    vMutexHandle none = nullptr;
    EXPECT_EQ(vMutex_Lock(none), vErrParam);
    EXPECT_EQ(vMutex_TryLock(none), vErrParam);
    EXPECT_EQ(vMutex_Unlock(none), vErrParam);
    EXPECT_EQ(vMutex_Destroy(&none), vErrParam);
    EXPECT_EQ(vMutex_Destroy(nullptr), vErrParam);
}

TEST(Mutex, HolderMayLockAgainAndOthersWaitForTheLastUnlock) {
    vMutexHandle mutex = vMutex_Create("re-entrant");
    ASSERT_EQ(vMutex_Lock(mutex), vErrNone);
    ASSERT_EQ(vMutex_TryLock(mutex), vErrNone);
    onOtherThread([mutex] { EXPECT_EQ(vMutex_TryLock(mutex), vErrBusy); });
    ASSERT_EQ(vMutex_Unlock(mutex), vErrNone);
    onOtherThread([mutex] { EXPECT_EQ(vMutex_TryLock(mutex), vErrBusy); });
    ASSERT_EQ(vMutex_Unlock(mutex), vErrNone);
    onOtherThread([mutex] {
        EXPECT_EQ(vMutex_TryLock(mutex), vErrNone);
        EXPECT_EQ(vMutex_Unlock(mutex), vErrNone);
    });
    vMutex_Destroy(&mutex);
}

TEST(Mutex, UnlockByANonHolderIsRefused) {
    vMutexHandle mutex = vMutex_Create("owned");
    EXPECT_EQ(vMutex_Unlock(mutex), vErrPermission);
    ASSERT_EQ(vMutex_Lock(mutex), vErrNone);
    onOtherThread([mutex] { EXPECT_EQ(vMutex_Unlock(mutex), vErrPermission); });
    EXPECT_EQ(vMutex_Unlock(mutex), vErrNone);
    vMutex_Destroy(&mutex);
}

TEST(Mutex, DestroyWhileAnotherThreadHoldsItIsRefused) {
    vMutexHandle mutex = vMutex_Create("busy");
    std::atomic<bool> held{false};
    std::atomic<bool> release{false};
    std::thread holder([&] {
        vMutex_Lock(mutex);
        held = true;
        while (!release) {
            std::this_thread::yield();
        }
        vMutex_Unlock(mutex);
    });
    while (!held) {
        std::this_thread::yield();
    }
    EXPECT_EQ(vMutex_Destroy(&mutex), vErrBusy);
    ASSERT_NE(mutex, nullptr);
    EXPECT_STREQ(vMutex_Identifier(mutex), "busy");
    release = true;
    holder.join();
    EXPECT_EQ(vMutex_Lock(mutex), vErrNone) << "the refused destroy must leave it usable";
    EXPECT_EQ(vMutex_Unlock(mutex), vErrNone);
    EXPECT_EQ(vMutex_Destroy(&mutex), vErrNone);
}

TEST(Mutex, LockSerialisesThreads) {
    vMutexHandle mutex = vMutex_Create("counter");
    long counter = 0; // guarded only by the mutex under test
    constexpr int kThreads = 4;
    constexpr int kRounds = 2000;
    std::thread workers[kThreads];
    for (auto &worker : workers) {
        worker = std::thread([&] {
            for (int i = 0; i < kRounds; ++i) {
                vMutex_Lock(mutex);
                vMutex_Lock(mutex);
                ++counter;
                vMutex_Unlock(mutex);
                vMutex_Unlock(mutex);
            }
        });
    }
    for (auto &worker : workers) {
        worker.join();
    }
    EXPECT_EQ(counter, kThreads * kRounds);
    vMutex_Destroy(&mutex);
}
