#pragma once
#include <atomic>

#include "line/board_probe.h"
#include "base/clock.h"

// A slot's wait for its next board: probes the port once a period until a boot monitor answers.
class CBoardWaiter {
public:
    static constexpr int DEFAULT_PERIOD_MS = 500;

    CBoardWaiter(IBoardProbe& probe, IClock& clock, int nPeriodMs = DEFAULT_PERIOD_MS);

    // True once a board's monitor answers; false when bStop was set first. With bGoneFirst the
    // board now on the port does not count: it must first go (absent or silent once), as a board
    // whose bring-up failed still answers until it is taken away or powered off.
    bool WaitForBoard(bool bGoneFirst, const std::atomic<int>& bStop);

    // Probes made so far.
    int Probes() const { return m_nProbes; }

private:
    IBoardProbe& m_Probe;
    IClock& m_Clock;
    int m_nPeriodMs;
    int m_nProbes = 0;
};
