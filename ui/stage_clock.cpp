#include "ui/stage_clock.h"

#include <cstdio>

void CStageClock::Enter(JobStage stage, uint64_t nNowMs)
{
    m_nSinceMs = nNowMs;
    m_eStage = static_cast<int>(stage);
    m_bRunning = true;
}

void CStageClock::End() { m_bRunning = false; }

const char* CStageClock::StageWord(JobStage stage)
{
    switch (stage) {
    case JobStage::BringUp:
        return "启动";
    case JobStage::Console:
        return "控制台";
    case JobStage::Transfer:
        return "下载";
    case JobStage::Prepare:
        break;
    }
    return "准备";
}

std::string CStageClock::Text(uint64_t nNowMs) const
{
    if (!m_bRunning.load())
        return {};
    const JobStage stage = static_cast<JobStage>(m_eStage.load());
    const uint64_t nSince = m_nSinceMs.load();
    const int64_t nElapsedS = nNowMs > nSince ? static_cast<int64_t>((nNowMs - nSince) / 1000) : 0;
    char szText[160];
    std::snprintf(szText, sizeof szText, "%s  %lld:%02lld", StageWord(stage), static_cast<long long>(nElapsedS / 60),
                  static_cast<long long>(nElapsedS % 60));
    std::string strText = szText;
    const int nBoundS = m_nConsoleBoundS.load();
    if (stage != JobStage::Console || nBoundS <= 0)
        return strText;
    if (nElapsedS < nBoundS)
        return strText + "  还剩 " + std::to_string(nBoundS - nElapsedS) + " 秒";
    return strText + "  超时: 请检查串口线和电源, 然后按终止";
}
