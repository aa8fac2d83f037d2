#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "console/file_entry.h"
#include "console/tovar_view.h"
#include "job/clock.h"
#include "job/job_events.h"
#include "samba/at91boot_dll.h"
#include "net/image_transfer.h"
#include "net/net.h"
#include "net/transfer_host.h"
#include "serial/dcb.h"
#include "serial/serial.h"

// Station settings that are not part of the operator's job.
struct TovarJobOptions {
    std::string strWorkDir;      // empty: the current directory at start-up
    int nExitWaitMs = 10000;     // how long Exit waits for the worker
    PortResolver fnPortResolver; // COM number to device; empty: no console port
    TransferSettings transfer;   // endpoints and time limits of the image transfer
};

// Sync bursts sent on the console since the program started, across jobs.
extern std::atomic<int32_t> g_nHandshakeCount;

// How a job ended, for front ends that run one job and report it.
enum class JobOutcome { None, Installed, InstallFailed, ChipRejected, Ended, Stopped };

// How a bring-up ended.
enum class BringUpResult { Completed, BrokenOff, ChipRejected };

// The main dialog's logic and the record of a download job. The window is reached only
// through ITovarView; the worker thread and its stages work on these fields.
class CTovarDlg : private ITransferHost {
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
    bool CanExit();

    // Any thread.
    void AppendLog(const std::string& strText) override;
    void SetJobButtons(bool bDownload, bool bExit, bool bStop);

    // Worker stages.
    static unsigned DownloadThreadProc(CTovarDlg* pDlg);
    BringUpResult BringUp();
    void ConsoleHandshake();
    void NetDownload();

    // Stages report how a job ended; a front end without a window waits for it (bounded).
    void ReportJobOutcome(JobOutcome outcome);
    JobOutcome WaitJobOutcome(int nTimeoutMs);

    // Port number of a device name: the decimal digits at positions 3 and 4 (COM7 -> 7, COM123 -> 12).
    static int PortNumberOfName(const char* szName);
    bool WorkerRunning() const { return !m_bWorkerEnded.load(); }
    int DeviceCount() const;

    // Job state (see the worker and its stages).
    std::atomic<int> m_bStop{0};
    std::unique_ptr<CAt91BootDll> m_pBootDll;
    char* m_szDevices[SCAN_MAX_DEVICES] = {};
    unsigned m_nThreadId = 0;
    std::thread m_hThread;
    CJobEvents m_hEvents;
    CNet m_Net;
    CSerial m_Serial;
    std::atomic<int> m_nComPort{0};
    DCB m_SerialSettings;
    std::atomic<int> m_bConsolePhase{0};
    std::atomic<int> m_bPortErrorShown{0};
    int32_t m_hDevice = 0;
    FileEntry m_Files[FILE_TABLE_SLOTS];
    std::string m_szWorkDir;
    int m_nFileCount = -1;
    std::string m_strLog = " 开始下载程序：\r\n";
    void* m_pAutoProxy = nullptr;

    // Cooperative end of the worker: Exit sets it, every wait of the worker watches it.
    std::atomic<int> m_bQuit{0};
    // Set from a job's start signal until its bring-up has ended: a press meanwhile starts nothing.
    std::atomic<int> m_bBringUpPending{0};
    // Set while an image transfer runs: a press then would clear the Stop that is ending it.
    std::atomic<int> m_bTransferRunning{0};
    // Jobs that a press has started (signalled to the worker).
    std::atomic<int> m_nJobsStarted{0};

private:
    void ListDevices();
    void SortDevices(int nCount);
    void LoadConfiguration();
    void EndBringUp();
    void WorkerEnded();
    void EnableButtons() override;
    void SetProgress(int nPercent) override;
    bool WaitForWorkerEnd();

    ITovarView& m_View;
    At91BackendFactory m_fnBackendFactory;
    IClock& m_Clock;
    TovarJobOptions m_Options;

    std::vector<std::vector<char>> m_DeviceBuffers;   // the storage m_szDevices points into
    std::vector<std::string> m_strSelectorNames;       // selector entries, as added at start-up
    std::mutex m_WorkerMutex;
    std::condition_variable m_WorkerCond;
    std::atomic<int> m_bWorkerEnded{1};
    std::atomic<int> m_bExitEnabled{1};
    bool m_bWorkerAbandoned = false;
    JobOutcome m_LastOutcome = JobOutcome::None;
};
