#include "ui/transfer_status.h"

#include <cmath>
#include <cstdio>

#include "base/duration_text.h"

namespace {

std::string Duration(int64_t nSeconds) { return DurationText(nSeconds, 2); }

std::string Rate(double dBytesPerSecond)
{
    char szText[32];
    if (dBytesPerSecond >= 1024.0 * 1024.0)
        std::snprintf(szText, sizeof szText, "%.1f MB/s", dBytesPerSecond / (1024.0 * 1024.0));
    else
        std::snprintf(szText, sizeof szText, "%.0f KB/s", dBytesPerSecond / 1024.0);
    return szText;
}

}  // namespace

CTransferStatus::CTransferStatus(IClock& clock, int nMinIntervalMs)
    : m_Clock(clock), m_nMinIntervalMs(static_cast<uint64_t>(nMinIntervalMs > 0 ? nMinIntervalMs : 0))
{
    m_nStartMs = m_Clock.NowMs();
}

void CTransferStatus::Start()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_nStartMs = m_Clock.NowMs();
    m_bFirst = true;
    m_bShown = false;
    m_Progress = TransferProgress{};
}

bool CTransferStatus::Update(const TransferProgress& progress)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    const uint64_t nNowMs = m_Clock.NowMs();
    if (m_bFirst) {
        m_bFirst = false;
        m_nFirstMs = nNowMs;
        m_nFirstBytes = progress.nBytesDone;
    }
    m_nLastMs = nNowMs;
    m_Progress = progress;
    if (m_bShown && nNowMs - m_nShownMs < m_nMinIntervalMs)
        return false;
    m_bShown = true;
    m_nShownMs = nNowMs;
    return true;
}

double CTransferStatus::RateLocked(uint64_t nNowMs) const
{
    if (m_bFirst || nNowMs <= m_nFirstMs || m_Progress.nBytesDone <= m_nFirstBytes)
        return 0.0;
    return static_cast<double>(m_Progress.nBytesDone - m_nFirstBytes) * 1000.0 / static_cast<double>(nNowMs - m_nFirstMs);
}

int64_t CTransferStatus::SecondsLeftLocked(uint64_t nNowMs) const
{
    if (m_Progress.nBytesDone >= m_Progress.nBytesTotal && !m_bFirst)
        return 0;
    const double dRate = RateLocked(nNowMs);
    if (dRate <= 0.0)
        return -1;
    return static_cast<int64_t>(std::ceil(static_cast<double>(m_Progress.nBytesTotal - m_Progress.nBytesDone) / dRate));
}

double CTransferStatus::BytesPerSecond()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return RateLocked(m_nLastMs);
}

int64_t CTransferStatus::SecondsLeft()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return SecondsLeftLocked(m_nLastMs);
}

std::string CTransferStatus::Text()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_bFirst)
        return {};
    const int64_t nElapsed = static_cast<int64_t>((m_Clock.NowMs() - m_nStartMs) / 1000);
    const int64_t nLeft = SecondsLeftLocked(m_nLastMs);
    // The run's first report comes before its first file: no name yet.
    return (m_Progress.strName.empty() ? std::string() : m_Progress.strName + "   ") + Rate(RateLocked(m_nLastMs)) +
           "   用时 " + Duration(nElapsed) + "   剩余 " + (nLeft < 0 ? std::string("--:--") : Duration(nLeft)) +
           "   重发 " + std::to_string(m_Progress.nResends);
}
