#include "line/board_waiter.h"

CBoardWaiter::CBoardWaiter(IBoardProbe& probe, IClock& clock, int nPeriodMs)
    : m_Probe(probe), m_Clock(clock), m_nPeriodMs(nPeriodMs > 0 ? nPeriodMs : 1)
{
}

bool CBoardWaiter::WaitForBoard(bool bGoneFirst, const std::atomic<int>& bStop)
{
    bool bGone = !bGoneFirst;
    while (!bStop.load()) {
        const uint64_t nStartMs = m_Clock.NowMs();
        BoardPresence presence = m_Probe.Probe();
        ++m_nProbes;
        if (presence != BoardPresence::Monitor)
            bGone = true;
        else if (bGone)
            return true;
        // The period counts from the start of a probe, so a slow probe does not stretch it.
        const uint64_t nSpentMs = m_Clock.NowMs() - nStartMs;
        const int nRestMs = nSpentMs >= static_cast<uint64_t>(m_nPeriodMs) ? 0 : m_nPeriodMs - static_cast<int>(nSpentMs);
        if (!SleepUnlessCancelled(m_Clock, nRestMs, bStop))
            return false;
    }
    return false;
}
