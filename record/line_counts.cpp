#include "record/line_counts.h"

#include <set>
#include <utility>

#include "job/job_result.h"
#include "record/record_sql.h"

double LineCounts::YieldPercent() const
{
    return nFirstBoards ? 100.0 * static_cast<double>(nFirstPassed) / static_cast<double>(nFirstBoards) : 0.0;
}

void CountJobs(const std::vector<CountedJob>& jobs, const TimeSpan& span, std::map<std::string, LineCounts>& byStation,
               LineCounts& line)
{
    std::set<std::pair<int64_t, std::string>> seen;   // (local day, factory number) of the boards counted once
    int64_t nDayEndMs = 0;
    int64_t nDayMs = 0;
    for (const CountedJob& job : jobs) {
        if (job.nStartedMs >= nDayEndMs) {
            nDayMs = LocalMidnightMs(job.nStartedMs);
            nDayEndMs = LocalMidnightMs(job.nStartedMs, 1);
        }
        const bool bInSpan = job.nStartedMs >= span.nStartMs && job.nStartedMs < span.nEndMs;
        const bool bInstalled = job.strVerdict == VerdictName(JobVerdict::Installed);
        const bool bStopped = job.strVerdict == VerdictName(JobVerdict::Stopped);
        const bool bRefused = job.strVerdict == VerdictName(JobVerdict::Refused);
        const bool bStationFault = !bInstalled && !bStopped && !bRefused && job.strStage == StageName(JobStage::Prepare);
        const bool bFirst = !bStopped && !bRefused && !bStationFault && !job.strFactory.empty() &&
                            seen.insert({nDayMs, job.strFactory}).second;
        if (!bInSpan)
            continue;
        for (LineCounts* pCounts : {&byStation[job.strStation], &line}) {
            LineCounts& counts = *pCounts;
            counts.nInstalled += bInstalled;
            counts.nStopped += bStopped;
            counts.nRefused += bRefused;
            counts.nStationFaults += bStationFault;
            counts.nFailed += !bInstalled && !bStopped && !bRefused && !bStationFault;
            counts.nFirstBoards += bFirst;
            counts.nFirstPassed += bFirst && bInstalled;
        }
    }
}

bool CountSpan(ISqlConnection& db, const TimeSpan& span, std::map<std::string, LineCounts>& byStation, LineCounts& line,
               std::string& strError)
{
    std::vector<SqlRow> rows;
    if (!RunSql(db,
                "SELECT station, verdict, stage, factory, started_ms FROM jobs WHERE started_ms >= $1 AND started_ms < "
                "$2 ORDER BY started_ms, id",
                {std::to_string(LocalMidnightMs(span.nStartMs)), std::to_string(span.nEndMs)}, &rows, strError))
        return false;
    std::vector<CountedJob> jobs;
    jobs.reserve(rows.size());
    for (const SqlRow& row : rows)
        jobs.push_back({TextOf(row[0]), TextOf(row[1]), TextOf(row[2]), TextOf(row[3]), NumberOf(row[4])});
    CountJobs(jobs, span, byStation, line);
    return true;
}
