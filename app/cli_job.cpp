#include "app/cli_job.h"

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>

#include "app/commands.h"
#include "app/job_wait.h"
#include "app/progress_line.h"
#include "app/stop_signal.h"

namespace {

// Prints log lines as they come, passes progress on to the progress line and keeps the result.
class CCliJobObserver : public IJobObserver {
public:
    CCliJobObserver(std::ostream& log, CProgressLine& progress) : m_Log(log), m_Progress(progress) {}

    void OnJobLog(const std::string& strText) override
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Progress.BeforeLog();
        m_Log << CliText(strText) << std::flush;
        m_Progress.AfterLog(!strText.empty() && strText.back() == '\n');
    }
    void OnJobProgress(const TransferProgress& progress) override
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Progress.Update(progress);
    }
    void OnJobFinished(const JobResult& result) override
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Progress.End();
        m_Result = result;
        m_Cond.notify_all();
    }
    std::optional<JobResult> Wait(int nMs)
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Cond.wait_for(lock, std::chrono::milliseconds(nMs), [this] { return m_Result.has_value(); });
        return m_Result;
    }

private:
    std::ostream& m_Log;
    CProgressLine& m_Progress;
    std::mutex m_Mutex;
    std::condition_variable m_Cond;
    std::optional<JobResult> m_Result;
};

void WriteResult(const JobResult& result, const CliJobSettings& settings)
{
    if (settings.pRecord) {
        std::string strWarning;
        settings.pRecord->Record(result, settings.claim, strWarning);
        std::cerr << CliText(strWarning);
    }
    if (settings.strJsonPath.empty())
        return;
    std::string strJson = JobResultToJson(result) + "\n";
    if (settings.strJsonPath == "-") {
        std::cout << strJson << std::flush;
        return;
    }
    std::ofstream out(settings.strJsonPath, std::ios::trunc);
    out << strJson;
    if (!out)
        std::cerr << "tovar " << settings.strCommand << ": the result could not be written to "
                  << settings.strJsonPath << "\n";
}

}  // namespace

JobResult ResultOfRequest(const JobRequest& request)
{
    JobResult result;
    result.identity = request.identity;
    result.strStation = request.strStation;
    result.nComPort = request.port.nPort;
    result.strDevicePath = request.port.strPath;
    result.strStartTime = result.strEndTime = IsoTimeNow();
    for (const TransferImage& image : request.images)
        result.images.push_back({image.nSlot, image.nId, image.strName, 0, {}, 0, 0, false});
    return result;
}

bool LogToStderr(const CliJobSettings& settings) { return settings.strJsonPath == "-"; }

int RefuseCliJob(const JobRequest& request, const std::string& strReason, const CliJobSettings& settings)
{
    std::cerr << "tovar " << settings.strCommand << ": " << strReason << "\n";
    JobResult result = ResultOfRequest(request);
    result.strStation = settings.pRecord ? settings.pRecord->Station() : request.strStation;
    result.verdict = JobVerdict::Refused;
    result.strReason = strReason;
    WriteResult(result, settings);
    return ExitCodeOf(JobVerdict::Refused);
}

int RunCliJob(const JobRequest& request, const At91BackendFactory& fnFactory, const CliJobSettings& settings)
{
    CProgressLine progress(std::cerr, SystemClock(), ProgressModeOfStderr(settings.bQuiet));
    CCliJobObserver observer(LogToStderr(settings) ? std::cerr : std::cout, progress);
    CJobLogFile logFile(observer, settings.strLogDir);
    CJob job(logFile, fnFactory);
    std::string strWhy;
    if (!job.Start(request, strWhy))
        return RefuseCliJob(request, strWhy, settings);
    InstallStopSignals();
    bool bEngineGivenUp = false;
    JobResult final = AwaitJobResult(
        job, request, [&observer](int nMs) { return observer.Wait(nMs); }, StopSignalled(), settings.nJobTimeoutS,
        bEngineGivenUp);
    if (final.verdict != JobVerdict::Installed)
        std::cerr << "tovar " << settings.strCommand << ": " << VerdictName(final.verdict) << " ("
                  << StageName(final.stage) << "): " << final.strReason << "\n";
    WriteResult(final, settings);
    return ExitCodeOf(final.verdict);
}
