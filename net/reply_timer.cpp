#include "net/reply_timer.h"

#include <algorithm>

CReplyTimer::CReplyTimer(int nFloorMs, int nCapMs)
    : m_nFloorMs(std::max(1, std::min(nFloorMs, nCapMs))), m_nCapMs(std::max(1, nCapMs)), m_nLimitMs(m_nCapMs)
{
}

void CReplyTimer::Sample(int64_t nRoundTripUs)
{
    nRoundTripUs = std::max<int64_t>(nRoundTripUs, 0);
    if (!m_bMeasured) {
        m_nSmoothedUs = nRoundTripUs;
        m_nDeviationUs = nRoundTripUs / 2;
        m_bMeasured = true;
    } else {
        const int64_t nError = nRoundTripUs > m_nSmoothedUs ? nRoundTripUs - m_nSmoothedUs : m_nSmoothedUs - nRoundTripUs;
        m_nDeviationUs = (3 * m_nDeviationUs + nError) / 4;
        m_nSmoothedUs = (7 * m_nSmoothedUs + nRoundTripUs) / 8;
    }
    const int64_t nLimitUs = m_nSmoothedUs + 4 * m_nDeviationUs;
    const int64_t nLimitMs = (nLimitUs + 999) / 1000;
    m_nLimitMs = static_cast<int>(std::clamp<int64_t>(nLimitMs, m_nFloorMs, m_nCapMs));
}

void CReplyTimer::Lost() { m_nLimitMs = std::min(m_nCapMs, std::max(m_nFloorMs, m_nLimitMs * 2)); }
