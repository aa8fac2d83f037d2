#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "base/wall_clock.h"
#include "job/job_log_file.h"
#include "job/job_request.h"
#include "record/identity_format.h"
#include "record/record_sql.h"
#include "web/line_reader.h"

namespace {

constexpr int kMaxJobs = 1000;

}  // namespace

bool CLineReader::Board(const std::string& strValue, nlohmann::ordered_json& answer, std::string& strError)
{
    // A MAC in either of its forms finds the board by either of its two addresses.
    uint64_t nMac = 0;
    const std::string strMac = ParseMac(strValue, nMac) ? MacText(nMac) : std::string("-");
    std::vector<SqlRow> rows;
    if (!RunSql(m_Db,
                "SELECT id, started_at, ended_at, station, port, device, verdict, stage, reason, mac, factory, reg, "
                "bringup_ms, console_ms, transfer_ms, tool_version, reflash, chip_id FROM jobs WHERE "
                "UPPER(SUBSTR(mac, 2, 12)) = $1 OR UPPER(SUBSTR(mac, 15, 12)) = $1 OR factory = $2 OR reg = $2 "
                "ORDER BY started_ms, id LIMIT " + std::to_string(kMaxJobs),
                {strMac, strValue}, &rows, strError))
        return false;
    nlohmann::ordered_json jobs = nlohmann::ordered_json::array();
    for (const SqlRow& row : rows) {
        std::vector<SqlRow> images;
        if (!RunSql(m_Db,
                    "SELECT slot, file_id, name, size, sha256, frames, resends, stored FROM job_images WHERE job_id = $1 "
                    "ORDER BY slot",
                    {TextOf(row[0])}, &images, strError))
            return false;
        nlohmann::ordered_json files = nlohmann::ordered_json::array();
        for (const SqlRow& image : images)
            files.push_back({{"slot", NumberOf(image[0])}, {"id", NumberOf(image[1])}, {"name", TextOf(image[2])},
                             {"size", NumberOf(image[3])}, {"sha256", TextOf(image[4])},
                             {"frames", NumberOf(image[5])}, {"resends", NumberOf(image[6])},
                             {"stored", NumberOf(image[7]) != 0}});
        // The name CJobLogFile gave the job's log, below the station's log folder.
        JobRequest request;
        const std::string strPort = TextOf(row[4]);
        request.port.nPort = strPort.size() > 3 ? std::atoi(strPort.c_str() + 3) : 0;
        request.identity.strFactory = TextOf(row[10]);
        jobs.push_back({{"id", NumberOf(row[0])},
                        {"start", TextOf(row[1])},
                        {"end", TextOf(row[2])},
                        {"station", TextOf(row[3])},
                        {"port", strPort},
                        {"device", TextOf(row[5])},
                        {"verdict", TextOf(row[6])},
                        {"stage", TextOf(row[7])},
                        {"reason", TextOf(row[8])},
                        {"mac", TextOf(row[9])},
                        {"factory", TextOf(row[10])},
                        {"reg", TextOf(row[11])},
                        {"bringup_ms", NumberOf(row[12])},
                        {"console_ms", NumberOf(row[13])},
                        {"transfer_ms", NumberOf(row[14])},
                        {"tool_version", TextOf(row[15])},
                        {"reflash", NumberOf(row[16]) != 0},
                        {"chip_id", TextOf(row[17])},
                        {"log_file", CJobLogFile::RelativePath(request, IsoTimeMs(TextOf(row[1])))},
                        {"images", files}});
    }
    // Holds and installed values are kept as "kind:value".
    std::vector<SqlText> keys = {"mac:" + strMac, "factory:" + strValue, "reg:" + strValue};
    for (const SqlRow& row : rows) {
        const std::string strJobMac = TextOf(row[9]);
        if (strJobMac.size() == 26) {
            keys.push_back("mac:" + strJobMac.substr(1, 12));
            keys.push_back("mac:" + strJobMac.substr(14, 12));
        }
        keys.push_back("factory:" + TextOf(row[10]));
        keys.push_back("reg:" + TextOf(row[11]));
        if (keys.size() > 40)
            break;
    }
    nlohmann::ordered_json holds = nlohmann::ordered_json::array();
    nlohmann::ordered_json installed = nlohmann::ordered_json::array();
    for (size_t i = 0; i < keys.size(); ++i) {
        bool bSeen = false;
        for (size_t j = 0; j < i; ++j)
            bSeen = bSeen || keys[j] == keys[i];
        if (bSeen)
            continue;
        std::vector<SqlRow> found;
        if (!RunSql(m_Db, "SELECT value, station, port, since, expires_ms FROM holds WHERE value = $1", {keys[i]},
                    &found, strError))
            return false;
        for (const SqlRow& hold : found)
            holds.push_back({{"value", TextOf(hold[0])}, {"station", TextOf(hold[1])}, {"port", TextOf(hold[2])},
                             {"since", TextOf(hold[3])}, {"expires_ms", NumberOf(hold[4])}});
        if (!RunSql(m_Db, "SELECT value, factory, station, job_id, installed_at FROM identities WHERE value = $1",
                    {keys[i]}, &found, strError))
            return false;
        for (const SqlRow& value : found)
            installed.push_back({{"value", TextOf(value[0])}, {"factory", TextOf(value[1])},
                                 {"station", TextOf(value[2])}, {"job", NumberOf(value[3])},
                                 {"installed_at", TextOf(value[4])}});
    }
    answer = {{"value", strValue}, {"found", !jobs.empty() || !holds.empty() || !installed.empty()},
              {"jobs", jobs}, {"holds", holds}, {"installed", installed}};
    return true;
}
