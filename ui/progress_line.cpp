#include "ui/progress_line.h"

#include <unistd.h>

#include <cstdio>

#include "base/duration_text.h"

namespace {

constexpr size_t kNameBytes = 24;        // keeps the line within 80 columns
constexpr char kEraseLine[] = "\r\033[K";

int Percent(uint64_t nDone, uint64_t nTotal)
{
    return nTotal == 0 ? 100 : static_cast<int>(nDone * 100 / nTotal);
}

// The name cut to kNameBytes on a UTF-8 character boundary.
std::string ShortName(const std::string& strName)
{
    if (strName.size() <= kNameBytes)
        return strName;
    size_t nCut = kNameBytes - 3;
    while (nCut > 0 && (static_cast<unsigned char>(strName[nCut]) & 0xC0) == 0x80)
        --nCut;
    return strName.substr(0, nCut) + "...";
}

std::string TimeLeftText(int64_t nSeconds)
{
    return nSeconds < 0 ? "--:-- left" : DurationText(nSeconds, 1) + " left";
}

}  // namespace

CProgressLine::CProgressLine(std::ostream& out, IClock& clock, Mode mode)
    : m_out(out), m_clock(clock), m_mode(mode), m_rate(clock)
{
}

std::string CProgressLine::Render(const TransferProgress& progress) const
{
    return ShortName(progress.strName) + "  " + std::to_string(Percent(progress.nFileBytesDone, progress.nFileBytes)) +
           "%  (all " + std::to_string(Percent(progress.nBytesDone, progress.nBytesTotal)) + "%)  " +
           RateText(m_rate.BytesPerSecond()) + "  " + TimeLeftText(m_rate.SecondsLeft()) + "  " +
           std::to_string(progress.nResends) + (progress.nResends == 1 ? " resend" : " resends");
}

void CProgressLine::Update(const TransferProgress& progress)
{
    if (m_mode == Mode::Off)
        return;
    const uint64_t nNowMs = m_clock.NowMs();
    m_rate.Add(progress.nBytesDone, progress.nBytesTotal);
    if (progress.strName.empty())
        return;   // the run's start, before its first file: nothing to show yet
    m_strLine = Render(progress);   // the newest text, for AfterLog, even when not written now
    const uint64_t nEveryMs = m_mode == Mode::Terminal ? TERMINAL_EVERY_MS : PLAIN_EVERY_MS;
    if (!m_bStarted) {
        m_bStarted = true;
        // A plain line first after a whole interval, so a short transfer adds nothing to a log.
        if (m_mode == Mode::Plain) {
            m_nLastMs = nNowMs;
            return;
        }
    } else if (nNowMs - m_nLastMs < nEveryMs) {
        return;
    }
    m_nLastMs = nNowMs;
    if (m_mode == Mode::Terminal) {
        m_out << kEraseLine << m_strLine << std::flush;
        m_bShown = true;
    } else {
        m_out << m_strLine << "\n" << std::flush;
    }
}

void CProgressLine::Erase()
{
    if (m_bShown)
        m_out << kEraseLine << std::flush;
    m_bShown = false;
}

void CProgressLine::BeforeLog()
{
    if (m_mode == Mode::Terminal)
        Erase();
}

void CProgressLine::AfterLog(bool bAtLineStart)
{
    if (m_mode != Mode::Terminal || !bAtLineStart || m_strLine.empty())
        return;
    m_out << m_strLine << std::flush;
    m_bShown = true;
}

void CProgressLine::End()
{
    if (m_mode == Mode::Terminal)
        Erase();
    m_strLine.clear();
}

CProgressLine::Mode ProgressModeOfStderr(bool bQuiet)
{
    if (bQuiet)
        return CProgressLine::Mode::Off;
    return isatty(STDERR_FILENO) ? CProgressLine::Mode::Terminal : CProgressLine::Mode::Plain;
}
