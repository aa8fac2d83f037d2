#include "job/job.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

CJob::CJob(IJobObserver& observer, At91BackendFactory fnBackendFactory, IClock& clock)
    : m_Observer(observer), m_fnBackendFactory(std::move(fnBackendFactory)), m_Clock(clock)
{
    m_SerialSettings.BaudRate = 115200;
    m_SerialSettings.ByteSize = 8;
    m_SerialSettings.Parity = 0;
    m_SerialSettings.StopBits = 0;
    // The console opens the request's device, whatever number it carries.
    m_Serial.SetPortResolver([this](int) { return m_Request.port.strPath; });
    m_hThread = std::thread(&CJob::DownloadThreadProc, this);
}

CJob::~CJob()
{
    if (!Quit(10000) || m_bWorkerAbandoned) {
        std::unique_lock<std::mutex> lock(m_WorkerMutex);
        // The worker still uses this object and nothing can stop it from outside: end the process,
        // as the application would right after its window anyway.
        if (!m_WorkerCond.wait_for(lock, std::chrono::milliseconds(10000), [this] { return m_bWorkerEnded.load() != 0; })) {
            std::fputs("tovar: a job's worker did not stop; ending the process\n", stderr);
            std::_Exit(3);
        }
    }
}

bool CJob::Start(const JobRequest& request, std::string& strWhy)
{
    if (m_bWorkerEnded.load()) {
        strWhy = "the job engine has ended";
        return false;
    }
    int nIdle = 0;
    if (!m_bRunning.compare_exchange_strong(nIdle, 1)) {
        strWhy = m_Stage.load() == JobStage::BringUp ? "the previous board is still being brought up"
                                                      : "the previous job has not ended yet";
        return false;
    }
    // The worker is idle: it touches the request and result only after taking the signal below.
    m_Request = request;
    m_Result = JobResult{};
    m_Result.identity = request.identity;
    m_Result.strStation = request.strStation;
    m_Result.nComPort = request.port.nPort;
    m_Result.strDevicePath = request.port.strPath;
    m_Result.strStartTime = IsoTimeNow();
    for (const TransferImage& image : request.images)
        m_Result.images.push_back({image.nSlot, image.nId, image.strName, 0, {}, 0, 0, false});
    m_bStop = 0;
    m_bPortErrorShown = 0;
    m_nComPort = request.port.nPort;
    m_Observer.OnJobStarted(m_Request);
    m_hEvents.Set(request.bBringUp ? CJobEvents::EVENT_START : CJobEvents::EVENT_TRANSFER);
    return true;
}

void CJob::Stop() { m_bStop = 1; }

bool CJob::Quit(int nWaitMs)
{
    m_bStop = 1;
    m_bQuit = 1;
    m_hEvents.Set(CJobEvents::EVENT_QUIT);
    if (!m_hThread.joinable())
        return m_bWorkerEnded.load() != 0;
    std::unique_lock<std::mutex> lock(m_WorkerMutex);
    bool bEnded = m_WorkerCond.wait_for(lock, std::chrono::milliseconds(nWaitMs),
                                        [this] { return m_bWorkerEnded.load() != 0; });
    lock.unlock();
    if (bEnded) {
        m_hThread.join();
    } else {
        m_bWorkerAbandoned = true;
        m_hThread.detach();
    }
    return bEnded;
}

void CJob::AppendLog(const std::string& strText) { m_Observer.OnJobLog(strText); }

void CJob::AppendDetail(const std::string& strText) { m_Observer.OnJobDetail(strText); }

void CJob::OnProgress(const TransferProgress& progress) { m_Observer.OnJobProgress(progress); }

// Closes the time of the stage left and reports the new one.
void CJob::EnterStage(JobStage stage)
{
    uint64_t nNow = m_Clock.NowMs();
    int64_t nSpent = static_cast<int64_t>(nNow - m_nStageStartMs);
    switch (m_Stage.load()) {
    case JobStage::BringUp:
        m_Result.nBringUpMs += nSpent;
        break;
    case JobStage::Console:
        m_Result.nConsoleMs += nSpent;
        break;
    case JobStage::Transfer:
        m_Result.nTransferMs += nSpent;
        break;
    case JobStage::Prepare:
        break;
    }
    m_nStageStartMs = nNow;
    m_Stage = stage;
    if (stage != JobStage::Prepare) {
        m_Result.stage = stage;
        m_Observer.OnJobStage(stage);
    }
}

// Ends the job; stage is where the result says it ended.
void CJob::Finish(JobVerdict verdict, JobCause cause, const std::string& strReason, JobStage stage)
{
    EnterStage(JobStage::Prepare);
    m_Result.stage = stage;
    m_Result.verdict = verdict;
    m_Result.strReason = verdict == JobVerdict::Installed ? std::string() : strReason;
    m_Result.cause = verdict == JobVerdict::Installed ? JobCause::None : cause;
    m_Result.strEndTime = IsoTimeNow();
    m_bConsolePhase = 0;
    m_Serial.ClosePort();
    // Still running while the observer hears of the end, so a press meanwhile is refused rather
    // than racing the observer's clean-up.
    m_Observer.OnJobFinished(m_Result);
    m_bRunning = 0;
}

void CJob::WorkerEnded()
{
    std::lock_guard<std::mutex> lock(m_WorkerMutex);
    m_bWorkerEnded = 1;
    m_WorkerCond.notify_all();
}

// The worker: idle on the job events; a start runs the bring-up, after which the console
// handshake is tried about every 10 ms until the board answers; the transfer event runs the image
// transfer. Stop ends a job in any stage; Quit ends the worker from any state.
unsigned CJob::DownloadThreadProc(CJob* pJob)
{
    CJob& job = *pJob;
    job.m_bConsolePhase = 0;
    while (!job.m_bQuit.load()) {
        if (job.m_bConsolePhase == 0) {
            int nEvent = job.m_hEvents.Wait();
            if (nEvent == CJobEvents::EVENT_QUIT || job.m_bQuit.load())
                break;
            if (nEvent == CJobEvents::EVENT_START) {
                BringUpResult bringUp = job.BringUp();
                switch (bringUp) {
                case BringUpResult::ChipRejected:
                    job.Finish(JobVerdict::ChipRejected, JobCause::ChipRejected, "the chip is not a SAM9X25");
                    break;
                case BringUpResult::Failed:
                    job.Finish(JobVerdict::Failed, JobCause::BringUp, job.m_strBringUpCause);
                    break;
                case BringUpResult::Stopped:
                    job.AppendLog("终止下载!\r\n");
                    job.Finish(JobVerdict::Stopped, JobCause::Stopped, "stopped during the bring-up");
                    break;
                case BringUpResult::Completed:
                case BringUpResult::BrokenOff:
                    // Even after a failed bring-up a board may still come up: wait for its console.
                    job.m_bBringUpBrokenOff = bringUp == BringUpResult::BrokenOff;
                    job.m_bConsolePhase = 1;
                    job.m_nConsoleStartMs = job.m_Clock.NowMs();
                    job.EnterStage(JobStage::Console);
                    break;
                }
            } else if (nEvent == CJobEvents::EVENT_TRANSFER) {
                job.NetDownload();
            }
        }
        if (job.m_bConsolePhase != 0 && !job.m_bQuit.load()) {
            if (job.m_bStop.load()) {
                job.AppendLog("终止下载!\r\n");
                job.Finish(JobVerdict::Stopped, JobCause::Stopped, "stopped while waiting for the boot loader's console");
            } else if (!job.ConsoleTimeUp()) {
                job.ConsoleHandshake();
            }
        }
        job.m_Clock.SleepMs(10);
    }
    job.m_Serial.ClosePort();
    if (job.m_bRunning.load()) {
        job.AppendLog("终止下载!\r\n");
        job.Finish(JobVerdict::Stopped, JobCause::Closed, "the program was closed during the job");
    }
    job.WorkerEnded();
    return 0;
}
