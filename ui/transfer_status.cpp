#include "ui/transfer_status.h"

#include <algorithm>
#include <cstdio>

#include "base/duration_text.h"

namespace {

std::string Duration(int64_t nSeconds) { return DurationText(nSeconds, 2); }

}  // namespace

CTransferStatus::CTransferStatus(IClock& clock, int nMinIntervalMs)
    : m_Clock(clock), m_nMinIntervalMs(static_cast<uint64_t>(nMinIntervalMs > 0 ? nMinIntervalMs : 0)), m_Rate(clock)
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
    m_Rate.Reset();
}

bool CTransferStatus::Update(const TransferProgress& progress)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    const uint64_t nNowMs = m_Clock.NowMs();
    m_bFirst = false;
    m_Progress = progress;
    m_Rate.Add(progress.nBytesDone, progress.nBytesTotal);
    if (m_bShown && nNowMs - m_nShownMs < m_nMinIntervalMs)
        return false;
    m_bShown = true;
    m_nShownMs = nNowMs;
    return true;
}

double CTransferStatus::BytesPerSecond()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return std::max(0.0, m_Rate.BytesPerSecond());
}

int64_t CTransferStatus::SecondsLeft()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Rate.SecondsLeft();
}

std::string CTransferStatus::Text()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_bFirst)
        return {};
    const int64_t nElapsed = static_cast<int64_t>((m_Clock.NowMs() - m_nStartMs) / 1000);
    const int64_t nLeft = m_Rate.SecondsLeft();
    // The run's first report comes before its first file: no name yet.
    return (m_Progress.strName.empty() ? std::string() : m_Progress.strName + "   ") + RateText(m_Rate.BytesPerSecond()) +
           "   用时 " + Duration(nElapsed) + "   剩余 " + (nLeft < 0 ? std::string("--:--") : Duration(nLeft)) +
           "   重发 " + std::to_string(m_Progress.nResends);
}
