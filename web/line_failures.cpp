#include <algorithm>
#include <map>

#include "job/job_result.h"

#include "record/line_counts.h"
#include "record/record_sql.h"
#include "web/line_reader.h"

namespace {

constexpr int kMaxJobs = 50000;       // a day of a large line is far below
constexpr size_t kBoardsPerRow = 200;

}  // namespace

bool CLineReader::Failures(const TimeSpan& span, const std::string& strStation, nlohmann::ordered_json& answer,
                           std::string& strError)
{
    std::vector<SqlRow> rows;
    if (!RunSql(m_Db,
                "SELECT id, station, stage, reason, verdict, mac, factory, reg, port, started_at FROM jobs WHERE "
                "started_ms >= $1 AND started_ms < $2 AND verdict IN ($3, $4) AND ($5 = '' OR station = $5) "
                "ORDER BY id LIMIT " + std::to_string(kMaxJobs),
                {std::to_string(span.nStartMs), std::to_string(span.nEndMs), VerdictName(JobVerdict::Failed),
                 VerdictName(JobVerdict::ChipRejected), strStation},
                &rows, strError))
        return false;
    struct Row {
        std::string strStage, strReason;
        bool bStationFault = false;
        std::map<std::string, int64_t> stations;
        nlohmann::ordered_json boards = nlohmann::ordered_json::array();
        int64_t nCount = 0;
    };
    std::map<std::pair<std::string, std::string>, Row> groups;
    for (const SqlRow& row : rows) {
        const std::string strStage = TextOf(row[2]);
        Row& group = groups[{strStage, TextOf(row[3])}];
        group.strStage = strStage;
        group.strReason = TextOf(row[3]);
        group.bStationFault = strStage == StageName(JobStage::Prepare);
        ++group.nCount;
        ++group.stations[TextOf(row[1])];
        if (group.boards.size() < kBoardsPerRow)
            group.boards.push_back({{"job", NumberOf(row[0])}, {"station", TextOf(row[1])}, {"mac", TextOf(row[5])},
                                    {"factory", TextOf(row[6])}, {"reg", TextOf(row[7])}, {"port", TextOf(row[8])},
                                    {"start", TextOf(row[9])}});
    }
    std::vector<Row*> sorted;
    for (auto& [key, group] : groups)
        sorted.push_back(&group);
    std::stable_sort(sorted.begin(), sorted.end(), [](const Row* a, const Row* b) { return a->nCount > b->nCount; });
    nlohmann::ordered_json pareto = nlohmann::ordered_json::array();
    int64_t nRunning = 0;
    for (const Row* pRow : sorted) {
        nRunning += pRow->nCount;
        nlohmann::ordered_json stations = nlohmann::ordered_json::object();
        for (const auto& [strName, nCount] : pRow->stations)
            stations[strName] = nCount;
        pareto.push_back({{"stage", pRow->strStage},
                          {"reason", pRow->strReason},
                          {"station_fault", pRow->bStationFault},
                          {"count", pRow->nCount},
                          {"cumulative_percent", 100.0 * static_cast<double>(nRunning) / static_cast<double>(rows.size())},
                          {"stations", stations},
                          {"boards", pRow->boards}});
    }
    std::map<std::string, LineCounts> byStation;
    LineCounts line;
    if (!CountSpan(m_Db, span, byStation, line, strError))
        return false;
    nlohmann::ordered_json counts = nlohmann::ordered_json::object();
    for (const auto& [strName, one] : byStation)
        if (strStation.empty() || strName == strStation)
            counts[strName] = CountsJson(one);
    answer = {{"start_ms", span.nStartMs}, {"end_ms", span.nEndMs}, {"station", strStation},
              {"failures", static_cast<int64_t>(rows.size())}, {"truncated", rows.size() >= kMaxJobs},
              {"pareto", pareto}, {"stations", counts},
              {"line", CountsJson(strStation.empty() ? line : byStation[strStation])}};
    return true;
}
