// The time-left estimate of the progress front-ends: nothing for short work, then what is left at the
// pace so far, and its text.
#include "jobs/TimeLeft.h"

#include <gtest/gtest.h>

using namespace tq9;
using namespace std::chrono_literals;

TEST(TimeLeftTest, EstimatesFromThePaceOnceTheJobHasRunAFewSeconds)
{
    const CTimeLeft::Clock::time_point start{};
    const CTimeLeft left(start);
    EXPECT_FALSE(left.Estimate(1, 2, 0, start + 2s)) << "too early";
    EXPECT_EQ(left.Estimate(1, 2, 0, start + 10s), 10s) << "half done in ten seconds";
    EXPECT_EQ(left.Estimate(0, 4, 50, start + 4s), 28s) << "an eighth done in four seconds";
    EXPECT_FALSE(left.Estimate(0, 3, 0, start + 60s)) << "nothing done, nothing to go on";
    EXPECT_FALSE(left.Estimate(3, 3, 100, start + 60s)) << "nothing left";
    EXPECT_FALSE(left.Estimate(0, 0, 0, start + 60s)) << "no files";
    EXPECT_EQ(left.Estimate(7, 3, 250, start + 60s), std::nullopt) << "out-of-range slots are clamped";
}

TEST(TimeLeftTest, TextIsMinutesAndSecondsOrHours)
{
    EXPECT_EQ(CTimeLeft::Text(0s), "0:00");
    EXPECT_EQ(CTimeLeft::Text(42s), "0:42");
    EXPECT_EQ(CTimeLeft::Text(725s), "12:05");
    EXPECT_EQ(CTimeLeft::Text(3723s), "1:02:03");
}
