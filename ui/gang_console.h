#pragma once
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "line/gang_observer.h"
#include "ui/gang_status_line.h"
#include "base/clock.h"

// The gang on a command line. Status mode (a terminal): one status line per slot, rewritten in
// place with ANSI cursor movement, with each board's verdict (and a failed board's log) printed
// above them. Lines mode: every log line prefixed "[slotN] ", a progress line per slot every five
// seconds unless quiet. Each result also goes as one JSON line to pJson when given. Safe from the
// slots' threads.
class CGangConsole : public IGangObserver {
public:
    enum class Mode { Status, Lines };
    static constexpr uint64_t STATUS_EVERY_MS = 250;
    static constexpr uint64_t PROGRESS_EVERY_MS = 5000;

    // slots: each slot's number and port, in the order shown.
    CGangConsole(std::ostream& out, std::ostream* pJson, IClock& clock, Mode mode, bool bProgress,
                 const std::vector<std::pair<int, std::string>>& slots);

    void OnSlotLog(int nSlot, const std::string& strText) override;
    void OnSlotWaiting(int nSlot, bool bWaiting) override;
    void OnSlotStage(int nSlot, JobStage stage) override;
    void OnSlotProgress(int nSlot, const TransferProgress& progress) override;
    void OnSlotResult(int nSlot, const JobResult& result) override;
    void OnSlotEnded(int nSlot, const std::string& strWhy) override;

    // Draws the status lines when they changed and are due (call it now and then).
    void Tick();
    // Draws them a last time.
    void Finish();
    // Every result so far.
    std::vector<JobResult> Results() const;

private:
    struct SlotView {
        CGangStatusLine line;
        std::string strPartial;           // a log line not yet ended
        std::vector<std::string> jobLog;  // the current board's lines (status mode: shown when it fails)
        uint64_t nLastProgressMs = 0;
    };

    void PrintAbove(const std::string& strText);
    void Draw(bool bForce);
    SlotView* Find(int nSlot);

    std::ostream& m_Out;
    std::ostream* m_pJson;
    IClock& m_Clock;
    Mode m_Mode;
    bool m_bProgress;
    mutable std::mutex m_Mutex;
    std::vector<int> m_Order;
    std::map<int, SlotView> m_Views;
    std::vector<JobResult> m_Results;
    bool m_bDrawn = false;   // the status lines are on the screen below the cursor's line
    bool m_bDirty = true;
    uint64_t m_nLastDrawMs = 0;
};
