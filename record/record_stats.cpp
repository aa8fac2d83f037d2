#include "record/record_stats.h"

#include <algorithm>

#include "job/job_result.h"
#include "record/record_sql.h"

bool StationStatsIn(ISqlConnection& db, const TimeSpan& span, std::vector<StationStats>& stats, std::string& strError)
{
    std::vector<SqlRow> rows;
    if (!RunSql(db,
                "SELECT station, verdict, ended_ms - started_ms, flags FROM jobs WHERE started_ms >= $1 AND "
                "started_ms < $3 AND verdict <> $2 ORDER BY station",
                {std::to_string(span.nStartMs), VerdictName(JobVerdict::Refused), std::to_string(span.nEndMs)}, &rows,
                strError))
        return false;
    stats.clear();
    std::vector<int64_t> durations;
    auto close = [&] {
        if (stats.empty())
            return;
        std::sort(durations.begin(), durations.end());
        stats.back().nMedianMs = durations.empty() ? 0 : durations[durations.size() / 2];
        durations.clear();
    };
    for (const SqlRow& row : rows) {
        if (stats.empty() || stats.back().strStation != TextOf(row[0])) {
            close();
            stats.push_back({TextOf(row[0]), 0, 0, 0, 0});
        }
        JobVerdict verdict = JobVerdict::Failed;
        const bool bInstalled = VerdictFromName(TextOf(row[1]), verdict) && verdict == JobVerdict::Installed;
        const std::vector<std::string> flags = FlagsFromText(TextOf(row[3]));
        if (bInstalled && std::find(flags.begin(), flags.end(), kFlagPartial) != flags.end()) {
            ++stats.back().nPartial;
        } else if (bInstalled) {
            ++stats.back().nInstalled;
            durations.push_back(NumberOf(row[2]));
        } else {
            ++stats.back().nFailed;
        }
    }
    close();
    return true;
}
