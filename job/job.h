#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/clock.h"
#include "job/job_events.h"
#include "job/job_observer.h"
#include "job/job_request.h"
#include "net/net.h"
#include "net/transfer_host.h"
#include "samba/at91boot_dll.h"
#include "serial/dcb.h"
#include "serial/serial.h"

// How a bring-up ended. BrokenOff still waits for a console; Failed ends the job with the cause.
enum class BringUpResult { Completed, BrokenOff, Failed, ChipRejected, Stopped };

// One board's job engine: bring-up through the boot monitor, the serial console handshake and
// the image transfer, run by its own worker thread on a request copied at Start. It reports only
// through its observer. Several may run side by side in one process.
class CJob : private ITransferHost {
public:
    // Starts the worker, which waits for jobs until Quit or destruction.
    CJob(IJobObserver& observer, At91BackendFactory fnBackendFactory, IClock& clock = SystemClock());
    ~CJob();
    CJob(const CJob&) = delete;
    CJob& operator=(const CJob&) = delete;

    // Hands a job to the worker; false (strWhy says why) while another runs or the worker ended.
    bool Start(const JobRequest& request, std::string& strWhy);
    // Ends the running job at its next step, in any stage; the job reports Stopped.
    void Stop();
    // Ends the worker from any state; false when it did not end within nWaitMs. A worker that did
    // not end is left to finish on its own; the object must then outlive it (see the destructor).
    bool Quit(int nWaitMs);

    bool Running() const { return m_bRunning.load() != 0; }
    JobStage Stage() const { return m_Stage.load(); }
    bool WorkerRunning() const { return m_bWorkerEnded.load() == 0; }

    // The worker and its stages.
    static unsigned DownloadThreadProc(CJob* pJob);
    BringUpResult BringUp();
    void ConsoleHandshake();
    void NetDownload();

private:
    void AppendLog(const std::string& strText) override;
    void AppendDetail(const std::string& strText) override;
    void OnProgress(const TransferProgress& progress) override;
    void EnterStage(JobStage stage);
    void Finish(JobVerdict verdict, JobCause cause, const std::string& strReason)
    {
        Finish(verdict, cause, strReason, m_Stage.load());
    }
    void Finish(JobVerdict verdict, JobCause cause, const std::string& strReason, JobStage stage);
    void EndBringUp();
    BringUpResult BreakOff(const std::string& strCause);
    bool ConsoleTimeUp();
    bool BringUpCall(const char* szWhat, int32_t nError);
    void WorkerEnded();

    IJobObserver& m_Observer;
    At91BackendFactory m_fnBackendFactory;
    IClock& m_Clock;

    // Job state; the request and result are touched by the worker only once a job has started.
    JobRequest m_Request;
    JobResult m_Result;
    std::atomic<int> m_bStop{0};
    std::atomic<int> m_bQuit{0};
    std::atomic<int> m_bRunning{0};
    std::atomic<JobStage> m_Stage{JobStage::Prepare};
    uint64_t m_nStageStartMs = 0;
    std::string m_strBringUpCause;  // why the bring-up broke off or failed, for the result
    std::unique_ptr<CAt91BootDll> m_pBootDll;
    int32_t m_hDevice = 0;
    CJobEvents m_hEvents;
    CNet m_Net;
    CSerial m_Serial;
    int m_nComPort = 0;
    std::string m_strMonitorName;  // where the bring-up talks to the monitor, for its log lines
    DCB m_SerialSettings;
    int m_bConsolePhase = 0;
    bool m_bBringUpBrokenOff = false;  // the console phase is the fallback after a broken-off bring-up
    int m_bPortErrorShown = 0;
    uint64_t m_nConsoleStartMs = 0;
    std::atomic<int32_t> m_nHandshakeCount{0};

    std::thread m_hThread;
    std::mutex m_WorkerMutex;
    std::condition_variable m_WorkerCond;
    std::atomic<int> m_bWorkerEnded{0};
    bool m_bWorkerAbandoned = false;
};
