#pragma once
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/clock.h"
#include "job/job.h"
#include "job/job_log_file.h"
#include "line/board_steps.h"
#include "record/station_record.h"
#include "station/manifest.h"
#include "station/manifest_lock.h"
#include "station/slot_manifest.h"
#include "station/station_settings.h"

// One board's run as a front end asks for it.
struct BoardRunRequest {
    StationSettings station;                 // the station's settings (a gang slot's with its own values)
    std::optional<JobIdentity> identity;     // typed in; none: the next one from the pools
    std::string strPort;                     // "COM3" or a device path (not used without a bring-up)
    int nComPort = 0;                        // the boot monitor's number of the port; 0: from strPort
    bool bPortListed = false;                // chosen among the devices the boot monitor lists
    std::string strDevice;                   // the monitor's name of the port; empty: "COMn (path)"
    PortResolver fnPortPath;                 // the port's device path; empty: the station's port map
    std::string strPortProblem;              // the front end has no port for the board: this log line says why
    std::vector<int> select;                 // file-table slots to send; empty: as configured
    std::optional<BoardFileTable> files;     // the front end's own table; none: config.cfg
    bool bBringUp = true;                    // false: only the transfer, to a board whose boot loader runs
    int nJobTimeoutS = 0;                    // Wait's time limit; 0: none
};

// What a board run reports: every line the operator sees (the checks' and the manifest's before
// the job's), the job's reports, and once per started run the recorded result (OnJobFinished).
class IBoardRunObserver : public IJobObserver {
public:
    // The identity the board gets, before it is guarded.
    virtual void OnRunIdentity(const JobIdentity& identity) { (void)identity; }
    // The board was installed before with this identity: go on and install it again? A front end
    // where an operator stands asks; the others go on.
    virtual bool ConfirmReflash(const JobIdentity& identity, const IdentityClaim& claim)
    {
        (void)identity, (void)claim;
        return true;
    }
};

// Everything around one board's job, the same for every front end: identity (typed or from the
// pools), code page 936, guard and hold, file table and selection, SHA256SUMS, port, manifest,
// the job itself, the wait with its stop and time limit, and the record. A refusal sends nothing
// to the board. One run at a time; reused for the next board.
class CBoardRun : private IJobObserver {
public:
    // strSlotFolder: a gang slot's folder for its own ins.txt; empty: the image folder's ins.txt.
    CBoardRun(IBoardRunObserver& observer, CStationRecord* pRecord, At91BackendFactory fnFactory,
              const std::string& strLogDir, std::string strSlotFolder = {}, IClock& clock = SystemClock());
    ~CBoardRun() override;
    CBoardRun(const CBoardRun&) = delete;
    CBoardRun& operator=(const CBoardRun&) = delete;

    // Walks every step and starts the job. False when the run was refused before anything reached
    // the board: refused then holds the result (verdict refused, stage prepare, the reason), which
    // is recorded; nothing else is reported of it.
    bool Start(const BoardRunRequest& request, JobResult& refused);
    // Waits for the started job's result; the job is stopped when bStop is raised or after the
    // request's time limit (then it counts as failed), and given up when it does not report
    // within a bound after its stop. Returns the recorded result.
    JobResult Wait(const std::atomic<int>& bStop);

    void Stop();
    bool Quit(int nWaitMs);
    bool Running() const { return m_pJob->Running(); }
    JobStage Stage() const { return m_pJob->Stage(); }
    bool WorkerRunning() const { return m_pJob->WorkerRunning(); }
    CJob& Job() { return *m_pJob; }
    // The log file of the run going on or last run.
    std::string LogFilePath() const { return m_pLogFile->Path(); }

    // The result of a request that never ran: its identity, port, images (none sent), now.
    static JobResult ResultOfRequest(const JobRequest& request);

private:
    bool Refuse(const JobRequest& job, JobCause cause, const std::string& strReason, JobResult& refused);
    void Log(const std::string& strText);
    void Conclude(JobResult result);

    void OnJobStarted(const JobRequest& request) override;
    void OnJobLog(const std::string& strText) override;
    void OnJobDetail(const std::string& strText) override;
    void OnJobProgress(const TransferProgress& progress) override;
    void OnJobStage(JobStage stage) override;
    void OnJobFinished(const JobResult& result) override;

    IBoardRunObserver& m_Observer;
    CStationRecord* m_pRecord;
    std::string m_strSlotFolder;
    CManifest m_Manifest;
    std::unique_ptr<CSlotManifest> m_pSlotManifest;
    CManifestLock m_ManifestLock;            // held from the manifest's write until the job ends
    std::unique_ptr<CJobLogFile> m_pLogFile;
    std::unique_ptr<CJob> m_pJob;

    std::string m_strEarlierLog;             // this board's lines before its job started
    JobRequest m_Request;                    // the started job's
    IdentityClaim m_Claim;
    int m_nJobTimeoutS = 0;
    std::mutex m_Mutex;
    std::condition_variable m_Cond;
    std::atomic<int> m_bTimedOut{0};
    bool m_bConcluded = true;                // the started job's result was recorded
    bool m_bAwayRefused = false;             // the last run was refused for a record that did not answer
    std::optional<JobResult> m_Result;
};
