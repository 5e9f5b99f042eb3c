#include <gtest/gtest.h>
#include <quillmark/vTime.h>

TEST(Clock, SleepAdvancesTheTicksAtLeastThatLong) {
    uint32_t before = vTime_GetMSTicks();
    EXPECT_EQ(vTime_MSSleep(20), vErrNone);
    uint32_t elapsed = vTime_GetMSTicks() - before; // unsigned difference survives the wrap
    EXPECT_GE(elapsed, 20u);
}

TEST(Clock, ZeroSleepReturnsSuccess) {
    EXPECT_EQ(vTime_MSSleep(0), vErrNone);
}

TEST(Clock, TicksNeverGoBack) {
    uint32_t previous = vTime_GetMSTicks();
    for (int i = 0; i < 1000; ++i) {
        uint32_t now = vTime_GetMSTicks();
        EXPECT_LT(now - previous, 1000u);
        previous = now;
    }
}
