#include "Messages.h"
#include "support/RecordingDisplay.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// A debug stream that records each write it receives separately.
class WriteRecorder {
  public:
    WriteRecorder() {
        cookie_io_functions_t functions{};
        functions.write = [](void *self, const char *bytes, size_t size) -> ssize_t {
            static_cast<WriteRecorder *>(self)->writes.emplace_back(bytes, size);
            return static_cast<ssize_t>(size);
        };
        stream_ = fopencookie(this, "w", functions);
        std::setvbuf(stream_, nullptr, _IONBF, 0);
        setDebugStream(stream_);
    }
    ~WriteRecorder() {
        setDebugStream(nullptr);
        std::fclose(stream_);
    }
    std::vector<std::string> writes;

  private:
    std::FILE *stream_;
};

} // namespace

TEST(DisplayMessage, LevelOneIsAnErrorEveryOtherLevelAMessage) {
    RecordingDisplay display;
    displayMessage(&display, 1, "failed %d", 7);
    displayMessage(&display, 0, "fine %s", "here");
    displayMessage(&display, 2, "also fine");
    EXPECT_EQ(display.errors, (std::vector<std::string>{"failed 7"}));
    EXPECT_EQ(display.messages, (std::vector<std::string>{"fine here", "also fine"}));
}

TEST(DisplayMessage, LongTextIsCutTo2047Characters) {
    RecordingDisplay display;
    std::string longText(5000, 'x');
    displayMessage(&display, 0, "%s", longText.c_str());
    ASSERT_EQ(display.messages.size(), 1u);
    EXPECT_EQ(display.messages[0], std::string(2047, 'x'));
}

TEST(DisplayMessage, SilentDisplayGetsNothingButStillDraws) {
    RecordingDisplay display;
    display.setSilent(true);
    displayMessage(&display, 0, "hidden");
    displayMessage(&display, 1, "hidden");
    display.showProgress(0.5, nullptr);
    EXPECT_TRUE(display.messages.empty());
    EXPECT_TRUE(display.errors.empty());
    EXPECT_EQ(display.events, (std::vector<std::string>{"progress"}));
    display.setSilent(false);
    displayMessage(&display, 0, "shown");
    EXPECT_EQ(display.messages, (std::vector<std::string>{"shown"}));
    displayMessage(nullptr, 0, "no display");
}

TEST(DebugPrint, WritesOnlyUnderItsMaskInOneWrite) {
    WriteRecorder recorder;
    setDebugMask(DEBUG_BirdFile);
    debugPrint(DEBUG_BirdFile, "BIRDFILE: %d objects\n", 3);
    debugPrint(DEBUG_ServerComm, "ServerCommClass: hidden\n");
    debugPrint(0, "always %s\n", "written");
    EXPECT_EQ(recorder.writes,
              (std::vector<std::string>{"BIRDFILE: 3 objects\n", "always written\n"}));
}

TEST(DebugPrint, MasksAccumulate) {
    WriteRecorder recorder;
    setDebugMask(0x1);
    setDebugMask(0x4);
    EXPECT_EQ(debugMask() & 0x5u, 0x5u);
    debugPrint(0x1, "one");
    debugPrint(0x4, "four");
    debugPrint(0x1 | 0x2, "either");
    EXPECT_EQ(recorder.writes, (std::vector<std::string>{"one", "four", "either"}));
}

TEST(DebugPrint, LongTextIsCutNotSplit) {
    WriteRecorder recorder;
    std::string longText(3000, 'd');
    debugPrint(0, "%s\n", longText.c_str());
    ASSERT_EQ(recorder.writes.size(), 1u);
    EXPECT_EQ(recorder.writes[0], std::string(2047, 'd'));
}

TEST(DebugPrint, NoStreamMeansNoOutput) {
    setDebugStream(nullptr);
    debugPrint(0, "goes nowhere\n");
}
