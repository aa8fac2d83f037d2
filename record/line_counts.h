#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "record/sql_connection.h"
#include "station/shift_plan.h"

// One job as the counts see it.
struct CountedJob {
    std::string strStation;
    std::string strVerdict;
    std::string strStage;
    std::string strFactory;
    int64_t nStartedMs = 0;
};

// The counts of a span, the same on every page and in tovar record stats:
//  - installed, failed (the board failed: bring-up, console or transfer), stopped, refused, and
//    station faults (the job failed before anything reached the board: port, record, configuration);
//  - first-pass yield: each board (factory number) once per local day, by its first job that was
//    neither stopped, nor refused, nor a station fault; it counts in the span that job started in.
struct LineCounts {
    int64_t nInstalled = 0;
    int64_t nFailed = 0;
    int64_t nStopped = 0;
    int64_t nRefused = 0;
    int64_t nStationFaults = 0;
    int64_t nFirstBoards = 0;    // boards whose first job of the day lies in the span
    int64_t nFirstPassed = 0;    // of them, installed by that job
    double YieldPercent() const;  // 0 without boards
};

// Counts jobs given oldest first; jobs before span.nStartMs on the same local day only tell which
// job was a board's first.
void CountJobs(const std::vector<CountedJob>& jobs, const TimeSpan& span, std::map<std::string, LineCounts>& byStation,
               LineCounts& line);

// Reads the jobs of span (and of its first day before it) and counts them.
bool CountSpan(ISqlConnection& db, const TimeSpan& span, std::map<std::string, LineCounts>& byStation, LineCounts& line,
               std::string& strError);
