#include <quorix/protocol/rankorder.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

using quorix::RankOrder;
using Ids = std::vector<std::uint32_t>;

struct RankCase
{
    const char* name;
    Ids counts;
    Ids order;
};

// The orders among equal counts that the desktop window has always shown.
TEST(RankOrder, RanksHighestFirstWithTheDesktopOrderAmongTies)
{
    const RankCase cases[] = {
        {"none", {}, {}},
        {"one", {4}, {0}},
        {"two equal", {5, 5}, {1, 0}},
        {"three equal", {3, 3, 3}, {1, 0, 2}},
        {"tie behind lower", {1, 4, 4}, {1, 2, 0}},
        {"zero first, tie second", {0, 7, 7, 2}, {1, 2, 3, 0}},
        {"already sorted", {2, 1}, {0, 1}},
        {"all zero, ten options", Ids(10, 0), {1, 7, 9, 2, 6, 3, 8, 4, 5, 0}},
        {"ten mixed", {3, 1, 4, 1, 5, 9, 2, 6, 5, 3}, {5, 7, 4, 8, 2, 9, 0, 6, 3, 1}},
        {"three pairs", {2, 2, 1, 1, 3, 3}, {4, 5, 1, 0, 3, 2}},
    };
    for (const RankCase& c : cases)
        EXPECT_EQ(RankOrder::ofCounts(c.counts), c.order) << c.name;
}

TEST(RankOrder, ManyEqualCountsNeedNoDeepRecursion)
{
    EXPECT_EQ(RankOrder::ofCounts(Ids(20000, 1)).size(), 20000u);
}

} // namespace
