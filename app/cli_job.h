#pragma once
#include <string>

#include "job/job.h"
#include "record/station_record.h"
#include "job/job_log_file.h"

// How a command runs its one job.
struct CliJobSettings {
    std::string strCommand;      // "flash", "transfer": names the command in messages
    std::string strJsonPath;     // the result as JSON to this file; "-": standard output
    int nJobTimeoutS = 600;      // a job still running then is stopped and counts as failed
    CStationRecord* pRecord = nullptr;  // where the job is recorded; null: nowhere
    IdentityClaim claim;         // the guard's hold on the identity, released when the job is recorded
    bool bQuiet = false;         // no progress line on standard error
    std::string strLogDir = "logs";  // the job's log file goes below it
};

// Where a command's log lines go: standard output, or standard error when the result goes there.
bool LogToStderr(const CliJobSettings& settings);

// The result of a request that never ran: its identity, port, images (none sent), start and end now.
JobResult ResultOfRequest(const JobRequest& request);

// Runs the request on a job engine of its own, log lines as they come, the transfer's progress on
// standard error (CProgressLine); Ctrl+C stops the job.
// Writes the result and returns the exit status of its verdict.
int RunCliJob(const JobRequest& request, const At91BackendFactory& fnFactory, const CliJobSettings& settings);

// A job refused before anything reached the board: the reason on standard error, the result
// (verdict "refused") written and recorded as for a job; returns 2.
int RefuseCliJob(const JobRequest& request, const std::string& strReason, const CliJobSettings& settings);
