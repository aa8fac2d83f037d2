#pragma once
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "app/gang_observer.h"
#include "app/gang_settings.h"
#include "console/manifest_lock.h"
#include "console/slot_manifest.h"
#include "job/job.h"
#include "job/job_log_file.h"
#include "record/station_record.h"

// One slot of a gang station: its own job engine and ins.txt, run on a thread of its own. For each
// board it takes an identity (from the pools, or the one given), guards it, writes the slot's
// manifest, runs the job and records the result; with GangSettings::bLoop it then waits for the
// next board's boot monitor and starts again by itself. It shares only the record with other slots.
class CGangSlot : private IJobObserver {
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
    // A job refused before it reached the board: recorded and reported.
    void Refuse(const JobRequest& request, const IdentityClaim& claim, const std::string& strReason);
    void Report(const JobResult& result, const IdentityClaim& claim);
    // Runs the job to its result; false when the engine did not end after a stop and is given up.
    bool RunJob(const JobRequest& request, JobResult& result);
    std::optional<JobResult> WaitResult(int nMs);
    void Log(const std::string& strLine);

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
    CSlotManifest m_Manifest;
    CManifestLock m_ManifestLock;     // the slot's ins.txt, held while its job runs
    std::unique_ptr<CJobLogFile> m_pLogFile;   // each board's log file, between the job and this slot
    std::unique_ptr<CJob> m_pJob;

    std::mutex m_ResultMutex;
    std::condition_variable m_ResultCond;
    std::optional<JobResult> m_Result;
    std::thread m_Thread;
};
