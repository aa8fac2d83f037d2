#pragma once
#include <cstdint>

// The time limit of a data frame's reply, from the measured round trip as TCP keeps its
// retransmission timer: a smoothed round trip plus four times its mean deviation, never below a
// floor nor above the configured limit. Before the first sample, and after a lost reply until the
// next clean sample, the limit doubles from where it was (up to the configured one). Only replies
// to a frame sent once are measured, so a late reply to an earlier send never counts.
class CReplyTimer {
public:
    CReplyTimer(int nFloorMs, int nCapMs);

    int LimitMs() const { return m_nLimitMs; }
    // The reply to a frame sent once came after nRoundTripUs microseconds.
    void Sample(int64_t nRoundTripUs);
    // A reply did not come within LimitMs: wait longer for the next one.
    void Lost();

private:
    int m_nFloorMs;
    int m_nCapMs;
    int m_nLimitMs;
    bool m_bMeasured = false;
    int64_t m_nSmoothedUs = 0;
    int64_t m_nDeviationUs = 0;
};
