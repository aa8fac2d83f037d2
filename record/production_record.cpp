#include "record/production_record.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <regex>

namespace {

constexpr int SCHEMA_VERSION = 1;

// The first schema; ID and INT stand for the dialect's key and 64-bit integer types.
std::string SchemaV1(ISqlConnection::Dialect dialect)
{
    std::string strSchema = R"(
CREATE TABLE jobs (id ID, verdict TEXT NOT NULL, stage TEXT NOT NULL, reason TEXT NOT NULL,
  mac TEXT NOT NULL, factory TEXT NOT NULL, reg TEXT NOT NULL, station TEXT NOT NULL, port TEXT NOT NULL,
  device TEXT NOT NULL, chip_id TEXT, started_at TEXT NOT NULL, ended_at TEXT NOT NULL, started_ms INT NOT NULL,
  ended_ms INT NOT NULL, bringup_ms INT NOT NULL, console_ms INT NOT NULL, transfer_ms INT NOT NULL,
  tool_version TEXT NOT NULL, reflash INTEGER NOT NULL);
CREATE TABLE job_images (job_id INT NOT NULL REFERENCES jobs(id), slot INTEGER NOT NULL, file_id INTEGER NOT NULL,
  name TEXT NOT NULL, size INT NOT NULL, sha256 TEXT NOT NULL, frames INT NOT NULL, resends INT NOT NULL,
  stored INTEGER NOT NULL);
CREATE TABLE identities (value TEXT PRIMARY KEY, factory TEXT NOT NULL, station TEXT NOT NULL, job_id INT NOT NULL,
  installed_at TEXT NOT NULL);
CREATE TABLE holds (value TEXT PRIMARY KEY, token TEXT NOT NULL, station TEXT NOT NULL, port TEXT NOT NULL,
  since TEXT NOT NULL, expires_ms INT NOT NULL);
CREATE TABLE pools (id ID, kind TEXT NOT NULL, next_value INT NOT NULL, end_value INT NOT NULL);
CREATE TABLE pool_free (kind TEXT NOT NULL, value INT NOT NULL, PRIMARY KEY (kind, value));
CREATE TABLE pool_taken (kind TEXT NOT NULL, value INT NOT NULL, taken_ms INT NOT NULL, PRIMARY KEY (kind, value));
CREATE INDEX jobs_started ON jobs (started_ms);
CREATE INDEX holds_token ON holds (token);
)";
    const bool bPg = dialect == ISqlConnection::Dialect::Postgres;
    strSchema = std::regex_replace(strSchema, std::regex("\\bID\\b"),
                                   bPg ? "BIGSERIAL PRIMARY KEY" : "INTEGER PRIMARY KEY AUTOINCREMENT");
    return std::regex_replace(strSchema, std::regex("\\bINT\\b"), bPg ? "BIGINT" : "INTEGER");
}

std::string Key(const char* szKind, const std::string& strValue) { return std::string(szKind) + ":" + strValue; }

std::string Text(const SqlText& value) { return value.value_or(std::string()); }
int64_t Number(const SqlText& value) { return value ? std::stoll(*value) : 0; }

std::string NewToken()
{
    std::random_device device;
    char szToken[40];
    std::snprintf(szToken, sizeof szToken, "%08x%08x%08x", device(), device(), device());
    return szToken;
}

// Milliseconds since the epoch of an ISO-8601 UTC time as IsoTimeNow writes it; 0 when unreadable.
int64_t IsoMs(const std::string& strIso)
{
    std::tm parts {};
    int nMs = 0;
    if (std::sscanf(strIso.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &parts.tm_year, &parts.tm_mon, &parts.tm_mday,
                    &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &nMs) < 6)
        return 0;
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    return static_cast<int64_t>(timegm(&parts)) * 1000 + nMs;
}

struct PoolKind {
    const char* szKind;
    int nStep;        // values a board takes
};

bool FindKind(const std::string& strKind, PoolKind& kind)
{
    for (PoolKind known : {PoolKind{"macs", 2}, PoolKind{"factory", 1}, PoolKind{"reg", 1}})
        if (strKind == known.szKind) {
            kind = known;
            return true;
        }
    return false;
}

std::string PoolValueText(const std::string& strKind, int64_t nValue)
{
    char szText[32];
    if (strKind == "macs")
        return MacText(static_cast<uint64_t>(nValue));
    if (strKind == "reg")
        std::snprintf(szText, sizeof szText, "%08llX", static_cast<unsigned long long>(nValue));
    else
        std::snprintf(szText, sizeof szText, "%lld", static_cast<long long>(nValue));
    return szText;
}

}  // namespace

int64_t WallNowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

int64_t LocalDateMs(const std::string& strDate)
{
    std::tm parts {};
    if (std::sscanf(strDate.c_str(), "%d-%d-%d", &parts.tm_year, &parts.tm_mon, &parts.tm_mday) != 3)
        return -1;
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    parts.tm_isdst = -1;
    std::time_t t = std::mktime(&parts);
    return t == static_cast<std::time_t>(-1) ? -1 : static_cast<int64_t>(t) * 1000;
}

int64_t TodayStartMs()
{
    std::time_t now = std::time(nullptr);
    std::tm parts {};
    localtime_r(&now, &parts);
    parts.tm_hour = parts.tm_min = parts.tm_sec = 0;
    parts.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&parts)) * 1000;
}

CProductionRecord::CProductionRecord(std::unique_ptr<ISqlConnection> pConnection, std::string strToolVersion)
    : m_pDb(std::move(pConnection)), m_strToolVersion(std::move(strToolVersion))
{
}

bool CProductionRecord::Exec(const std::string& strSql, const std::vector<SqlText>& params,
                             std::vector<SqlRow>* pRows, std::string& strError, SqlError* pError)
{
    SqlError error;
    if (m_pDb->Exec(strSql, params, pRows, error))
        return true;
    strError = error.strText;
    if (pError)
        *pError = error;
    return false;
}

bool CProductionRecord::Commit(std::string& strError)
{
    SqlError error;
    if (m_pDb->Commit(error))
        return true;
    strError = error.strText;
    m_pDb->Rollback();
    return false;
}

bool CProductionRecord::Open(std::string& strError) { return Migrate(strError); }

// Brings the schema to SCHEMA_VERSION, one step per version, each in its own transaction.
bool CProductionRecord::Migrate(std::string& strError)
{
    SqlError error;
    if (!m_pDb->Begin(error)) {
        strError = error.strText;
        return false;
    }
    std::vector<SqlRow> rows;
    if (!Exec("CREATE TABLE IF NOT EXISTS tovar_schema (version INTEGER NOT NULL)", {}, nullptr, strError) ||
        !Exec("SELECT version FROM tovar_schema", {}, &rows, strError)) {
        m_pDb->Rollback();
        return false;
    }
    int nVersion = rows.empty() ? 0 : static_cast<int>(Number(rows[0][0]));
    if (nVersion > SCHEMA_VERSION) {
        m_pDb->Rollback();
        strError = Where() + " has schema version " + std::to_string(nVersion) + "; this Tovar knows up to " +
                   std::to_string(SCHEMA_VERSION) + ": update Tovar";
        return false;
    }
    if (nVersion < 1) {
        if (!m_pDb->ExecScript(SchemaV1(m_pDb->GetDialect()), error) ||
            !Exec("INSERT INTO tovar_schema (version) VALUES (1)", {}, nullptr, strError)) {
            strError = error.strText.empty() ? strError : error.strText;
            m_pDb->Rollback();
            return false;
        }
    }
    return Commit(strError);
}

bool CProductionRecord::GuardUnique(const IdentityValues& values, bool& bReflash, std::string& strWhy,
                                    std::string& strError)
{
    std::vector<SqlRow> rows;
    if (!Exec("SELECT value, factory, station, installed_at FROM identities WHERE value IN ($1, $2, $3)",
              {Key("mac", values.strMac1), Key("mac", values.strMac2), Key("reg", values.strReg)}, &rows, strError))
        return false;
    for (const SqlRow& row : rows)
        if (Text(row[1]) != values.strFactory)
            strWhy += "->" + Text(row[0]) + " is already on board " + Text(row[1]) + " (station " + Text(row[2]) +
                      ", " + Text(row[3]) + ").\r\n";
    std::vector<SqlRow> board;
    if (!Exec("SELECT value, station, installed_at FROM identities WHERE factory = $1 AND value <> $2", {values.strFactory,
              Key("factory", values.strFactory)}, &board, strError))
        return false;
    for (const SqlRow& row : board) {
        std::string strValue = Text(row[0]);
        if (strValue != Key("mac", values.strMac1) && strValue != Key("mac", values.strMac2) &&
            strValue != Key("reg", values.strReg))
            strWhy += "->Factory number " + values.strFactory + " was installed with " + strValue + " (station " +
                      Text(row[1]) + ", " + Text(row[2]) + ").\r\n";
    }
    bReflash = strWhy.empty() && !board.empty();
    return true;
}

bool CProductionRecord::GuardHolds(const IdentityValues& values, std::string& strWhy, std::string& strError)
{
    std::vector<SqlRow> rows;
    if (!Exec("SELECT value, station, port, since FROM holds WHERE value IN ($1, $2, $3, $4)",
              {Key("mac", values.strMac1), Key("mac", values.strMac2), Key("reg", values.strReg),
               Key("factory", values.strFactory)},
              &rows, strError))
        return false;
    for (const SqlRow& row : rows)
        strWhy += "->" + Text(row[0]) + " is in use by a running job (station " + Text(row[1]) + ", " + Text(row[2]) +
                  ", since " + Text(row[3]) + ").\r\n";
    return true;
}

bool CProductionRecord::Claim(const IdentityValues& values, const std::string& strStation, const std::string& strPort,
                              int nHoldMinutes, int64_t nNowMs, IdentityClaim& claim, std::string& strWhy)
{
    claim = IdentityClaim{};
    strWhy.clear();
    std::string strError;
    SqlError error;
    for (int nTry = 0; nTry < 2; ++nTry) {
        if (!m_pDb->Begin(error)) {
            strWhy = "->The production record cannot be used: " + error.strText + "\r\n";
            return false;
        }
        bool bReflash = false;
        bool bOk = Exec("DELETE FROM holds WHERE expires_ms < $1", {std::to_string(nNowMs)}, nullptr, strError) &&
                   GuardUnique(values, bReflash, strWhy, strError) && GuardHolds(values, strWhy, strError);
        if (!bOk || !strWhy.empty()) {
            m_pDb->Rollback();
            if (!bOk)
                strWhy = "->The production record cannot be used: " + strError + "\r\n";
            return false;
        }
        const std::string strToken = NewToken();
        const std::string strExpires = std::to_string(nNowMs + static_cast<int64_t>(nHoldMinutes) * 60000);
        SqlError insertError;
        bool bHeld = true;
        for (const std::string& strKey : {Key("mac", values.strMac1), Key("mac", values.strMac2),
                                          Key("reg", values.strReg), Key("factory", values.strFactory)})
            if (bHeld && !Exec("INSERT INTO holds (value, token, station, port, since, expires_ms) VALUES ($1, $2, $3, $4, $5, $6)",
                               {strKey, strToken, strStation, strPort, IsoTimeNow(), strExpires}, nullptr, strError,
                               &insertError))
                bHeld = false;
        if (bHeld && Commit(strError)) {
            claim.strToken = strToken;
            claim.bReflash = bReflash;
            return true;
        }
        m_pDb->Rollback();
        if (!insertError.bConflict) {
            strWhy = "->The production record cannot be used: " + strError + "\r\n";
            return false;
        }
        // Another station took a value between the check and the insert: look again to say where.
    }
    if (strWhy.empty())
        strWhy = "->The identity is in use by another running job.\r\n";
    return false;
}

bool CProductionRecord::ReturnPoolValues(const JobIdentity& identity, bool bInstalled, std::string& strError)
{
    IdentityValues values;
    std::string strWhy;
    if (!CheckIdentityFormat(identity, values, strWhy))
        return true;  // a malformed identity never came from a pool
    uint64_t nMac = 0;
    ParseMac(values.strMac1, nMac);
    struct Taken {
        const char* szKind;
        std::string strValue;
    };
    std::vector<Taken> taken = {{"macs", std::to_string(nMac)}};
    char* pEnd = nullptr;
    long long nFactory = std::strtoll(values.strFactory.c_str(), &pEnd, 10);
    if (pEnd && *pEnd == '\0')
        taken.push_back({"factory", std::to_string(nFactory)});
    unsigned long long nReg = std::strtoull(values.strReg.c_str(), &pEnd, 16);
    if (pEnd && *pEnd == '\0')
        taken.push_back({"reg", std::to_string(nReg)});
    for (const Taken& one : taken) {
        std::vector<SqlRow> rows;
        if (!Exec("DELETE FROM pool_taken WHERE kind = $1 AND value = $2 RETURNING value", {one.szKind, one.strValue},
                  &rows, strError))
            return false;
        if (!rows.empty() && !bInstalled &&
            !Exec("INSERT INTO pool_free (kind, value) VALUES ($1, $2) ON CONFLICT DO NOTHING", {one.szKind, one.strValue},
                  nullptr, strError))
            return false;
    }
    return true;
}

bool CProductionRecord::Finish(const JobResult& result, const IdentityClaim& claim, std::string& strError, bool* pLost)
{
    SqlError error;
    if (pLost)
        *pLost = false;
    if (!m_pDb->Begin(error)) {
        strError = error.strText;
        if (pLost)
            *pLost = error.bLost;
        return false;
    }
    const JobIdentity& id = result.identity;
    char szChip[16];
    std::snprintf(szChip, sizeof szChip, "0x%08x", result.nChipId);
    std::vector<SqlRow> rows;
    SqlError execError;
    bool bOk = Exec("INSERT INTO jobs (verdict, stage, reason, mac, factory, reg, station, port, device, chip_id, "
                    "started_at, ended_at, started_ms, ended_ms, bringup_ms, console_ms, transfer_ms, tool_version, "
                    "reflash) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16, $17, $18, "
                    "$19) RETURNING id",
                    {VerdictName(result.verdict), StageName(result.stage), result.strReason, id.strMac, id.strFactory,
                     id.strReg, result.strStation, result.nComPort > 0 ? "COM" + std::to_string(result.nComPort) : "",
                     result.strDevicePath, result.bChipIdRead ? SqlText(szChip) : SqlText(), result.strStartTime,
                     result.strEndTime, std::to_string(IsoMs(result.strStartTime)),
                     std::to_string(IsoMs(result.strEndTime)), std::to_string(result.nBringUpMs),
                     std::to_string(result.nConsoleMs), std::to_string(result.nTransferMs), m_strToolVersion,
                     claim.bReflash ? "1" : "0"},
                    &rows, strError, &execError);
    const std::string strJobId = bOk && !rows.empty() ? Text(rows[0][0]) : std::string();
    for (const TransferImageResult& image : result.images)
        bOk = bOk && Exec("INSERT INTO job_images (job_id, slot, file_id, name, size, sha256, frames, resends, stored) "
                          "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9)",
                          {strJobId, std::to_string(image.nSlot), std::to_string(image.nId), image.strName,
                           std::to_string(image.nSize), image.strSha256, std::to_string(image.nFrames),
                           std::to_string(image.nResends), image.bStored ? "1" : "0"},
                          nullptr, strError, &execError);
    const bool bInstalled = result.verdict == JobVerdict::Installed;
    if (bOk && bInstalled) {
        IdentityValues values;
        std::string strWhy;
        if (CheckIdentityFormat(id, values, strWhy))
            for (const std::string& strKey : {Key("mac", values.strMac1), Key("mac", values.strMac2),
                                              Key("reg", values.strReg), Key("factory", values.strFactory)})
                bOk = bOk && Exec("INSERT INTO identities (value, factory, station, job_id, installed_at) VALUES "
                                  "($1, $2, $3, $4, $5) ON CONFLICT (value) DO UPDATE SET station = $3, job_id = $4, "
                                  "installed_at = $5",
                                  {strKey, values.strFactory, result.strStation, strJobId, result.strEndTime}, nullptr,
                                  strError, &execError);
    }
    if (bOk && result.verdict != JobVerdict::Refused)
        bOk = ReturnPoolValues(id, bInstalled, strError);
    if (bOk && !claim.strToken.empty())
        bOk = Exec("DELETE FROM holds WHERE token = $1", {claim.strToken}, nullptr, strError, &execError);
    if (!bOk) {
        m_pDb->Rollback();
        if (pLost)
            *pLost = execError.bLost;
        return false;
    }
    return Commit(strError);
}

bool CProductionRecord::ReleaseHold(const std::string& strValue, int& nReleased, std::string& strError)
{
    std::vector<SqlRow> rows;
    std::string strUpper = strValue;
    uint64_t nMac = 0;
    if (ParseMac(strValue, nMac))
        strUpper = MacText(nMac);
    if (!Exec("DELETE FROM holds WHERE value IN ($1, $2, $3, $4) RETURNING value",
              {Key("mac", strUpper), Key("reg", strValue), Key("factory", strValue), strValue}, &rows, strError))
        return false;
    nReleased = static_cast<int>(rows.size());
    return true;
}

bool CProductionRecord::AddPool(const std::string& strKind, const std::string& strFirst, int64_t nCount,
                                std::string& strError)
{
    PoolKind kind;
    if (!FindKind(strKind, kind)) {
        strError = "unknown pool " + strKind + " (macs, factory or reg)";
        return false;
    }
    int64_t nFirst = 0;
    char* pEnd = nullptr;
    uint64_t nMac = 0;
    if (strKind == "macs") {
        if (!ParseMac(strFirst, nMac) || ((nMac >> 40) & 1) || nMac == 0) {
            strError = strFirst + " is not a unicast MAC address (58:76:75:01:02:00)";
            return false;
        }
        nFirst = static_cast<int64_t>(nMac);
    } else {
        nFirst = std::strtoll(strFirst.c_str(), &pEnd, strKind == "reg" ? 16 : 10);
        if (strFirst.empty() || *pEnd != '\0' || nFirst < 0) {
            strError = strFirst + (strKind == "reg" ? " is not a hexadecimal number" : " is not a decimal number");
            return false;
        }
    }
    int64_t nEnd = nFirst + nCount * kind.nStep;
    int64_t nLimit = strKind == "macs" ? 0xFFFFFFFFFFFFll : strKind == "reg" ? 0xFFFFFFFFll : 99999999ll;
    if (nCount <= 0 || nEnd - 1 > nLimit) {
        strError = "the range does not fit: " + std::to_string(nCount) + " from " + strFirst;
        return false;
    }
    // A range that overlaps one already added would hand out values twice.
    std::vector<SqlRow> rows;
    SqlError error;
    if (!m_pDb->Begin(error)) {
        strError = error.strText;
        return false;
    }
    if (!Exec("SELECT id FROM pools WHERE kind = $1 AND NOT (end_value <= $2 OR $3 <= next_value)",
              {strKind, std::to_string(nFirst), std::to_string(nEnd)}, &rows, strError) ||
        (rows.empty() && !Exec("INSERT INTO pools (kind, next_value, end_value) VALUES ($1, $2, $3)",
                               {strKind, std::to_string(nFirst), std::to_string(nEnd)}, nullptr, strError))) {
        m_pDb->Rollback();
        return false;
    }
    if (!rows.empty()) {
        m_pDb->Rollback();
        strError = "the range overlaps a " + strKind + " range added before";
        return false;
    }
    return Commit(strError);
}

bool CProductionRecord::TakeFromPool(const std::string& strKind, int64_t& nValue, std::string& strError)
{
    PoolKind kind;
    FindKind(strKind, kind);
    // A value may be on a board already: typed by hand before its range was added, or installed
    // after a failed job gave it back. Such a value is used up, and the next one is taken.
    for (;;) {
        std::vector<SqlRow> rows;
        // Values given back by failed jobs first.
        if (!Exec("DELETE FROM pool_free WHERE kind = $1 AND value = (SELECT MIN(value) FROM pool_free WHERE kind = $1) "
                  "RETURNING value",
                  {strKind}, &rows, strError))
            return false;
        if (rows.empty()) {
            const bool bPg = m_pDb->GetDialect() == ISqlConnection::Dialect::Postgres;
            if (!Exec(std::string("UPDATE pools SET next_value = next_value + $2 WHERE id = (SELECT id FROM pools WHERE "
                                  "kind = $1 AND next_value < end_value ORDER BY id LIMIT 1") +
                          (bPg ? " FOR UPDATE" : "") + ") RETURNING next_value - $2",
                      {strKind, std::to_string(kind.nStep)}, &rows, strError))
                return false;
        }
        if (rows.empty()) {
            strError = "the " + strKind + " pool is empty (tovar pool add " + strKind + " FIRST COUNT)";
            return false;
        }
        nValue = Number(rows[0][0]);
        const std::string strKey = strKind == "macs" ? Key("mac", MacText(static_cast<uint64_t>(nValue)))
                                                     : Key(strKind.c_str(), PoolValueText(strKind, nValue));
        const std::string strKey2 =
            strKind == "macs" ? Key("mac", MacText(static_cast<uint64_t>(nValue) + 1)) : strKey;
        std::vector<SqlRow> installed;
        if (!Exec("SELECT value FROM identities WHERE value IN ($1, $2)", {strKey, strKey2}, &installed, strError))
            return false;
        if (installed.empty())
            break;
    }
    return Exec("INSERT INTO pool_taken (kind, value, taken_ms) VALUES ($1, $2, $3)",
                {strKind, std::to_string(nValue), std::to_string(WallNowMs())}, nullptr, strError);
}

bool CProductionRecord::TakeIdentity(PoolIdentity& taken, std::string& strError)
{
    SqlError error;
    if (!m_pDb->Begin(error)) {
        strError = error.strText;
        return false;
    }
    int64_t nMac = 0;
    int64_t nFactory = 0;
    int64_t nReg = 0;
    if (!TakeFromPool("macs", nMac, strError) || !TakeFromPool("factory", nFactory, strError) ||
        !TakeFromPool("reg", nReg, strError)) {
        m_pDb->Rollback();
        return false;
    }
    if (!Commit(strError))
        return false;
    taken.identity.strMac = MacPairText(static_cast<uint64_t>(nMac));
    taken.identity.strFactory = PoolValueText("factory", nFactory);
    taken.identity.strReg = PoolValueText("reg", nReg);
    return true;
}

bool CProductionRecord::PoolStatuses(std::vector<PoolStatus>& statuses, std::string& strError)
{
    statuses.clear();
    for (const char* szKind : {"macs", "factory", "reg"}) {
        PoolKind kind;
        FindKind(szKind, kind);
        std::vector<SqlRow> ranges;
        std::vector<SqlRow> free;
        std::vector<SqlRow> taken;
        if (!Exec("SELECT next_value, end_value FROM pools WHERE kind = $1 AND next_value < end_value ORDER BY id",
                  {szKind}, &ranges, strError) ||
            !Exec("SELECT MIN(value), COUNT(*) FROM pool_free WHERE kind = $1", {szKind}, &free, strError) ||
            !Exec("SELECT COUNT(*) FROM pool_taken WHERE kind = $1", {szKind}, &taken, strError))
            return false;
        PoolStatus status;
        status.strKind = szKind;
        for (const SqlRow& range : ranges)
            status.nLeft += (Number(range[1]) - Number(range[0])) / kind.nStep;
        status.nLeft += Number(free[0][1]);
        status.nTaken = Number(taken[0][0]);
        if (free[0][0])
            status.strNext = PoolValueText(szKind, Number(free[0][0]));
        else if (!ranges.empty())
            status.strNext = PoolValueText(szKind, Number(ranges[0][0]));
        statuses.push_back(status);
    }
    return true;
}

bool CProductionRecord::ListJobs(const RecordFilter& filter, std::vector<RecordedJob>& jobs, std::string& strError)
{
    std::vector<SqlRow> rows;
    std::string strMacLike = filter.strMac.empty() ? std::string() : "%" + filter.strMac + "%";
    if (!Exec("SELECT id, verdict, stage, reason, mac, factory, reg, station, port, device, chip_id, started_at, "
              "ended_at, bringup_ms, console_ms, transfer_ms, tool_version, reflash FROM jobs WHERE started_ms >= $1 "
              "AND ($2 = '' OR station = $2) AND ($3 = '' OR UPPER(mac) LIKE $3) AND ($4 = '' OR factory = $4) "
              "ORDER BY id",
              {std::to_string(filter.nSinceMs), filter.strStation, strMacLike, filter.strFactory}, &rows, strError))
        return false;
    jobs.clear();
    for (const SqlRow& row : rows) {
        RecordedJob job;
        job.nId = Number(row[0]);
        JobResult& r = job.result;
        const std::string strVerdict = Text(row[1]);
        for (JobVerdict v : {JobVerdict::Installed, JobVerdict::Failed, JobVerdict::ChipRejected, JobVerdict::Stopped,
                             JobVerdict::Refused})
            if (strVerdict == VerdictName(v))
                r.verdict = v;
        const std::string strStage = Text(row[2]);
        for (JobStage s : {JobStage::Prepare, JobStage::BringUp, JobStage::Console, JobStage::Transfer})
            if (strStage == StageName(s))
                r.stage = s;
        r.strReason = Text(row[3]);
        r.identity = {Text(row[4]), Text(row[5]), Text(row[6])};
        r.strStation = Text(row[7]);
        const std::string strPort = Text(row[8]);
        r.nComPort = strPort.size() > 3 ? std::atoi(strPort.c_str() + 3) : 0;
        r.strDevicePath = Text(row[9]);
        r.bChipIdRead = row[10].has_value();
        r.nChipId = r.bChipIdRead ? static_cast<uint32_t>(std::stoul(*row[10], nullptr, 16)) : 0;
        r.strStartTime = Text(row[11]);
        r.strEndTime = Text(row[12]);
        r.nBringUpMs = Number(row[13]);
        r.nConsoleMs = Number(row[14]);
        r.nTransferMs = Number(row[15]);
        job.strToolVersion = Text(row[16]);
        job.bReflash = Number(row[17]) != 0;
        std::vector<SqlRow> images;
        if (!Exec("SELECT slot, file_id, name, size, sha256, frames, resends, stored FROM job_images WHERE job_id = $1 "
                  "ORDER BY slot",
                  {std::to_string(job.nId)}, &images, strError))
            return false;
        for (const SqlRow& image : images)
            r.images.push_back({static_cast<int>(Number(image[0])), static_cast<int32_t>(Number(image[1])),
                                Text(image[2]), static_cast<uint64_t>(Number(image[3])), Text(image[4]),
                                static_cast<uint32_t>(Number(image[5])), static_cast<uint32_t>(Number(image[6])),
                                Number(image[7]) != 0});
        jobs.push_back(std::move(job));
    }
    return true;
}

bool CProductionRecord::Stats(int64_t nSinceMs, std::vector<StationStats>& stats, std::string& strError)
{
    std::vector<SqlRow> rows;
    if (!Exec("SELECT station, verdict, ended_ms - started_ms FROM jobs WHERE started_ms >= $1 AND verdict <> 'refused' "
              "ORDER BY station",
              {std::to_string(nSinceMs)}, &rows, strError))
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
        if (stats.empty() || stats.back().strStation != Text(row[0])) {
            close();
            stats.push_back({Text(row[0]), 0, 0, 0});
        }
        if (Text(row[1]) == "installed") {
            ++stats.back().nInstalled;
            durations.push_back(Number(row[2]));
        } else {
            ++stats.back().nFailed;
        }
    }
    close();
    return true;
}
