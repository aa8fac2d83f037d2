#include "app/job_wait.h"

#include <chrono>
#include <string>

#include "app/cli_job.h"

namespace {

constexpr int kWaitSliceMs = 50;
constexpr int kStopGraceMs = 5000;   // a stopped job reports within about a second; this is the bound

}  // namespace

JobResult AwaitJobResult(CJob& job, const JobRequest& request,
                         const std::function<std::optional<JobResult>(int nMs)>& fnWait,
                         const std::atomic<int>& bStop, int nTimeoutS, bool& bEngineGivenUp)
{
    const auto tStart = std::chrono::steady_clock::now();
    bool bTimedOut = false;
    bEngineGivenUp = false;
    std::optional<JobResult> done;
    while (!(done = fnWait(kWaitSliceMs))) {
        auto nElapsedMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - tStart).count();
        if (bStop.load() || nElapsedMs >= nTimeoutS * 1000LL) {
            bTimedOut = !bStop.load();
            job.Stop();
            done = fnWait(kStopGraceMs);
            break;
        }
    }
    if (!done) {
        // The job did not report within its bound after the stop: give the engine up.
        job.Quit(kStopGraceMs);
        bEngineGivenUp = true;
        done = fnWait(kWaitSliceMs);
    }
    JobResult result = done ? *done : ResultOfRequest(request);
    if (!done) {
        result.verdict = JobVerdict::Stopped;
        result.strReason = "the job did not end after it was stopped";
    }
    if (bTimedOut && result.verdict == JobVerdict::Stopped) {
        result.verdict = JobVerdict::Failed;
        result.strReason = "the job did not finish within " + std::to_string(nTimeoutS) + " s";
    }
    return result;
}
