#include "cli/stats_output.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "record/job_csv.h"

namespace {

// A figure as the table shows it: one decimal.
std::string OneDecimal(double nValue)
{
    char szText[32];
    std::snprintf(szText, sizeof szText, "%.1f", nValue);
    return szText;
}

double MedianSeconds(const StatsRow& row) { return static_cast<double>(row.nMedianMs) / 1000.0; }

}  // namespace

std::string StatsTable(const std::vector<StatsRow>& rows)
{
    // Yield is the first-pass yield; stopped and refused jobs and station faults are counted apart,
    // and so are partial installs (fewer images than the configuration names).
    std::string strText = "station  installed  partial  failed  yield  median s/board  stopped  station-faults\n";
    for (const StatsRow& row : rows) {
        const LineCounts& c = row.counts;
        strText += row.strName + "  " + std::to_string(c.nInstalled) + "  " + std::to_string(row.nPartial) + "  " +
                   std::to_string(c.nFailed) + "  " + OneDecimal(c.YieldPercent()) + "%  " +
                   OneDecimal(MedianSeconds(row)) + "  " + std::to_string(c.nStopped) + "  " +
                   std::to_string(c.nStationFaults) + "\n";
    }
    return strText;
}

std::string StatsJson(const std::vector<StatsRow>& rows)
{
    nlohmann::ordered_json json = {{"stations", nlohmann::ordered_json::array()}, {"line", nullptr}};
    for (const StatsRow& row : rows) {
        const LineCounts& c = row.counts;
        nlohmann::ordered_json one;
        if (!row.bLine)
            one["station"] = row.strName;
        one["installed"] = c.nInstalled;
        one["partial"] = row.nPartial;
        one["failed"] = c.nFailed;
        one["yield_percent"] = std::round(c.YieldPercent() * 10.0) / 10.0;
        if (!row.bLine)
            one["median_s"] = std::round(MedianSeconds(row) * 10.0) / 10.0;
        one["stopped"] = c.nStopped;
        one["station_faults"] = c.nStationFaults;
        if (row.bLine)
            json["line"] = one;
        else
            json["stations"].push_back(one);
    }
    return json.dump() + "\n";
}

std::string StatsCsv(const std::vector<StatsRow>& rows)
{
    std::string strText = "station,installed,partial,failed,yield_percent,median_s,stopped,station_faults\n";
    for (const StatsRow& row : rows) {
        const LineCounts& c = row.counts;
        strText += CsvLine({row.strName, std::to_string(c.nInstalled), std::to_string(row.nPartial),
                            std::to_string(c.nFailed), OneDecimal(c.YieldPercent()), OneDecimal(MedianSeconds(row)),
                            std::to_string(c.nStopped), std::to_string(c.nStationFaults)});
    }
    return strText;
}
