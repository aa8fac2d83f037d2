#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "console/file_entry.h"
#include "console/manifest.h"
#include "console/manifest_lock.h"
#include "console/tovar_view.h"
#include "console/transfer_status.h"
#include "base/clock.h"
#include "job/job.h"
#include "record/station_record.h"
#include "job/job_log_file.h"
#include "samba/at91boot_dll.h"
#include "serial/serial.h"

// Station settings that are not part of the operator's job.
struct TovarJobOptions {
    std::string strWorkDir;      // empty: the current directory at start-up
    std::string strStation;      // the station's name in job results
    int nExitWaitMs = 10000;     // how long Exit waits for the worker
    PortResolver fnPortResolver; // COM number to device path; empty: no console port
    TransferSettings transfer;   // endpoints and time limits of the image transfer
    CStationRecord* pRecord = nullptr;  // the production record and identity guard; null: none
    JobIdentity startIdentity;          // the fields' first texts with a record (the demo's sample board)
    std::string strLogDir;       // the boards' log files; empty: logs/ in the working folder
};

// The operator's console: the main window's logic. It checks the operator's input, writes the
// install manifest, hands each job to its job engine and sets the buttons from the engine's
// reports. The window is reached only through ITovarView.
class CTovarDlg : private IJobObserver {
public:
    CTovarDlg(ITovarView& view, At91BackendFactory fnBackendFactory, IClock& clock = SystemClock(),
              TovarJobOptions options = {});
    ~CTovarDlg();
    CTovarDlg(const CTovarDlg&) = delete;
    CTovarDlg& operator=(const CTovarDlg&) = delete;

    // Handlers, all on the user-interface thread.
    bool OnInitDialog();
    void OnOK();
    void OnStop();
    void OnCancel();
    void OnClose();
    void OnSet();
    void OnAutoNumber();   // the 自动编号 check box changed
    bool CanExit();

    // Any thread.
    void AppendLog(const std::string& strText);
    void SetJobButtons(bool bDownload, bool bExit, bool bStop);

    // Port number of a device name: the decimal digits at positions 3 and 4 (COM7 -> 7, COM123 -> 12).
    static int PortNumberOfName(const char* szName);
    int DeviceCount() const;
    bool WorkerRunning() const { return m_pJob && m_pJob->WorkerRunning(); }
    CJob* Job() { return m_pJob.get(); }

    // Jobs started by a press, and the result of the last one that ended (waits at most nTimeoutMs).
    int JobsStarted() const { return m_nJobsStarted.load(); }
    std::optional<JobResult> WaitJobResult(int nTimeoutMs);

    // Console state.
    std::unique_ptr<CAt91BootDll> m_pBootDll;   // lists the devices; made anew after each job
    char* m_szDevices[SCAN_MAX_DEVICES] = {};
    FileEntry m_Files[FILE_TABLE_SLOTS];
    std::string m_strWorkDir;
    int m_nFileCount = -1;
    std::string m_strLog = " 开始下载程序：\r\n";
    void* m_pAutoProxy = nullptr;

    // The banner for a finished job: its look and text ("成功", "失败 — transfer: ...", "已终止 — ...").
    static VerdictLook VerdictOf(const JobResult& result, std::string& strText);

private:
    void OnJobLog(const std::string& strText) override;
    void OnJobDetail(const std::string& strText) override;
    void OnJobProgress(const TransferProgress& progress) override;
    void OnJobFinished(const JobResult& result) override;

    void ListDevices();
    void SortDevices(int nCount);
    void LoadConfiguration();
    // The next identity from the pools into the fields (later: from the job's thread).
    void FillNextIdentity(bool bLater);
    void ShowTodayCount();
    // Records a job refused at the press (and releases what the guard held for it).
    void RecordRefused(const JobIdentity& identity, const std::string& strReason, const IdentityClaim& claim);
    void EnableInputs(bool bEnable);
    ITovarView& m_View;
    At91BackendFactory m_fnBackendFactory;
    IClock& m_Clock;
    TovarJobOptions m_Options;
    CTransferStatus m_TransferStatus;
    std::unique_ptr<CJobLogFile> m_pLogFile;   // between the job and this dialog; outlives the job
    std::unique_ptr<CJob> m_pJob;
    std::string m_strConfigProblem;            // why config.cfg gave no file table; empty when it did

    std::vector<std::vector<char>> m_DeviceBuffers;   // the storage m_szDevices points into
    std::vector<std::string> m_strSelectorNames;       // selector entries, as added at start-up
    std::atomic<int> m_bExitEnabled{1};
    std::atomic<int> m_nJobsStarted{0};
    CManifest m_Manifest;
    CManifestLock m_ManifestLock;   // held from the manifest's write until the job ends
    IdentityClaim m_Claim;          // the guard's hold on the running job's identity
    std::atomic<int> m_bAutoNumber{0};
    std::mutex m_ResultMutex;
    std::condition_variable m_ResultCond;
    std::optional<JobResult> m_LastResult;
};
