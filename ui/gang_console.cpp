#include "ui/gang_console.h"

#include "base/log_text.h"

namespace {

constexpr char kClearLine[] = "\r\033[K";
constexpr char kClearBelow[] = "\033[J";

std::string Prefix(int nSlot) { return "[slot" + std::to_string(nSlot) + "] "; }

std::string VerdictLine(int nSlot, const JobResult& result)
{
    std::string strLine = Prefix(nSlot) + VerdictName(result.verdict) + " " + result.identity.strFactory;
    if (result.verdict != JobVerdict::Installed)
        strLine += " (" + std::string(StageName(result.stage)) + "): " + result.strReason;
    return strLine + "\n";
}

// Lines mode (a log file, a service's journal): the whole job on its one line, so a search for a
// board, a station or a verdict finds it without the lines around.
std::string JobLine(int nSlot, const JobResult& result)
{
    std::string strLine = Prefix(nSlot) + VerdictName(result.verdict) + " " + result.identity.strFactory + " (" +
                          StageName(result.stage) + ")";
    if (!result.strReason.empty())
        strLine += ": " + result.strReason;
    strLine += " | station " + result.strStation + ", mac " + result.identity.strMac + ", reg " +
               result.identity.strReg;
    for (char& c : strLine)
        if (c == '\r' || c == '\n')
            c = ' ';
    return strLine + "\n";
}

}  // namespace

CGangConsole::CGangConsole(std::ostream& out, std::ostream* pJson, IClock& clock, Mode mode, bool bProgress,
                           const std::vector<std::pair<int, std::string>>& slots)
    : m_Out(out), m_pJson(pJson), m_Clock(clock), m_Mode(mode), m_bProgress(bProgress)
{
    for (const auto& [nSlot, strPort] : slots) {
        m_Order.push_back(nSlot);
        m_Views.emplace(nSlot, SlotView{CGangStatusLine(nSlot, strPort, clock), {}, {}, 0});
    }
}

CGangConsole::SlotView* CGangConsole::Find(int nSlot)
{
    auto it = m_Views.find(nSlot);
    return it == m_Views.end() ? nullptr : &it->second;
}

void CGangConsole::OnSlotLog(int nSlot, const std::string& strText)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    SlotView* pView = Find(nSlot);
    if (!pView)
        return;
    pView->strPartial += CliText(strText);
    size_t nEnd;
    while ((nEnd = pView->strPartial.find('\n')) != std::string::npos) {
        std::string strLine = Prefix(nSlot) + pView->strPartial.substr(0, nEnd + 1);
        pView->strPartial.erase(0, nEnd + 1);
        if (m_Mode == Mode::Lines)
            m_Out << strLine << std::flush;
        else
            pView->jobLog.push_back(strLine);
    }
}

void CGangConsole::OnSlotWaiting(int nSlot, bool bWaiting)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (SlotView* pView = Find(nSlot)) {
        pView->line.Waiting(bWaiting);
        m_bDirty = true;
    }
}

void CGangConsole::OnSlotStage(int nSlot, JobStage stage)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    SlotView* pView = Find(nSlot);
    if (!pView)
        return;
    if (stage == JobStage::Prepare)
        pView->jobLog.clear();
    pView->line.Stage(stage);
    m_bDirty = true;
    Draw(false);
}

void CGangConsole::OnSlotProgress(int nSlot, const TransferProgress& progress)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    SlotView* pView = Find(nSlot);
    if (!pView)
        return;
    pView->line.Progress(progress);
    m_bDirty = true;
    const uint64_t nNowMs = m_Clock.NowMs();
    if (m_Mode == Mode::Status) {
        Draw(false);
    } else if (m_bProgress && !progress.strName.empty()) {
        if (pView->nLastProgressMs == 0) {
            pView->nLastProgressMs = nNowMs;   // a short transfer adds nothing to the log
        } else if (nNowMs - pView->nLastProgressMs >= PROGRESS_EVERY_MS) {
            pView->nLastProgressMs = nNowMs;
            m_Out << pView->line.Render() << "\n" << std::flush;
        }
    }
}

void CGangConsole::OnSlotResult(int nSlot, const JobResult& result)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Results.push_back(result);
    if (m_pJson)
        *m_pJson << JobResultToJson(result) << "\n" << std::flush;
    SlotView* pView = Find(nSlot);
    if (!pView)
        return;
    pView->line.Result(result);
    pView->nLastProgressMs = 0;
    std::string strText;
    if (m_Mode == Mode::Status && result.verdict != JobVerdict::Installed)
        for (const std::string& strLine : pView->jobLog)
            strText += strLine;
    pView->jobLog.clear();
    m_bDirty = true;
    PrintAbove(strText + (m_Mode == Mode::Lines ? JobLine(nSlot, result) : VerdictLine(nSlot, result)));
}

void CGangConsole::OnSlotEnded(int nSlot, const std::string& strWhy)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    SlotView* pView = Find(nSlot);
    if (!pView)
        return;
    pView->line.Ended(strWhy);
    m_bDirty = true;
    PrintAbove(Prefix(nSlot) + "ended: " + strWhy + "\n");
}

void CGangConsole::PrintAbove(const std::string& strText)
{
    if (m_Mode == Mode::Lines) {
        m_Out << strText << std::flush;
        return;
    }
    // Up to the first status line, clear it and everything below, print, draw the lines again.
    if (m_bDrawn)
        m_Out << "\033[" << m_Order.size() << "A" << kClearLine << kClearBelow;
    m_Out << strText;
    m_bDrawn = false;
    Draw(true);
}

void CGangConsole::Draw(bool bForce)
{
    if (m_Mode != Mode::Status || !m_bDirty)
        return;
    const uint64_t nNowMs = m_Clock.NowMs();
    if (!bForce && m_bDrawn && nNowMs - m_nLastDrawMs < STATUS_EVERY_MS)
        return;
    if (m_bDrawn)
        m_Out << "\033[" << m_Order.size() << "A";
    for (int nSlot : m_Order)
        m_Out << kClearLine << m_Views.at(nSlot).line.Render() << "\n";
    m_Out << std::flush;
    m_bDrawn = true;
    m_bDirty = false;
    m_nLastDrawMs = nNowMs;
}

void CGangConsole::Tick()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    Draw(false);
}

void CGangConsole::Finish()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_bDirty = true;
    Draw(true);
}

std::vector<JobResult> CGangConsole::Results() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Results;
}
