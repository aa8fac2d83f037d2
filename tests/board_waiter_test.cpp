#include <gtest/gtest.h>

#include <vector>

#include "line/board_waiter.h"
#include "support/fake_clock.h"

namespace {

// Answers from a list, then the last one again; may raise a stop flag at a given probe.
class CFakeProbe : public IBoardProbe {
public:
    CFakeProbe(std::vector<BoardPresence> answers, std::atomic<int>* pStop = nullptr, int nStopAt = -1)
        : m_Answers(std::move(answers)), m_pStop(pStop), m_nStopAt(nStopAt)
    {
    }
    BoardPresence Probe() override
    {
        size_t n = m_nProbes++;
        if (m_pStop && static_cast<int>(n) == m_nStopAt)
            *m_pStop = 1;
        return m_Answers[std::min(n, m_Answers.size() - 1)];
    }

private:
    std::vector<BoardPresence> m_Answers;
    std::atomic<int>* m_pStop;
    int m_nStopAt;
    size_t m_nProbes = 0;
};

}  // namespace

TEST(BoardWaiter, ProbesOncePerPeriodUntilAMonitorAnswers)
{
    CFakeProbe probe({BoardPresence::Absent, BoardPresence::Silent, BoardPresence::Monitor});
    CFakeClock clock;
    CBoardWaiter waiter(probe, clock, 500);
    std::atomic<int> bStop{0};
    EXPECT_TRUE(waiter.WaitForBoard(false, bStop));
    EXPECT_EQ(waiter.Probes(), 3);
    EXPECT_EQ(clock.SleptMs(), 1000u);
}

TEST(BoardWaiter, ABoardStillOnThePortCountsOnlyAfterItWent)
{
    CFakeProbe probe({BoardPresence::Monitor, BoardPresence::Monitor, BoardPresence::Absent, BoardPresence::Monitor});
    CFakeClock clock;
    CBoardWaiter waiter(probe, clock, 100);
    std::atomic<int> bStop{0};
    EXPECT_TRUE(waiter.WaitForBoard(true, bStop));
    EXPECT_EQ(waiter.Probes(), 4);
}

TEST(BoardWaiter, StopEndsTheWait)
{
    std::atomic<int> bStop{0};
    CFakeProbe probe({BoardPresence::Silent, BoardPresence::Silent, BoardPresence::Silent, BoardPresence::Monitor},
                     &bStop, 2);
    CFakeClock clock;
    CBoardWaiter waiter(probe, clock, 500);
    EXPECT_FALSE(waiter.WaitForBoard(false, bStop));
    EXPECT_EQ(waiter.Probes(), 3);
}
