#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "line/board_run.h"
#include "line/gang_observer.h"
#include "line/gang_settings.h"
#include "record/station_record.h"

// One slot of a gang station: its own job engine and ins.txt, run on a thread of its own. For each
// board it takes an identity (from the pools, or the one given), guards it, writes the slot's
// manifest, runs the job and records the result; with GangSettings::bLoop it then waits for the
// next board's boot monitor and starts again by itself. It shares only the record with other slots.
class CGangSlot : private IBoardRunObserver {
public:
    // fnEnded is called on the slot's thread after its last report.
    CGangSlot(const GangSlotSetup& setup, const GangSettings& settings, const GangHooks& hooks, CStationRecord& record,
              IGangObserver& observer, std::function<void()> fnEnded);
    ~CGangSlot();
    CGangSlot(const CGangSlot&) = delete;
    CGangSlot& operator=(const CGangSlot&) = delete;

    void Start();
    // The running job stops (recorded as stopped), a wait for the next board ends; no more boards.
    void Stop();
    bool Ended() const { return m_bEnded.load() != 0; }
    int Slot() const { return m_Setup.nSlot; }

private:
    void Run();
    // One board; false when the slot takes no more (strEndWhy says why).
    bool RunBoard(bool& bGoneFirst, std::string& strEndWhy);
    void Log(const std::string& strLine);

    void OnRunIdentity(const JobIdentity& identity) override;
    void OnJobLog(const std::string& strText) override;
    void OnJobDetail(const std::string& strText) override;
    void OnJobProgress(const TransferProgress& progress) override;
    void OnJobStage(JobStage stage) override;
    void OnJobFinished(const JobResult& result) override;

    GangSlotSetup m_Setup;
    GangSettings m_Settings;
    GangHooks m_Hooks;
    CStationRecord& m_Record;
    IGangObserver& m_Observer;
    std::function<void()> m_fnEnded;

    std::atomic<int> m_bStop{0};
    std::atomic<int> m_bEnded{0};
    int m_nFailuresInRow = 0;            // failed boards since the last installed one (slot thread)
    std::unique_ptr<CBoardRun> m_pRun;   // the slot's job engine, its own ins.txt and its boards' log files
    std::thread m_Thread;
};
