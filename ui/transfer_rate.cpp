#include "ui/transfer_rate.h"

#include <cstdio>

#include <cmath>

void CTransferRate::Reset()
{
    m_samples.clear();
    m_nBytesTotal = 0;
}

void CTransferRate::Add(uint64_t nBytesDone, uint64_t nBytesTotal)
{
    const uint64_t nNowMs = m_clock.NowMs();
    if (!m_samples.empty() && nBytesDone < m_samples.back().nBytes)
        m_samples.clear();
    m_nBytesTotal = nBytesTotal;
    m_samples.push_back({nNowMs, nBytesDone});
    // Keep the newest sample at or before the window's start, so the rate spans the whole window.
    while (m_samples.size() > 2 && nNowMs - m_samples[1].nMs >= WINDOW_MS)
        m_samples.pop_front();
}

double CTransferRate::BytesPerSecond() const
{
    if (m_samples.size() < 2 || m_samples.back().nMs == m_samples.front().nMs)
        return -1;
    const double dBytes = static_cast<double>(m_samples.back().nBytes - m_samples.front().nBytes);
    return dBytes * 1000.0 / static_cast<double>(m_samples.back().nMs - m_samples.front().nMs);
}

int64_t CTransferRate::SecondsLeft() const
{
    if (!m_samples.empty() && m_samples.back().nBytes >= m_nBytesTotal)
        return 0;
    const double dRate = BytesPerSecond();
    if (dRate <= 0)
        return -1;
    const double dLeft = static_cast<double>(m_nBytesTotal - m_samples.back().nBytes);
    return static_cast<int64_t>(std::ceil(dLeft / dRate));
}

std::string RateText(double dBytesPerSecond)
{
    char szText[32];
    if (dBytesPerSecond < 0)
        return "-- KB/s";
    if (dBytesPerSecond >= 1e6)
        std::snprintf(szText, sizeof szText, "%.1f MB/s", dBytesPerSecond / 1e6);
    else
        std::snprintf(szText, sizeof szText, "%.0f KB/s", dBytesPerSecond / 1e3);
    return szText;
}
