#include "ui/gang_status_line.h"

#include <cstdio>

namespace {

constexpr size_t kPortColumns = 18;

// A long device path keeps its end, where by-path names differ.
std::string ShortPort(const std::string& strPort)
{
    if (strPort.size() <= kPortColumns)
        return strPort;
    return "..." + strPort.substr(strPort.size() - (kPortColumns - 3));
}

}  // namespace

CGangStatusLine::CGangStatusLine(int nSlot, std::string strPort, IClock& clock)
    : m_nSlot(nSlot), m_strPort(std::move(strPort)), m_Rate(clock)
{
}

void CGangStatusLine::Waiting(bool bWaiting)
{
    if (bWaiting)
        m_strState = "waiting";
}

void CGangStatusLine::Stage(JobStage stage)
{
    m_strState = StageName(stage);
    m_bInTransfer = stage == JobStage::Transfer;
    if (stage == JobStage::Prepare)
        m_Progress = TransferProgress{};
}

void CGangStatusLine::Progress(const TransferProgress& progress)
{
    m_Progress = progress;
    m_Rate.Add(progress.nBytesDone, progress.nBytesTotal);
}

void CGangStatusLine::Result(const JobResult& result)
{
    ++m_nBoards;
    m_nInstalled += result.verdict == JobVerdict::Installed ? 1 : 0;
    m_strLastVerdict = VerdictName(result.verdict);
    m_strState = "done";
    m_bInTransfer = false;
}

void CGangStatusLine::Ended(const std::string& strWhy)
{
    (void)strWhy;
    m_strState = "ended";
    m_bInTransfer = false;
}

std::string CGangStatusLine::Render() const
{
    char szPercent[16] = "   --";
    if (m_bInTransfer && m_Progress.nBytesTotal > 0)
        std::snprintf(szPercent, sizeof szPercent, "%4d%%",
                      static_cast<int>(m_Progress.nBytesDone * 100 / m_Progress.nBytesTotal));
    char szRate[24];
    std::snprintf(szRate, sizeof szRate, "%11s", RateText(m_bInTransfer ? m_Rate.BytesPerSecond() : -1).c_str());
    std::string strVerdict = m_strLastVerdict.empty() ? "-" : m_strLastVerdict;
    if (m_nBoards > 1)
        strVerdict += " (" + std::to_string(m_nInstalled) + "/" + std::to_string(m_nBoards) + " installed)";
    char szLine[200];
    std::snprintf(szLine, sizeof szLine, "%-8s %-18s %-9s %s %s  %s",
                  ("[slot" + std::to_string(m_nSlot) + "]").c_str(), ShortPort(m_strPort).c_str(), m_strState.c_str(),
                  szPercent, szRate, strVerdict.c_str());
    return szLine;
}
