#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <quillmark/vLogger.h>
#include <quillmark/vTime.h>

#include <atomic>
#include <string>

namespace {

std::atomic<int> callbackRuns{0};
std::atomic<uint32_t> seenUser{0};

// Writes one line per call and paces itself, as a real logger callback waits for work.
void writeOneLine(vFileHandle file, uint32_t user) {
    seenUser = user;
    vFile_Printf(file, "line %d\n", callbackRuns.fetch_add(1));
    vTime_MSSleep(1);
}

void waitForRuns(int count) {
    for (int i = 0; i < 5000 && callbackRuns < count; ++i) {
        vTime_MSSleep(1);
    }
}

class LoggerTest : public ::testing::Test {
  protected:
    TemporaryDirectory directory;
    void SetUp() override { callbackRuns = 0; }
};

} // namespace

TEST_F(LoggerTest, WorkerAppendsWhileEnabled) {
    std::string path = directory.file("log");
    writeWholeFile(path, "earlier\n");
    vLoggerHandle logger = vLogger_Create(0x1234, writeOneLine, path.c_str());
    ASSERT_NE(logger, nullptr);
    vTime_MSSleep(5);
    EXPECT_EQ(callbackRuns, 0) << "a new logger starts stopped";
    ASSERT_EQ(vLogger_Enable(logger), vErrNone);
    EXPECT_EQ(vLogger_Enable(logger), vErrNone);
    waitForRuns(3);
    EXPECT_EQ(vLogger_Disable(logger), vErrNone);
    int runs = callbackRuns;
    EXPECT_GE(runs, 3);
    EXPECT_EQ(seenUser, 0x1234u);
    vTime_MSSleep(5);
    EXPECT_EQ(callbackRuns, runs) << "disable waits for the worker to end";
    EXPECT_EQ(vLogger_Disable(logger), vErrNone);
    EXPECT_EQ(vLogger_Destroy(&logger), vErrNone);
    EXPECT_EQ(logger, nullptr);

    std::string content = readWholeFile(path);
    EXPECT_EQ(content.rfind("earlier\nline 0\nline 1\nline 2\n", 0), 0u) << content;
}

TEST_F(LoggerTest, DestroyStopsARunningWorker) {
    vLoggerHandle logger = vLogger_Create(0, writeOneLine, directory.file("log").c_str());
    ASSERT_EQ(vLogger_Enable(logger), vErrNone);
    waitForRuns(1);
    EXPECT_EQ(vLogger_Destroy(&logger), vErrNone);
    EXPECT_EQ(logger, nullptr);
    int runs = callbackRuns;
    vTime_MSSleep(5);
    EXPECT_EQ(callbackRuns, runs);
}

TEST_F(LoggerTest, LoggerCanBeEnabledAgain) {
    vLoggerHandle logger = vLogger_Create(0, writeOneLine, directory.file("log").c_str());
    ASSERT_EQ(vLogger_Enable(logger), vErrNone);
    waitForRuns(1);
    ASSERT_EQ(vLogger_Disable(logger), vErrNone);
    int runs = callbackRuns;
    ASSERT_EQ(vLogger_Enable(logger), vErrNone);
    waitForRuns(runs + 1);
    EXPECT_GT(callbackRuns, runs);
    EXPECT_EQ(vLogger_Destroy(&logger), vErrNone);
}

TEST_F(LoggerTest, CreationFailsWithoutAFileOrCallback) {
    EXPECT_EQ(vLogger_Create(0, writeOneLine, directory.file("no/such/log").c_str()), nullptr);
    EXPECT_EQ(vLogger_Create(0, writeOneLine, directory.path().c_str()), nullptr);
    EXPECT_EQ(vLogger_Create(0, nullptr, directory.file("log").c_str()), nullptr);
}

TEST_F(LoggerTest, BadHandles) {
    vLoggerHandle none = nullptr;
    EXPECT_EQ(vLogger_Enable(none), vErrParam);
    EXPECT_EQ(vLogger_Disable(none), vErrParam);
    EXPECT_EQ(vLogger_Destroy(&none), vErrNone);
    EXPECT_EQ(vLogger_Destroy(nullptr), vErrNone);
}
