#include <gtest/gtest.h>

#include "ui/transfer_status.h"
#include "support/fake_clock.h"

namespace {

TransferProgress Report(const char* szName, uint64_t nDone, uint64_t nTotal, uint64_t nResends)
{
    TransferProgress progress;
    progress.strName = szName;
    progress.nBytesDone = nDone;
    progress.nBytesTotal = nTotal;
    progress.nResends = nResends;
    return progress;
}

}  // namespace

// The rate is the one of the last few seconds, the elapsed time counts from the press.
TEST(TransferStatus, RateTimeLeftAndLineFromTheClock)
{
    CFakeClock clock;
    CTransferStatus status(clock);
    status.Start();
    clock.SleepMs(12000);  // bring-up, console and settle pause
    EXPECT_TRUE(status.Update(Report("", 0, 6 * 1024 * 1024, 0)));  // the run's first report names no file yet
    EXPECT_EQ(status.SecondsLeft(), -1);
    EXPECT_EQ(status.Text(), "-- KB/s   用时 00:12   剩余 --:--   重发 0");

    clock.SleepMs(2000);
    EXPECT_TRUE(status.Update(Report("kernel.bin", 3 * 1024 * 1024, 6 * 1024 * 1024, 4)));
    EXPECT_DOUBLE_EQ(status.BytesPerSecond(), 1.5 * 1024 * 1024);
    EXPECT_EQ(status.SecondsLeft(), 2);
    // The rate and its text are the command line's: CTransferRate and RateText, in decimal megabytes.
    EXPECT_EQ(status.Text(), "kernel.bin   1.6 MB/s   用时 00:14   剩余 00:02   重发 4");
}

// Reports come faster than the line may change: at most one new line per 250 ms.
TEST(TransferStatus, NewLineAtMostFourTimesASecond)
{
    CFakeClock clock;
    CTransferStatus status(clock);
    status.Start();
    int nShown = 0;
    for (int i = 0; i < 100; ++i) {  // a report every 50 ms for 5 s
        nShown += status.Update(Report("big.bin", static_cast<uint64_t>(i) * 1024, 100 * 1024, 0)) ? 1 : 0;
        clock.SleepMs(50);
    }
    EXPECT_EQ(nShown, 20);
    EXPECT_EQ(status.Text().rfind("big.bin", 0), 0u);  // the figures of the last report are kept
}
