#pragma once
#include <QDialog>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "line/gang_control.h"
#include "qt/post_queue.h"
#include "base/clock.h"

class CGangTile;
class QCheckBox;
class QLabel;
class QPushButton;

// The gang station's window: one tile per slot, each started and stopped by itself or all at
// once, with the shift's count of boards installed and failed as the record holds them (without a
// record: since the window opened). The slots report
// on their own threads; every report is carried out on the window's thread in the order it came.
class CGangWindow : public QDialog, private IGangObserver {
    Q_OBJECT
public:
    // fnMakeControl makes the station with this window as its observer; the window owns it.
    CGangWindow(const GangControlFactory& fnMakeControl, IClock& clock, QWidget* pParent = nullptr);
    // Stops every slot and waits for them before the window goes.
    ~CGangWindow() override;

    void StartAll();
    void StopAll();
    void StartSlot(int nSlot);
    void StopSlot(int nSlot);
    // Stops every slot, waits a bounded time for them and closes the window; with boards running
    // only when the operator confirms.
    void Exit();
    // The question Exit asks (default: a message box); true: stop them.
    void SetConfirmExit(std::function<bool(int nRunning)> fnConfirm) { m_fnConfirmExit = std::move(fnConfirm); }
    bool AskExit(int nRunning);

    CGangTile* Tile(int nSlot) const;
    int TileCount() const { return static_cast<int>(m_Tiles.size()); }
    QCheckBox* LoopCheck() const { return m_checkLoop; }
    std::string ShiftText() const;
    // What slot nSlot has logged since the window opened ("\r\n" line ends, as the jobs give them).
    std::string LogText(int nSlot) const;
    // True when every slot's log holds strText.
    bool EveryLogHolds(const std::string& strText) const;

protected:
    void reject() override;

private:
    void OnSlotLog(int nSlot, const std::string& strText) override;
    void OnSlotWaiting(int nSlot, bool bWaiting) override;
    void OnSlotBoard(int nSlot, const JobIdentity& identity) override;
    void OnSlotStage(int nSlot, JobStage stage) override;
    void OnSlotProgress(int nSlot, const TransferProgress& progress) override;
    void OnSlotResult(int nSlot, const JobResult& result) override;
    void OnSlotAlarm(int nSlot, int nFailures) override;
    void OnSlotEnded(int nSlot, const std::string& strWhy) override;
    void OnShiftCounts(const LineCounts& counts) override;

    // Runs fn on the window's thread, after the reports queued before it.
    template <typename Fn>
    void Later(Fn fn);
    void CountResult(const JobResult& result);
    void ShowShift(int64_t nInstalled, int64_t nFailed);
    void StopAndWait();

    std::unique_ptr<IGangControl> m_pControl;
    std::map<int, CGangTile*> m_Tiles;
    std::map<int, std::string> m_Logs;
    QPushButton* m_btnStartAll = nullptr;
    QPushButton* m_btnStopAll = nullptr;
    QPushButton* m_btnExit = nullptr;
    QCheckBox* m_checkLoop = nullptr;
    QLabel* m_labelShift = nullptr;
    int m_nInstalled = 0;          // since the window opened, shown while the record has given no counts
    int m_nFailed = 0;
    bool m_bRecordCounts = false;  // the shift's counts come from the record
    bool m_bClosing = false;
    std::function<bool(int)> m_fnConfirmExit = [this](int nRunning) { return AskExit(nRunning); };
    // Reports of the slots' threads, run on the window's thread in the order they came.
    CPostQueue<std::function<void()>> m_Queue{*this, [](std::deque<std::function<void()>>& ops) {
        for (auto& fn : ops)
            fn();
    }};
};
