#pragma once
#include <atomic>
#include <functional>
#include <optional>

#include "job/job.h"

// Waits for the result of a started job. The job is stopped when *pStop is raised or after
// nTimeoutS (then a stopped result counts as failed, "did not finish within N s"); a job that does
// not report within a bound after its stop is given up (Quit) and counted as stopped.
// fnWait(nMs) gives the result once the job has reported it, waiting at most nMs.
// bEngineGivenUp tells the caller the engine is no longer usable.
JobResult AwaitJobResult(CJob& job, const JobRequest& request,
                         const std::function<std::optional<JobResult>(int nMs)>& fnWait,
                         const std::atomic<int>& bStop, int nTimeoutS, bool& bEngineGivenUp);
