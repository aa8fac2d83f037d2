#pragma once
#include <cstdint>
#include <ostream>
#include <string>

#include "ui/transfer_rate.h"
#include "base/clock.h"
#include "net/transfer_image.h"

// The transfer's progress for a person watching standard error: file, percent of the file and of
// all files, rate, time left and resends so far. On a terminal one line rewritten in place at most
// four times a second; elsewhere a plain line every five seconds. One thread at a time.
class CProgressLine {
public:
    enum class Mode { Off, Terminal, Plain };
    static constexpr uint64_t TERMINAL_EVERY_MS = 250;
    static constexpr uint64_t PLAIN_EVERY_MS = 5000;

    CProgressLine(std::ostream& out, IClock& clock, Mode mode);

    // A progress report of the transfer; written when one is due.
    void Update(const TransferProgress& progress);
    // Around a log line on the same terminal: erases the line, then draws it again when the log
    // line has ended (bAtLineStart).
    void BeforeLog();
    void AfterLog(bool bAtLineStart);
    // The job has ended: erases the line for good.
    void End();

    // The line's text for a report, with the rate and time left measured so far.
    std::string Render(const TransferProgress& progress) const;

private:
    void Erase();

    std::ostream& m_out;
    IClock& m_clock;
    Mode m_mode;
    CTransferRate m_rate;
    bool m_bStarted = false;     // a report has come
    uint64_t m_nLastMs = 0;      // when the line was last written (the first report for Plain)
    std::string m_strLine;       // the text last written, for drawing again
    bool m_bShown = false;       // the terminal shows m_strLine now
};

// Terminal when standard error is one, Plain when it is not, Off when bQuiet.
CProgressLine::Mode ProgressModeOfStderr(bool bQuiet);
