#include "record/station_record.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <utility>
#include <vector>

#include "base/wall_clock.h"

namespace fs = std::filesystem;

namespace {

constexpr int kBusyTimeoutMs = 5000;

// The host name, the default station name.
std::string HostName()
{
    char szName[256] = {};
    return gethostname(szName, sizeof szName - 1) == 0 && szName[0] ? szName : "station";
}

// A spooled entry: the result as JSON text, the claim's token and whether it was a re-flash.
bool ReadSpooled(const fs::path& file, JobResult& result, IdentityClaim& claim)
{
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    const nlohmann::json entry = nlohmann::json::parse(text.str(), nullptr, false);
    if (entry.is_discarded() || !entry.is_object())
        return false;
    auto itResult = entry.find("result");
    auto itToken = entry.find("token");
    auto itReflash = entry.find("reflash");
    if (itResult == entry.end() || !itResult->is_string() || (itToken != entry.end() && !itToken->is_string()) ||
        (itReflash != entry.end() && !itReflash->is_boolean()))
        return false;
    claim.strToken = itToken != entry.end() ? itToken->get<std::string>() : std::string();
    claim.bReflash = itReflash != entry.end() && itReflash->get<bool>();
    return JobResultFromJson(itResult->get<std::string>(), result);
}

}  // namespace

bool CStationRecord::Open(const RecordSettings& settings, std::string& strWhy)
{
    std::string strWarning;
    const bool bOpen = Open(settings, strWhy, strWarning);
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_strWarnings = std::move(strWarning);
    return bOpen;
}

std::string CStationRecord::TakeWarnings()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return std::exchange(m_strWarnings, std::string());
}

bool CStationRecord::Open(const RecordSettings& settings, std::string& strWhy, std::string& strWarning)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    strWarning.clear();
    m_strStation = settings.strStation.empty() ? HostName() : settings.strStation;
    m_nHoldMinutes = settings.nHoldMinutes;
    m_strSpoolDir = settings.strWorkDir + "/record-spool";
    m_pRecord.reset();
    if (!settings.bEnabled)
        return true;
    const std::string strUrl = settings.strUrl.empty() ? settings.strWorkDir + "/tovar.db" : settings.strUrl;
    SqlError error;
    std::unique_ptr<ISqlConnection> pConnection = OpenSqlConnection(strUrl, kBusyTimeoutMs, error);
    if (!pConnection) {
        strWhy = "the production record cannot be opened: " + error.strText;
        return false;
    }
    auto pRecord = std::make_unique<CProductionRecord>(std::move(pConnection), settings.strToolVersion);
    std::string strError;
    if (!pRecord->Open(strError)) {
        strWhy = "the production record cannot be used: " + strError;
        return false;
    }
    m_pRecord = std::move(pRecord);
    FlushSpool(strWarning);
    return true;
}

bool CStationRecord::Guard(const JobIdentity& identity, const std::string& strPort, IdentityClaim& claim,
                           std::string& strWhy)
{
    IdentityValues values;
    if (!CheckIdentityFormat(identity, values, strWhy))
        return false;
    std::lock_guard<std::mutex> lock(m_Mutex);
    claim = IdentityClaim{};
    if (!m_pRecord)
        return true;
    return m_pRecord->Claim(values, m_strStation, strPort, m_nHoldMinutes, WallNowMs(), claim, strWhy);
}

void CStationRecord::Record(const JobResult& result, const IdentityClaim& claim, std::string& strWarning)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (!m_pRecord)
        return;
    std::string strError;
    FinishFailure failure;
    if (m_pRecord->Finish(result, claim, strError, &failure))
        return;
    if (failure.bKept) {
        strWarning = "->The production record: " + strError + ".\r\n";
        return;
    }
    std::string strSpoolError;
    if (Spool(result, claim, strSpoolError))
        strWarning = "->The production record did not take this job (" + strError + "); it is kept in " +
                     m_strSpoolDir + " and written at the next start.\r\n";
    else
        strWarning = "->The production record did not take this job (" + strError + "), and it could not be kept: " +
                     strSpoolError + "\r\n";
}

bool CStationRecord::Spool(const JobResult& result, const IdentityClaim& claim, std::string& strWhy)
{
    std::error_code error;
    fs::create_directories(m_strSpoolDir, error);
    nlohmann::json entry = {{"result", JobResultToJson(result)}, {"token", claim.strToken}, {"reflash", claim.bReflash}};
    const std::string strName = m_strSpoolDir + "/" + std::to_string(WallNowMs()) + "-" + std::to_string(getpid()) +
                                "-" + claim.strToken + ".json";
    const std::string strTemp = strName + ".part";
    {
        std::ofstream out(strTemp, std::ios::trunc);
        out << entry.dump() << "\n";
        if (!out.flush()) {
            strWhy = "cannot write " + strTemp;
            return false;
        }
    }
    fs::rename(strTemp, strName, error);
    if (error) {
        strWhy = error.message();
        return false;
    }
    return true;
}

void CStationRecord::FlushSpool(std::string& strWarning)
{
    std::error_code error;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(m_strSpoolDir, error), end; !error && it != end; it.increment(error))
        if (it->path().extension() == ".json" && it->is_regular_file(error))
            files.push_back(it->path());
    std::sort(files.begin(), files.end());  // oldest first: a name begins with the time it was spooled
    for (const fs::path& file : files) {
        JobResult result;
        IdentityClaim claim;
        if (!ReadSpooled(file, result, claim)) {
            MoveAside(file.string(), strWarning);
            continue;
        }
        std::string strError;
        FinishFailure failure;
        if (!m_pRecord->Finish(result, claim, strError, &failure)) {
            if (failure.bKept) {
                strWarning += "->The spooled job " + file.string() + ": " + strError + ".\r\n";
            } else {
                strWarning += "->The spooled job " + file.string() + " could not be written: " + strError + "\r\n";
                return;
            }
        }
        fs::remove(file, error);
    }
}

void CStationRecord::MoveAside(const std::string& strFile, std::string& strWarning)
{
    const fs::path badDir = fs::path(m_strSpoolDir) / "bad";
    const fs::path target = badDir / fs::path(strFile).filename();
    std::error_code error;
    fs::create_directories(badDir, error);
    if (!error)
        fs::rename(strFile, target, error);
    if (error)
        strWarning += "->The spooled job " + strFile + " cannot be read, nor moved to " + badDir.string() + ": " +
                      error.message() + "\r\n";
    else
        strWarning += "->The spooled job " + strFile + " cannot be read; it was moved to " + target.string() + ".\r\n";
}

bool CStationRecord::TakeNext(JobIdentity& identity, std::string& strWhy)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (!m_pRecord) {
        strWhy = "identities from the pools need the production record";
        return false;
    }
    PoolIdentity taken;
    if (!m_pRecord->TakeIdentity(taken, strWhy))
        return false;
    identity = taken.identity;
    return true;
}

bool CStationRecord::ShiftCounts(const TimeSpan& span, LineCounts& counts)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    counts = LineCounts{};
    if (!m_pRecord)
        return false;
    std::map<std::string, LineCounts> byStation;
    LineCounts line;
    std::string strError;
    if (!m_pRecord->Counts(span, byStation, line, strError))
        return false;
    auto it = byStation.find(m_strStation);
    if (it != byStation.end())
        counts = it->second;
    return true;
}
