#include "record/station_record.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <random>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <utility>
#include <vector>

#include "base/wall_clock.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kClaimed = ".flushing-";   // a spooled file a process is writing back: name.json.flushing-PID

// The host name, the default station name.
std::string HostName()
{
    char szName[256] = {};
    return gethostname(szName, sizeof szName - 1) == 0 && szName[0] ? szName : "station";
}

// A spooled entry: the result as JSON text, the claim's token and whether it was a re-flash.
bool ReadSpooled(const fs::path& file, JobResult& result, IdentityClaim& claim, std::string& strSpoolId)
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
    auto itId = entry.find("spool_id");
    if (itId != entry.end() && !itId->is_string())
        return false;
    strSpoolId = itId != entry.end() ? itId->get<std::string>() : std::string();
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
    m_pRenewer.reset();
    std::lock_guard<std::mutex> lock(m_Mutex);
    strWarning.clear();
    m_Settings = settings;
    m_strStation = settings.strStation.empty() ? HostName() : settings.strStation;
    m_nHoldMs = settings.nHoldMs > 0 ? settings.nHoldMs : static_cast<int64_t>(settings.nHoldMinutes) * 60000;
    m_strSpoolDir = settings.strWorkDir + "/record-spool";
    m_pRecord.reset();
    m_bReconnect = m_bAway = false;
    if (!settings.bEnabled)
        return true;
    if (!Connect(strWhy))
        return false;
    const int64_t nRenewMs = settings.nRenewMs > 0 ? settings.nRenewMs : std::min<int64_t>(m_nHoldMs / 4, 60000);
    m_pRenewer = std::make_unique<CHoldRenewer>(
        [this](const IdentityClaim& claim, bool& bHeld) { return Renew(claim, bHeld); }, nRenewMs);
    FlushSpool(strWarning);
    return true;
}

bool CStationRecord::Connect(std::string& strWhy)
{
    const std::string strUrl = m_Settings.strUrl.empty() ? m_Settings.strWorkDir + "/tovar.db" : m_Settings.strUrl;
    SqlError error;
    std::unique_ptr<ISqlConnection> pConnection = OpenSqlConnection(strUrl, m_Settings.nTimeoutMs, error);
    if (!pConnection) {
        strWhy = "the production record cannot be opened: " + error.strText;
        return false;
    }
    auto pRecord = std::make_unique<CProductionRecord>(std::move(pConnection), m_Settings.strToolVersion);
    std::string strError;
    if (!pRecord->Open(strError)) {
        strWhy = "the production record cannot be used: " + strError;
        return false;
    }
    m_pRecord = std::move(pRecord);
    return true;
}

void CStationRecord::Reconnect()
{
    // Bounded by the connection's own time limit; the old connection stays for messages until then.
    if (!m_bReconnect)
        return;
    std::string strWhy;
    std::unique_ptr<CProductionRecord> pOld = std::move(m_pRecord);
    if (Connect(strWhy))
        m_bReconnect = false;
    else
        m_pRecord = std::move(pOld);
}

void CStationRecord::CheckReachable()
{
    std::string strError;
    m_bAway = !m_pRecord->Ping(strError);
    if (m_bAway)
        m_bReconnect = true;
}

bool CStationRecord::Renew(const IdentityClaim& claim, bool& bHeld)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (!m_pRecord)
        return false;
    Reconnect();
    std::string strError;
    if (m_pRecord->RenewHold(claim, m_nHoldMs, bHeld, strError))
        return true;
    m_bReconnect = true;
    return false;
}

bool CStationRecord::Away() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_bAway;
}

bool CStationRecord::Guard(const JobIdentity& identity, const std::string& strPort, IdentityClaim& claim,
                           std::string& strWhy)
{
    IdentityValues values;
    if (!CheckIdentityFormat(identity, values, strWhy))
        return false;
    std::lock_guard<std::mutex> lock(m_Mutex);
    claim = IdentityClaim{};
    m_bAway = false;
    if (!m_pRecord)
        return true;
    Reconnect();
    if (!m_pRecord->Claim(values, m_strStation, strPort, m_nHoldMs, claim, strWhy)) {
        CheckReachable();
        return false;
    }
    m_pRenewer->Add(claim);
    return true;
}

void CStationRecord::Record(JobResult& result, const IdentityClaim& claim, std::string& strWarning)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (!m_pRecord)
        return;
    if (m_pRenewer->Remove(claim)) {
        AddFlag(result, kFlagHoldLost);
        strWarning += "->The hold of this board's identity ended before its job did (the station did not reach the "
                      "record for longer than the hold time).\r\n";
    }
    Reconnect();
    std::string strError;
    FinishFailure failure;
    if (m_pRecord->Finish(result, claim, strError, &failure)) {
        FlushSpool(strWarning);
        return;
    }
    if (failure.bKept) {
        AddFlag(result, kFlagConflict);
        strWarning += "->The production record: " + strError + ".\r\n";
        FlushSpool(strWarning);
        return;
    }
    m_bReconnect = true;
    JobResult spooled = result;
    AddFlag(spooled, kFlagSpooled);
    std::string strSpoolError;
    if (Spool(spooled, claim, strSpoolError)) {
        AddFlag(result, kFlagSpooled);
        strWarning += "->The production record did not take this job (" + strError + "); it is kept in " +
                      m_strSpoolDir + " and written when the record answers again.\r\n";
    } else {
        AddFlag(result, kFlagUnrecorded);
        strWarning += "->THIS JOB IS NOT RECORDED: the production record did not take it (" + strError +
                      "), and it could not be kept in " + m_strSpoolDir + ": " + strSpoolError + "\r\n";
    }
}

bool CStationRecord::Spool(const JobResult& result, const IdentityClaim& claim, std::string& strWhy)
{
    std::error_code error;
    fs::create_directories(m_strSpoolDir, error);
    std::random_device device;
    const std::string strId = std::to_string(WallNowMs()) + "-" + std::to_string(getpid()) + "-" +
                              (claim.strToken.empty() ? std::to_string(device()) : claim.strToken) + "-" +
                              std::to_string(device() % 100000);
    nlohmann::json entry = {{"result", JobResultToJson(result)},
                            {"token", claim.strToken},
                            {"reflash", claim.bReflash},
                            {"spool_id", strId}};
    const std::string strName = m_strSpoolDir + "/" + strId + ".json";
    const std::string strTemp = strName + ".part";
    {
        std::ofstream out(strTemp, std::ios::trunc);
        out << entry.dump() << "\n";
        if (!out.flush()) {
            out.close();
            fs::remove(strTemp, error);
            strWhy = "cannot write " + strTemp + " (is the disk full?)";
            return false;
        }
        out.close();
        if (!out) {
            fs::remove(strTemp, error);
            strWhy = "cannot write " + strTemp + " (is the disk full?)";
            return false;
        }
    }
    fs::rename(strTemp, strName, error);
    if (error) {
        fs::remove(strTemp, error);
        strWhy = error.message();
        return false;
    }
    return true;
}

// A file claimed by a process that died is given back to the queue.
void CStationRecord::ReclaimAbandoned()
{
    std::error_code error;
    for (fs::directory_iterator it(m_strSpoolDir, error), end; !error && it != end; it.increment(error)) {
        const std::string strName = it->path().filename().string();
        const size_t nAt = strName.rfind(kClaimed);
        if (nAt == std::string::npos)
            continue;
        const int nPid = std::atoi(strName.c_str() + nAt + std::strlen(kClaimed));
        if (nPid > 0 && (kill(nPid, 0) == 0 || errno != ESRCH))
            continue;
        std::error_code renameError;
        fs::rename(it->path(), it->path().parent_path() / strName.substr(0, nAt), renameError);
    }
}

void CStationRecord::FlushSpool(std::string& strWarning)
{
    std::error_code error;
    if (!fs::exists(m_strSpoolDir, error))
        return;
    ReclaimAbandoned();
    std::vector<fs::path> files;
    for (fs::directory_iterator it(m_strSpoolDir, error), end; !error && it != end; it.increment(error))
        if (it->path().extension() == ".json" && it->is_regular_file(error))
            files.push_back(it->path());
    std::sort(files.begin(), files.end());  // oldest first: a name begins with the time it was spooled
    const std::string strMine = kClaimed + std::to_string(getpid());
    for (const fs::path& file : files) {
        // The rename claims the file: of two processes flushing at once only one gets it.
        const fs::path claimed = file.string() + strMine;
        std::error_code claimError;
        fs::rename(file, claimed, claimError);
        if (claimError)
            continue;
        JobResult result;
        IdentityClaim claim;
        std::string strSpoolId;
        if (!ReadSpooled(claimed, result, claim, strSpoolId)) {
            MoveAside(claimed.string(), file.filename().string(), strWarning);
            continue;
        }
        if (strSpoolId.empty())
            strSpoolId = file.stem().string();
        std::string strError;
        FinishFailure failure;
        if (!m_pRecord->Finish(result, claim, strError, &failure, strSpoolId)) {
            if (failure.bKept) {
                strWarning += "->IDENTITY CONFLICT in the spooled job " + file.filename().string() + ": " + strError +
                              ".\r\n";
            } else {
                fs::rename(claimed, file, claimError);
                strWarning += "->The spooled job " + file.string() + " could not be written: " + strError + "\r\n";
                m_bReconnect = true;
                return;
            }
        } else if (!failure.bAlready) {
            strWarning += "->The spooled job " + file.filename().string() + " is now in the production record.\r\n";
        }
        fs::remove(claimed, error);
    }
}

void CStationRecord::MoveAside(const std::string& strFile, const std::string& strName, std::string& strWarning)
{
    const fs::path badDir = fs::path(m_strSpoolDir) / "bad";
    const fs::path target = badDir / strName;
    std::error_code error;
    fs::create_directories(badDir, error);
    if (!error)
        fs::rename(strFile, target, error);
    if (error)
        strWarning += "->The spooled job " + strName + " cannot be read, nor moved to " + badDir.string() + ": " +
                      error.message() + "\r\n";
    else
        strWarning += "->The spooled job " + strName + " cannot be read; it was moved to " + target.string() + ".\r\n";
}

bool CStationRecord::TakeNext(JobIdentity& identity, std::string& strWhy)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (!m_pRecord) {
        strWhy = "identities from the pools need the production record";
        return false;
    }
    m_bAway = false;
    Reconnect();
    PoolIdentity taken;
    if (!m_pRecord->TakeIdentity(m_strStation, m_nHoldMs, taken, strWhy)) {
        CheckReachable();
        return false;
    }
    identity = taken.identity;
    return true;
}

bool CStationRecord::ShiftCountsAt(const std::string& strShifts, int64_t nNowMs, LineCounts& counts)
{
    CShiftPlan shifts;
    std::string strWhy;
    shifts.Parse(strShifts, strWhy);   // the settings were checked when they were read
    return ShiftCounts(shifts.ShiftAt(nNowMs), counts);
}

bool CStationRecord::ShiftCounts(const TimeSpan& span, LineCounts& counts)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    counts = LineCounts{};
    if (!m_pRecord)
        return false;
    Reconnect();
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
