#include <gtest/gtest.h>

#include <climits>

#include "logic/logic_fixture.h"
#include "payload/percent_of.h"

namespace {

using PercentOfRows = Logic;

// The common route's 34 positions, from the definition in whole numbers: the largest p with
// 34 p <= 100 k after k rows. No k < 34 makes 100 k a multiple of 34 but 17, so nothing
// rests on how a double rounds there.
TEST_F(PercentOfRows, CommonRoutePositions) {
    int previous = 0;
    for (uint32_t k = 1; k <= 34; ++k) {
        int expected = static_cast<int>(100 * k / 34);
        EXPECT_EQ(PercentOf(34, k), expected) << k;
        EXPECT_GT(expected, previous) << "the bar moves at every row";
        previous = expected;
    }
    EXPECT_EQ(PercentOf(34, 17), 50);
    EXPECT_EQ(PercentOf(34, 18), 52);
    EXPECT_EQ(PercentOf(34, 34), 100);
}

TEST_F(PercentOfRows, ZeroSmallAndLargeCases) {
    const struct {
        uint32_t total, done;
        int percent;
    } cases[] = {
        {34, 0, 0},   {0, 0, 0},     {200, 1, 1},   // 0.5 truncated, then raised to 1
        {0, 5, 1},    {1000, 9, 1},  {3, 1, 33},   {3, 2, 66},  {7, 7, 100},
        {10, 25, 250},                               // not limited to 100
        {1, 0xFFFFFFFFu, INT_MAX},                   // beyond int: the top, not undefined
    };
    for (const auto& c : cases) EXPECT_EQ(PercentOf(c.total, c.done), c.percent) << c.total << "/" << c.done;
}

}  // namespace
