#include "record/identity_guard.h"

#include <array>
#include <cstdio>
#include <random>

#include "base/wall_clock.h"
#include "record/record_schema.h"
#include "record/record_sql.h"

namespace {

std::string NewToken()
{
    std::random_device device;
    char szToken[40];
    std::snprintf(szToken, sizeof szToken, "%08x%08x%08x", device(), device(), device());
    return szToken;
}

// An identity's values as the identities and holds tables name them: both MACs, reg, factory.
std::array<std::string, 4> KeysOf(const IdentityValues& values)
{
    return {IdentityKey("mac", values.strMac1), IdentityKey("mac", values.strMac2), IdentityKey("reg", values.strReg),
            IdentityKey("factory", values.strFactory)};
}

std::string CannotUse(const std::string& strError) { return "->The production record cannot be used: " + strError + "\r\n"; }

}  // namespace

bool CIdentityGuard::CheckUnique(const IdentityValues& values, bool& bReflash, std::string& strWhy,
                                 std::string& strError)
{
    const std::array<std::string, 4> keys = KeysOf(values);
    std::vector<SqlRow> rows;
    if (!RunSql(m_Db, "SELECT value, factory, station, installed_at FROM identities WHERE value IN ($1, $2, $3)",
                {keys[0], keys[1], keys[2]}, &rows, strError))
        return false;
    for (const SqlRow& row : rows)
        if (TextOf(row[1]) != values.strFactory)
            strWhy += "->" + TextOf(row[0]) + " is already on board " + TextOf(row[1]) + " (station " +
                      TextOf(row[2]) + ", " + TextOf(row[3]) + ").\r\n";
    // The board of this factory number must carry no other values.
    std::vector<SqlRow> board;
    if (!RunSql(m_Db, "SELECT value, station, installed_at FROM identities WHERE factory = $1 AND value <> $2",
                {values.strFactory, keys[3]}, &board, strError))
        return false;
    for (const SqlRow& row : board) {
        std::string strValue = TextOf(row[0]);
        if (strValue != keys[0] && strValue != keys[1] && strValue != keys[2])
            strWhy += "->Factory number " + values.strFactory + " was installed with " + strValue + " (station " +
                      TextOf(row[1]) + ", " + TextOf(row[2]) + ").\r\n";
    }
    bReflash = strWhy.empty() && !board.empty();
    return true;
}

bool CIdentityGuard::CheckHolds(const IdentityValues& values, std::string& strWhy, std::string& strError)
{
    const std::array<std::string, 4> keys = KeysOf(values);
    std::vector<SqlRow> rows;
    if (!RunSql(m_Db, "SELECT value, station, port, since FROM holds WHERE value IN ($1, $2, $3, $4)",
                {keys[0], keys[1], keys[2], keys[3]}, &rows, strError))
        return false;
    for (const SqlRow& row : rows)
        strWhy += "->" + TextOf(row[0]) + " is in use by a running job (station " + TextOf(row[1]) + ", " +
                  TextOf(row[2]) + ", since " + TextOf(row[3]) + ").\r\n";
    return true;
}

bool CIdentityGuard::Claim(const IdentityValues& values, const std::string& strStation, const std::string& strPort,
                           int nHoldMinutes, int64_t nNowMs, IdentityClaim& claim, std::string& strWhy)
{
    claim = IdentityClaim{};
    strWhy.clear();
    std::string strError;
    for (int nTry = 0; nTry < 2; ++nTry) {
        if (!BeginWrite(m_Db, strError)) {
            strWhy = CannotUse(strError);
            return false;
        }
        bool bReflash = false;
        bool bOk = RunSql(m_Db, "DELETE FROM holds WHERE expires_ms < $1", {std::to_string(nNowMs)}, nullptr,
                          strError) &&
                   CheckUnique(values, bReflash, strWhy, strError) && CheckHolds(values, strWhy, strError);
        if (!bOk || !strWhy.empty()) {
            m_Db.Rollback();
            if (!bOk)
                strWhy = CannotUse(strError);
            return false;
        }
        const std::string strToken = NewToken();
        const std::string strExpires = std::to_string(nNowMs + static_cast<int64_t>(nHoldMinutes) * 60000);
        SqlError insertError;
        bool bHeld = true;
        for (const std::string& strKey : KeysOf(values))
            if (bHeld && !RunSql(m_Db,
                                 "INSERT INTO holds (value, token, station, port, since, expires_ms) "
                                 "VALUES ($1, $2, $3, $4, $5, $6)",
                                 {strKey, strToken, strStation, strPort, IsoTimeNow(), strExpires}, nullptr, strError,
                                 &insertError))
                bHeld = false;
        if (bHeld && CommitWrite(m_Db, strError)) {
            claim.strToken = strToken;
            claim.bReflash = bReflash;
            return true;
        }
        m_Db.Rollback();
        if (!insertError.bConflict) {
            strWhy = CannotUse(strError);
            return false;
        }
        // Another station took a value between the check and the insert: look again to say where.
    }
    if (strWhy.empty())
        strWhy = "->The identity is in use by another running job.\r\n";
    return false;
}

bool CIdentityGuard::ReleaseHold(const std::string& strValue, int& nReleased, std::string& strError)
{
    std::vector<SqlRow> rows;
    std::string strUpper = strValue;
    uint64_t nMac = 0;
    if (ParseMac(strValue, nMac))
        strUpper = MacText(nMac);
    if (!RunSql(m_Db, "DELETE FROM holds WHERE value IN ($1, $2, $3, $4) RETURNING value",
                {IdentityKey("mac", strUpper), IdentityKey("reg", strValue), IdentityKey("factory", strValue),
                 strValue},
                &rows, strError))
        return false;
    nReleased = static_cast<int>(rows.size());
    return true;
}

bool CIdentityGuard::Install(const IdentityValues& values, const std::string& strStation, const std::string& strJobId,
                             const std::string& strInstalledAt, std::string& strConflict, std::string& strError,
                             SqlError* pError)
{
    for (const std::string& strKey : KeysOf(values)) {
        // The update is for the same board only (a re-flash); the statement itself refuses the
        // others, so no check made earlier can be outrun.
        std::vector<SqlRow> rows;
        if (!RunSql(m_Db,
                    "INSERT INTO identities (value, factory, station, job_id, installed_at) VALUES ($1, $2, $3, $4, "
                    "$5) ON CONFLICT (value) DO UPDATE SET station = $3, job_id = $4, installed_at = $5 "
                    "WHERE identities.factory = $2 RETURNING value",
                    {strKey, values.strFactory, strStation, strJobId, strInstalledAt}, &rows, strError, pError))
            return false;
        if (!rows.empty())
            continue;
        std::vector<SqlRow> owner;
        if (!RunSql(m_Db, "SELECT factory, station, installed_at FROM identities WHERE value = $1", {strKey}, &owner,
                    strError, pError))
            return false;
        strConflict += (strConflict.empty() ? "" : "; ") + strKey + " is already on board " +
                       (owner.empty() ? std::string("?") : TextOf(owner[0][0]) + " (station " + TextOf(owner[0][1]) +
                                                                ", " + TextOf(owner[0][2]) + ")");
    }
    return true;
}

bool CIdentityGuard::Release(const IdentityClaim& claim, std::string& strError, SqlError* pError)
{
    return claim.strToken.empty() ||
           RunSql(m_Db, "DELETE FROM holds WHERE token = $1", {claim.strToken}, nullptr, strError, pError);
}
