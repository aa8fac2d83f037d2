#include <gtest/gtest.h>

#include "net/reply_timer.h"

// Before a sample the configured limit holds; steady round trips bring it down to the floor.
TEST(ReplyTimer, StartsAtTheLimitAndFollowsTheRoundTripDownToTheFloor)
{
    CReplyTimer timer(20, 500);
    EXPECT_EQ(timer.LimitMs(), 500);
    timer.Sample(10000);                      // 10 ms: 10 + 4 * 5
    EXPECT_EQ(timer.LimitMs(), 30);
    for (int i = 0; i < 40; ++i)
        timer.Sample(1000);                   // a fast link: the floor, never below
    EXPECT_EQ(timer.LimitMs(), 20);
    timer.Sample(400000);                     // one slow reply widens the limit at once
    EXPECT_GT(timer.LimitMs(), 100);
    for (int i = 0; i < 10; ++i)
        timer.Sample(2000000);                // a board slower than the limit: capped
    EXPECT_EQ(timer.LimitMs(), 500);
}

// A lost reply doubles the limit up to the configured one; the next clean sample sets it again.
TEST(ReplyTimer, ALostReplyDoublesTheLimitUpToTheConfiguredOne)
{
    CReplyTimer timer(20, 100);
    for (int i = 0; i < 20; ++i)
        timer.Sample(500);
    EXPECT_EQ(timer.LimitMs(), 20);
    timer.Lost();
    EXPECT_EQ(timer.LimitMs(), 40);
    timer.Lost();
    timer.Lost();
    EXPECT_EQ(timer.LimitMs(), 100);
    timer.Sample(500);
    EXPECT_EQ(timer.LimitMs(), 20);
}
