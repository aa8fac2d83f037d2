#include "cli/cli_job.h"

#include <cstdio>

#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>

#include "base/log_text.h"
#include "cli/stop_signal.h"
#include "line/record_options.h"
#include "line/run_heartbeat.h"
#include "ui/progress_line.h"

namespace {

// Prints log lines as they come and passes progress on to the progress line.
class CCliJobObserver : public IBoardRunObserver {
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
        (void)result;
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Progress.End();
    }

private:
    std::ostream& m_Log;
    CProgressLine& m_Progress;
    std::mutex m_Mutex;
};

void WriteJson(const JobResult& result, const CliJobSettings& settings)
{
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

bool LogToStderr(const CliJobSettings& settings) { return settings.strJsonPath == "-"; }

int RefuseCliJob(const JobRequest& request, const std::string& strReason, const CliJobSettings& settings)
{
    std::cerr << "tovar " << settings.strCommand << ": " << strReason << "\n";
    JobResult result = CBoardRun::ResultOfRequest(request);
    result.strStation = settings.pRecord ? settings.pRecord->Station() : request.strStation;
    result.verdict = JobVerdict::Refused;
    result.strReason = strReason;
    WriteJson(result, settings);
    return ExitCodeOf(JobVerdict::Refused);
}

int RunCliBoard(const BoardRunRequest& request, const At91BackendFactory& fnFactory, const CliJobSettings& settings)
{
    CProgressLine progress(std::cerr, SystemClock(), ProgressModeOfStderr(settings.bQuiet));
    CCliJobObserver observer(LogToStderr(settings) ? std::cerr : std::cout, progress);
    // The station's heartbeat for the line view, while the board runs.
    std::unique_ptr<CHeartbeat> pHeartbeat;
    HeartbeatSettings heartbeat;
    if (settings.pRecord && HeartbeatOf(request.station, *settings.pRecord, heartbeat)) {
        pHeartbeat = std::make_unique<CHeartbeat>(heartbeat);
        pHeartbeat->SetPort(0, request.strPort);
        pHeartbeat->Start();
    }
    CRunHeartbeat reports(observer, pHeartbeat.get());
    CBoardRun run(reports, settings.pRecord, fnFactory, settings.strLogDir);
    JobResult result;
    if (run.Start(request, result)) {
        InstallStopSignals();
        result = run.Wait(StopSignalled());
    }
    if (result.verdict == JobVerdict::Refused)
        std::cerr << "tovar " << settings.strCommand << ": " << result.strReason << "\n";
    else if (result.verdict != JobVerdict::Installed)
        std::cerr << "tovar " << settings.strCommand << ": " << VerdictName(result.verdict) << " ("
                  << StageName(result.stage) << "): " << result.strReason << "\n";
    if (HasFlag(result, kFlagConflict) || HasFlag(result, kFlagUnrecorded))
        std::cerr << "tovar " << settings.strCommand << ": the board is stored but "
                  << (HasFlag(result, kFlagConflict) ? "carries a value of another board" : "its result is not recorded")
                  << ": set it aside (exit 4)\n";
    std::cerr << SummaryLine(settings.strCommand, result, run.LogFilePath()) << "\n";
    WriteJson(result, settings);
    return ExitCodeOf(result);
}

std::string SummaryLine(const std::string& strCommand, const JobResult& result, const std::string& strLogPath)
{
    const int64_t nMs = result.nBringUpMs + result.nConsoleMs + result.nTransferMs;
    char szTime[32];
    std::snprintf(szTime, sizeof szTime, "%.1f s", static_cast<double>(nMs) / 1000.0);
    std::string strLine = "tovar " + strCommand + ": " + VerdictName(result.verdict) + (HasFlag(result, kFlagPartial) ? " (partial)" : "") +
                          ", stage " + StageName(result.stage);
    const std::string strCause = CauseCodeOf(result);
    if (!strCause.empty())
        strLine += ", cause " + strCause;
    strLine += ", " + std::string(szTime) + ", log " + (strLogPath.empty() ? std::string("none") : strLogPath);
    return strLine;
}
