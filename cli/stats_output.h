#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "record/line_counts.h"

// One row of tovar record stats: a station's counts, or the whole line's.
struct StatsRow {
    std::string strName;     // the station, or "(line)"
    LineCounts counts;
    int64_t nPartial = 0;
    int64_t nMedianMs = 0;   // median time of an installed board; 0 for the line
    bool bLine = false;
};

// The same figures three ways: the table, one JSON object, comma-separated values with a header.
std::string StatsTable(const std::vector<StatsRow>& rows);
std::string StatsJson(const std::vector<StatsRow>& rows);
std::string StatsCsv(const std::vector<StatsRow>& rows);
