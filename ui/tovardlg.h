#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "station/file_entry.h"
#include "base/clock.h"
#include "line/board_run.h"
#include "record/station_record.h"
#include "samba/at91boot_dll.h"
#include "serial/serial.h"
#include "station/station_settings.h"
#include "ui/stage_clock.h"
#include "line/run_heartbeat.h"
#include "ui/tovar_view.h"
#include "ui/transfer_status.h"

// Station settings that are not part of the operator's job.
struct TovarJobOptions {
    StationSettings station;     // working folder (empty or ".": the current directory at start-up),
                                 // transfer, log folder, station name
    int nExitWaitMs = 10000;     // how long Exit waits for the worker
    PortResolver fnPortResolver; // COM number to device path; empty: the station's port map
    CStationRecord* pRecord = nullptr;  // the production record and identity guard; null: none
    JobIdentity startIdentity;          // the fields' first texts with a record (the demo's sample board)
};

// The window's options from a station's settings: its port map resolves the ports.
TovarJobOptions MakeJobOptions(const StationSettings& station);

// The operator's console: the main window's logic. It lists the devices, takes the operator's
// input and hands each press to the board run, which checks it, writes the install manifest,
// runs the job and records it; the buttons follow the run's reports. The window is reached only
// through ITovarView.
class CTovarDlg : private IBoardRunObserver {
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
    void OnSelChangePort();   // the operator chose a device: it is remembered for the next start
    bool CanExit();

    // Any thread.
    void AppendLog(const std::string& strText);
    void SetJobButtons(bool bDownload, bool bExit, bool bStop);

    // Port number of a device name: the decimal digits at positions 3 and 4 (COM7 -> 7, COM123 -> 12).
    static int PortNumberOfName(const char* szName);
    int DeviceCount() const;
    bool WorkerRunning() const { return m_pRun && m_pRun->WorkerRunning(); }
    CJob* Job() { return m_pRun ? &m_pRun->Job() : nullptr; }

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

    // The banner for a finished or refused job: its look and, in the operator's words, what happened
    // and what to do next ("成功", "未开始 — 串口不可用\n请检查...", "失败 — ...", "已终止 — ...",
    // "部分安装 — ...").
    static VerdictLook VerdictOf(const JobResult& result, std::string& strText);
    // The running job's stage and time, for the window's timer; empty when no job runs.
    std::string StageText() const { return m_StageClock.Text(m_Clock.NowMs()); }

private:
    void OnJobLog(const std::string& strText) override;
    void OnJobDetail(const std::string& strText) override;
    void OnJobProgress(const TransferProgress& progress) override;
    void OnJobStage(JobStage stage) override;
    bool ConfirmReflash(const JobIdentity& identity, const IdentityClaim& claim) override;
    void OnJobFinished(const JobResult& result) override;

    void ListDevices();
    void FillSelector();
    bool UnlockEngineer();
    void RememberPort();
    void SortDevices(int nCount);
    void LoadConfiguration();
    // The station's boot monitor ports into the 监控口 selector, when it names any.
    void ListMonitorPorts();
    // The next identity from the pools into the fields (later: from the job's thread).
    void FillNextIdentity(bool bLater);
    void ShowTodayCount();
    // The chosen device's name, or the log line that says why there is none.
    bool ChosenDevice(std::string& strDevice, std::string& strProblem);
    void EnableInputs(bool bEnable);
    ITovarView& m_View;
    At91BackendFactory m_fnBackendFactory;
    IClock& m_Clock;
    TovarJobOptions m_Options;
    CTransferStatus m_TransferStatus;
    CStageClock m_StageClock;
    std::unique_ptr<CHeartbeat> m_pHeartbeat;  // the station's heartbeat for the line view (with a record)
    std::unique_ptr<CRunHeartbeat> m_pReports; // the run's reports on their way here, through the heartbeat
    std::unique_ptr<CBoardRun> m_pRun;         // each press's checks, manifest, job and record
    std::string m_strConfigProblem;            // why config.cfg gave no file table; empty when it did

    std::vector<std::vector<char>> m_DeviceBuffers;   // the storage m_szDevices points into
    std::vector<std::string> m_strSelectorNames;       // selector entries, as added at start-up
    std::vector<std::string> m_strMonitorPorts;        // the 监控口 selector's ports; empty: none shown
    std::atomic<int> m_bExitEnabled{1};
    std::atomic<int> m_nJobsStarted{0};
    std::atomic<int> m_bAutoNumber{0};
    std::mutex m_ResultMutex;
    std::condition_variable m_ResultCond;
    std::optional<JobResult> m_LastResult;
};
