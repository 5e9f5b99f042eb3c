#include "CLI_Display.h"
#include "support/StdoutCapture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string bar(int equals, int spaces, const char *percent) {
    return "\r[" + std::string(equals, '=') + ">" + std::string(spaces, ' ') + "] (" + percent +
           "% ) ";
}

const std::string kClearing = "\r" + std::string(88, ' ') + "\r";

} // namespace

TEST(CLIDisplay, ProgressBarOnATerminal) {
    struct Case {
        double fraction;
        std::string expected;
    } cases[] = {
        {0.0, bar(0, 68, "  0")},
        {0.5, bar(34, 34, " 50")},
        {0.999, bar(68, 0, " 99")},
        {1.0, bar(69, 1, "100")},
    };
    CLI_Display display;
    for (const auto &c : cases) {
        std::string drawn = captureStdout(true, [&] { display.showProgress(c.fraction, nullptr); });
        EXPECT_EQ(drawn, c.expected) << c.fraction;
    }
}

TEST(CLIDisplay, LabelledProgressBarIsNarrowerByTheLabel) {
    CLI_Display display;
    std::string drawn = captureStdout(true, [&] { display.showProgress(0.5, "Loader"); });
    // 65 - 6 = 59 columns, 29 of them filled.
    EXPECT_EQ(drawn,
              "\r (Loader) [" + std::string(29, '=') + ">" + std::string(29, ' ') + "] ( 50% ) ");
}

TEST(CLIDisplay, ProgressOutsideItsRangeStaysInsideTheBar) {
    CLI_Display display;
    std::string below = captureStdout(true, [&] { display.showProgress(-0.5, nullptr); });
    EXPECT_EQ(below, bar(0, 68, "  0"));
    std::string above = captureStdout(true, [&] { display.showProgress(3.0, nullptr); });
    EXPECT_EQ(above, bar(69, 1, "100"));
    std::string label(80, 'L');
    std::string longLabel = captureStdout(true, [&] { display.showProgress(0.5, label.c_str()); });
    EXPECT_EQ(longLabel, "\r (" + label + ") [>] ( 50% ) ");
}

TEST(CLIDisplay, SpinnerCyclesThroughItsFramesAndContinues) {
    const std::string frames[] = {".", "..", "...", "....", ".....", "....", "...", ".."};
    CLI_Display display;
    std::string first = captureStdout(true, [&] { display.showActivity(true, nullptr); });
    int start = -1;
    for (int index = 0; index < 8; ++index) {
        if (first == "\r " + frames[index] + "      \r") {
            start = index;
        }
    }
    ASSERT_GE(start, 0) << first;
    // The position is process-wide, so the cycle is checked from wherever it stood.
    for (int step = 1; step <= 9; ++step) {
        const std::string &frame = frames[(start + step) % 8];
        std::string drawn = captureStdout(true, [&] { display.showActivity(true, nullptr); });
        EXPECT_EQ(drawn, "\r " + frame + "      \r") << step;
    }
    std::string labelled = captureStdout(true, [&] { display.showActivity(true, "Downloading"); });
    EXPECT_EQ(labelled, "\r (Downloading) " + frames[(start + 10) % 8] + "      \r");
}

TEST(CLIDisplay, ClearingText) {
    CLI_Display display;
    EXPECT_EQ(captureStdout(true, [&] { display.clearLine(false); }), kClearing);
    EXPECT_EQ(captureStdout(true, [&] { display.clearLine(true); }), "");
    EXPECT_EQ(captureStdout(true, [&] { display.showActivity(false, "Downloading"); }), kClearing);
}

TEST(CLIDisplay, RedirectedOutputGetsTextLinesOnly) {
    CLI_Display display;
    std::string written = captureStdout(false, [&] {
        display.clearLine(true);
        display.showProgress(0.5, nullptr);
        display.showActivity(true, "Downloading");
        display.showActivity(false, "Downloading");
        display.clearLine(false);
        display.showMessage("one line");
    });
    EXPECT_EQ(written, "one line\n");
}

TEST(CLIDisplay, MessagesOnATerminalEndWithOneLineFeed) {
    CLI_Display display;
    EXPECT_EQ(captureStdout(true, [&] { display.showMessage("text"); }), "text\n");
}
