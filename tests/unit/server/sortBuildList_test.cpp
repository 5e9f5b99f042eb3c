#include "Messages.h"
#include "ServerCommClass.h"
#include "support/DebugCapture.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> sortedBuilds(const BuildList &builds) {
    std::vector<std::string> order;
    for (const BuildListEntry &entry : ServerCommClass::sortBuildList(builds)) {
        order.push_back(entry.build);
    }
    return order;
}

bool newer(const char *x, const char *y) {
    return ServerCommClass::_sortVersion({"1", x}, {"2", y});
}

} // namespace

TEST(sortBuildList, NewestVersionFirstWithUnorderableVersionsLast) {
    BuildList builds = {{"100", "1.2.3"}, {"101", "1.10.0"}, {"102", "2.0"}, {"103", "1.9.9"}};
    EXPECT_EQ(sortedBuilds(builds), (std::vector<std::string>{"101", "103", "100", "102"}));
    EXPECT_TRUE(sortedBuilds({}).empty());
}

TEST(sortBuildList, ComparesTheLow8BitsOfEachComponent) {
    EXPECT_FALSE(newer("1.2.300", "1.2.44"));
    EXPECT_FALSE(newer("1.2.44", "1.2.300"));
    EXPECT_TRUE(newer("1.2.45", "1.2.300"));
    EXPECT_TRUE(newer("-1.0.0", "254.0.0")); // -1 keeps 255
}

TEST(sortBuildList, SortVersionCases) {
    struct Case {
        const char *x, *y;
        bool newer;
    };
    const Case cases[] = {
        {"1.10.0", "1.2.3", true},
        {"1.2.3", "1.10.0", false},
        {"1.2.3", "1.2.3", false},
        {"2.0.0", "1.255.255", true},
        {"1.3.0", "1.2.255", true},
        {" +1.2.3", "1.2.2", true},
        {"1.2.3abc", "1.2.2", true},
        {"2.0", "1.2.3", false},
        {"1.2.3", "2.0", false},
        {"1.x.3", "1.2.3", false},
        {"1.2.3", "1..3", false},
        {"2", "1", false},
        {"99999999999.0.0", "1.0.0", false},
        {"1.2.3.4", "1.2.3", false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(newer(c.x, c.y), c.newer) << c.x << " vs " << c.y;
    }
}

TEST(sortBuildList, ConversionProblemsAreLoggedOnlyWhenOneSideIsAVersion) {
    DebugCapture debug(DEBUG_ServerComm);
    newer("2.0", "1");
    EXPECT_EQ(debug.text(), "");
    newer("1.2.3", "1.x.3");
    newer("1.2.3", "2.0");
    newer("99999999999.0.0", "1.0.0");
    EXPECT_EQ(debug.text(),
              "_sortVersion: Exception converting version: 'x' is not a number\n"
              "_sortVersion: Exception converting version: '2.0' is not three numbers separated "
              "by '.'\n"
              "_sortVersion: Exception converting version: '99999999999' is out of range\n");
}

TEST(sortBuildList, ALongMixedListSortsSafely) {
    BuildList builds;
    for (int i = 0; i < 200; ++i) {
        std::string version = i % 3 == 0 ? "rc" + std::to_string(i)
                                         : "1." + std::to_string(i % 17) + "." + std::to_string(i);
        builds.emplace(std::to_string(1000 + i), version);
    }
    std::vector<BuildListEntry> sorted = ServerCommClass::sortBuildList(builds);
    ASSERT_EQ(sorted.size(), builds.size());
    size_t firstUnorderable = 0;
    while (firstUnorderable < sorted.size() && sorted[firstUnorderable].version[0] != 'r') {
        ++firstUnorderable;
    }
    for (size_t i = 1; i < firstUnorderable; ++i) {
        EXPECT_FALSE(ServerCommClass::_sortVersion(sorted[i], sorted[i - 1])) << i;
    }
    for (size_t i = firstUnorderable; i < sorted.size(); ++i) {
        EXPECT_EQ(sorted[i].version[0], 'r') << i;
    }
}
