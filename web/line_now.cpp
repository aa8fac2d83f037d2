#include <algorithm>
#include <map>

#include "job/job_result.h"

#include "record/identity_pools.h"
#include "record/line_counts.h"
#include "record/record_sql.h"
#include "web/line_reader.h"

namespace {

constexpr int64_t kHourMs = 3600 * 1000;
constexpr int kBins = 12;              // boards per five minutes over the last hour
constexpr int kMaxHeartbeats = 2000;

bool Running(const std::string& strStage)
{
    return strStage == "prepare" || strStage == "bring-up" || strStage == "console" || strStage == "transfer";
}

}  // namespace

nlohmann::ordered_json CountsJson(const LineCounts& counts)
{
    return {{"installed", counts.nInstalled},     {"failed", counts.nFailed},
            {"stopped", counts.nStopped},         {"refused", counts.nRefused},
            {"station_faults", counts.nStationFaults}, {"first_boards", counts.nFirstBoards},
            {"first_passed", counts.nFirstPassed}, {"yield", counts.YieldPercent()}};
}

bool CLineReader::Slots(int64_t nNowMs, nlohmann::ordered_json& stations, std::string& strError)
{
    std::vector<SqlRow> rows;
    if (!RunSql(m_Db,
                "SELECT station, slot, port, stage, mac, factory, reg, percent, stage_ms, progress_ms, seen_ms, "
                "last_verdict, last_reason, tool_version FROM heartbeats ORDER BY station, slot LIMIT " +
                    std::to_string(kMaxHeartbeats),
                {}, &rows, strError))
        return false;
    for (const SqlRow& row : rows) {
        const std::string strStation = TextOf(row[0]);
        if (stations.empty() || stations.back()["station"] != strStation)
            stations.push_back({{"station", strStation}, {"tool_version", TextOf(row[13])}, {"seen_ms", 0},
                                {"offline", true}, {"slots", nlohmann::ordered_json::array()}});
        nlohmann::ordered_json& station = stations.back();
        const std::string strStage = TextOf(row[3]);
        const int64_t nSeenMs = NumberOf(row[10]);
        const bool bOffline = nNowMs - nSeenMs > m_Settings.nOfflineS * 1000LL;
        const bool bStuck = !bOffline && Running(strStage) && nNowMs - NumberOf(row[9]) > m_Settings.nStuckS * 1000LL;
        station["seen_ms"] = std::max(station["seen_ms"].get<int64_t>(), nSeenMs);
        station["offline"] = station["offline"].get<bool>() && bOffline;
        station["slots"].push_back({{"slot", NumberOf(row[1])},
                                    {"port", TextOf(row[2])},
                                    {"stage", bOffline ? std::string("offline") : strStage},
                                    {"state", bOffline ? "offline" : bStuck ? "stuck" : Running(strStage) ? "running" : "idle"},
                                    {"mac", TextOf(row[4])},
                                    {"factory", TextOf(row[5])},
                                    {"reg", TextOf(row[6])},
                                    {"percent", NumberOf(row[7])},
                                    {"stage_s", std::max<int64_t>(0, (nNowMs - NumberOf(row[8])) / 1000)},
                                    {"seen_s", std::max<int64_t>(0, (nNowMs - nSeenMs) / 1000)},
                                    {"last_verdict", TextOf(row[11])},
                                    {"last_reason", TextOf(row[12])}});
    }
    return true;
}

bool CLineReader::Pools(int64_t nInstalledLastHour, nlohmann::ordered_json& pools, std::string& strError)
{
    CIdentityPools reader(m_Db);
    std::vector<PoolStatus> statuses;
    std::vector<SqlRow> ranges;
    if (!reader.PoolStatuses(statuses, strError) ||
        !RunSql(m_Db, "SELECT kind, COUNT(*) FROM pools GROUP BY kind", {}, &ranges, strError))
        return false;
    for (const PoolStatus& status : statuses) {
        // A kind that never had a range is not used by this line: no warning for it.
        bool bUsed = false;
        for (const SqlRow& range : ranges)
            bUsed = bUsed || TextOf(range[0]) == status.strKind;
        nlohmann::ordered_json pool = {{"kind", status.strKind},     {"left", status.nLeft},
                                       {"taken", status.nTaken},     {"next", status.strNext},
                                       {"rate_per_hour", nInstalledLastHour}, {"hours_left", nullptr},
                                       {"used", bUsed},
                                       {"warn", bUsed && status.nLeft < m_Settings.nPoolWarn}};
        if (nInstalledLastHour > 0)
            pool["hours_left"] = static_cast<double>(status.nLeft) / static_cast<double>(nInstalledLastHour);
        pools.push_back(pool);
    }
    return true;
}

bool CLineReader::Now(int64_t nNowMs, nlohmann::ordered_json& answer, std::string& strError)
{
    const TimeSpan shift = m_Settings.shifts.ShiftAt(nNowMs);
    answer = {{"now_ms", nNowMs},
              {"shift", {{"start_ms", shift.nStartMs}, {"end_ms", shift.nEndMs}}},
              {"stations", nlohmann::ordered_json::array()}};
    nlohmann::ordered_json& stations = answer["stations"];
    if (!Slots(nNowMs, stations, strError))
        return false;

    std::map<std::string, LineCounts> byStation;
    LineCounts line;
    if (!CountSpan(m_Db, shift, byStation, line, strError))
        return false;
    // A station with jobs in this shift but no heartbeat (an older Tovar) still has its counts.
    for (const auto& [strStation, counts] : byStation) {
        bool bKnown = false;
        for (const auto& station : stations)
            bKnown = bKnown || station["station"] == strStation;
        if (!bKnown)
            stations.push_back({{"station", strStation}, {"tool_version", ""}, {"seen_ms", 0}, {"offline", true},
                                {"slots", nlohmann::ordered_json::array()}});
    }
    for (auto& station : stations) {
        auto it = byStation.find(station["station"].get<std::string>());
        station["counts"] = CountsJson(it == byStation.end() ? LineCounts{} : it->second);
    }
    answer["line"] = CountsJson(line);

    std::vector<SqlRow> rows;
    if (!RunSql(m_Db, "SELECT started_ms FROM jobs WHERE started_ms >= $1 AND started_ms <= $2 AND verdict = $3",
                {std::to_string(nNowMs - kHourMs), std::to_string(nNowMs), VerdictName(JobVerdict::Installed)}, &rows,
                strError))
        return false;
    std::vector<int64_t> bins(kBins, 0);
    for (const SqlRow& row : rows) {
        const int64_t nAgo = nNowMs - NumberOf(row[0]);
        const int nBin = kBins - 1 - static_cast<int>(std::min<int64_t>(kBins - 1, nAgo * kBins / kHourMs));
        ++bins[nBin];
    }
    answer["last_hour"] = {{"installed", static_cast<int64_t>(rows.size())}, {"bins", bins}};
    answer["pools"] = nlohmann::ordered_json::array();
    return Pools(static_cast<int64_t>(rows.size()), answer["pools"], strError);
}
