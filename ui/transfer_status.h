#pragma once
#include <cstdint>
#include <mutex>
#include <string>

#include "base/clock.h"
#include "ui/transfer_rate.h"
#include "net/transfer_image.h"

// The window's status line under the progress bar: the file being sent, the rate, the time since
// the press, the time left and the resends so far, from the job's progress reports.
class CTransferStatus {
public:
    // A new line is due at most once per nMinIntervalMs.
    explicit CTransferStatus(IClock& clock, int nMinIntervalMs = 250);

    // A job starts: the elapsed time counts from now; the rate from the transfer's first report.
    void Start();
    // Takes a report; true when the line should be shown anew.
    bool Update(const TransferProgress& progress);
    // The line for the last report, e.g. "kernel.bin   1.5 MB/s   用时 00:42   剩余 00:07   重发 3".
    std::string Text();

    // The figures behind the line, over the last few seconds (CTransferRate): bytes per second
    // (0 before it is known), seconds left (-1 unknown).
    double BytesPerSecond();
    int64_t SecondsLeft();

private:

    IClock& m_Clock;
    const uint64_t m_nMinIntervalMs;
    std::mutex m_Mutex;   // reports come on the job's thread, the press on the window's
    uint64_t m_nStartMs = 0;
    bool m_bFirst = true;           // no report since Start
    CTransferRate m_Rate;
    bool m_bShown = false;
    uint64_t m_nShownMs = 0;
    TransferProgress m_Progress;
};
