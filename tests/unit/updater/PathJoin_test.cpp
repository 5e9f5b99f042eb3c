#include "PathJoin.h"

#include <gtest/gtest.h>

TEST(PathJoin, PutsOneSeparatorBeforeEachPart) {
    EXPECT_EQ(joinPath("/home/me", {".veltrona", "updater"}), "/home/me/.veltrona/updater");
    EXPECT_EQ(joinPath("root", {}), "root");
}
