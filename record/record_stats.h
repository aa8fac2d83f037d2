#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "record/sql_connection.h"
#include "station/shift_plan.h"

struct StationStats {
    std::string strStation;
    int64_t nInstalled = 0;
    int64_t nFailed = 0;      // every other verdict but refused
    int64_t nPartial = 0;     // installed with fewer images than configured; not among nInstalled
    int64_t nMedianMs = 0;    // median time of an installed board, start to end
};

// The counts of each station's jobs started in span (at or after its start, before its end).
bool StationStatsIn(ISqlConnection& db, const TimeSpan& span, std::vector<StationStats>& stats, std::string& strError);
