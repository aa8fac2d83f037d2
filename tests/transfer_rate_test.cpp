#include <gtest/gtest.h>

#include "ui/transfer_rate.h"
#include "support/fake_clock.h"

TEST(TransferRate, RateAndTimeLeftFromTheBytesDoneOverTime)
{
    CFakeClock clock;
    CTransferRate rate(clock);
    rate.Add(0, 3000000);
    clock.SleepMs(1000);
    rate.Add(1000000, 3000000);
    EXPECT_DOUBLE_EQ(rate.BytesPerSecond(), 1e6);
    EXPECT_EQ(rate.SecondsLeft(), 2);
    clock.SleepMs(500);
    rate.Add(1600000, 3000000);   // 1.6 MB in 1.5 s; 1.4 MB left: 1.31 s, rounded up
    EXPECT_EQ(rate.SecondsLeft(), 2);
}

TEST(TransferRate, OnlyTheLastFiveSecondsCount)
{
    CFakeClock clock;
    CTransferRate rate(clock);
    uint64_t nBytes = 0;
    for (int i = 0; i <= 10; ++i, nBytes += 10000, clock.SleepMs(1000))
        rate.Add(nBytes, 100000000);   // a slow start: 10 KB/s
    for (int i = 0; i < 6; ++i, clock.SleepMs(1000))
        rate.Add(nBytes += 1000000, 100000000);   // then 1 MB/s
    EXPECT_DOUBLE_EQ(rate.BytesPerSecond(), 1e6);
}

TEST(TransferRate, UnknownUntilMeasuredOrWhileStalledZeroWhenDone)
{
    CFakeClock clock;
    CTransferRate rate(clock);
    rate.Add(5000, 10000);
    EXPECT_LT(rate.BytesPerSecond(), 0);
    EXPECT_EQ(rate.SecondsLeft(), -1);
    clock.SleepMs(6000);
    rate.Add(5000, 10000);   // nothing moved
    EXPECT_EQ(rate.SecondsLeft(), -1);
    clock.SleepMs(1000);
    rate.Add(10000, 10000);
    EXPECT_EQ(rate.SecondsLeft(), 0);
}
