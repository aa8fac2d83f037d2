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

// The key of one value as the release command names it.
bool KeyOfKind(const std::string& strKind, const std::string& strValue, std::string& strKey, std::string& strError)
{
    uint64_t nMac = 0;
    if (strKind == "mac") {
        if (!ParseMac(strValue, nMac)) {
            strError = strValue + " is not a MAC address (58:76:75:01:02:00)";
            return false;
        }
        strKey = IdentityKey("mac", MacText(nMac));
    } else if (strKind == "factory" || strKind == "reg") {
        strKey = IdentityKey(strKind.c_str(), strValue);
    } else {
        strError = "unknown kind " + strKind + " (mac, factory or reg)";
        return false;
    }
    return true;
}

}  // namespace

bool CIdentityGuard::CheckUnique(const IdentityValues& values, IdentityClaim& found, std::string& strWhy,
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
    found.bReflash = strWhy.empty() && !board.empty();
    if (found.bReflash) {
        std::vector<SqlRow> last;
        if (!RunSql(m_Db, "SELECT station, installed_at FROM identities WHERE value = $1", {keys[3]}, &last, strError))
            return false;
        if (!last.empty()) {
            found.strInstalledStation = TextOf(last[0][0]);
            found.strInstalledAt = TextOf(last[0][1]);
        }
    }
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

bool CIdentityGuard::TakeOverExpired(std::string& strNotice, std::string& strError)
{
    // A hold outlives its job only when its station died or stalled: say whose it was.
    const std::string strNow = DbNowMsSql(m_Db.GetDialect());
    std::vector<SqlRow> rows;
    if (!RunSql(m_Db,
                "DELETE FROM holds WHERE expires_ms < " + strNow + " RETURNING value, station, port, since, " + strNow +
                    " - expires_ms",
                {}, &rows, strError))
        return false;
    for (const SqlRow& row : rows)
        strNotice += "->The hold of " + TextOf(row[0]) + " by station " + TextOf(row[1]) + " (" + TextOf(row[2]) +
                     ", since " + TextOf(row[3]) + ") expired " + std::to_string(NumberOf(row[4]) / 1000) +
                     " s ago without its job ending; it is free again.\r\n";
    return true;
}

bool CIdentityGuard::Claim(const IdentityValues& values, const std::string& strStation, const std::string& strPort,
                           int64_t nHoldMs, IdentityClaim& claim, std::string& strWhy)
{
    claim = IdentityClaim{};
    strWhy.clear();
    std::string strError;
    for (int nTry = 0; nTry < 2; ++nTry) {
        if (!BeginWrite(m_Db, strError)) {
            strWhy = CannotUse(strError);
            return false;
        }
        IdentityClaim found;
        std::string strNotice;
        bool bOk = TakeOverExpired(strNotice, strError) && CheckUnique(values, found, strWhy, strError) &&
                   CheckHolds(values, strWhy, strError);
        if (!bOk || !strWhy.empty()) {
            m_Db.Rollback();
            if (!bOk)
                strWhy = CannotUse(strError);
            return false;
        }
        const std::string strToken = NewToken();
        SqlError insertError;
        bool bHeld = true;
        for (const std::string& strKey : KeysOf(values))
            if (bHeld && !RunSql(m_Db,
                                 "INSERT INTO holds (value, token, station, port, since, expires_ms) "
                                 "VALUES ($1, $2, $3, $4, $5, " +
                                     DbNowMsSql(m_Db.GetDialect()) + " + $6)",
                                 {strKey, strToken, strStation, strPort, IsoTimeNow(), std::to_string(nHoldMs)},
                                 nullptr, strError, &insertError))
                bHeld = false;
        if (bHeld && CommitWrite(m_Db, strError)) {
            claim = found;
            claim.strToken = strToken;
            claim.strNotice = strNotice;
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

bool CIdentityGuard::Renew(const IdentityClaim& claim, int64_t nHoldMs, bool& bHeld, std::string& strError)
{
    bHeld = true;
    if (claim.strToken.empty())
        return true;
    std::vector<SqlRow> rows;
    if (!RunSql(m_Db,
                "UPDATE holds SET expires_ms = " + DbNowMsSql(m_Db.GetDialect()) +
                    " + $2 WHERE token = $1 RETURNING value",
                {claim.strToken, std::to_string(nHoldMs)}, &rows, strError))
        return false;
    // A claim holds four values; fewer means another job took one over after it expired.
    bHeld = rows.size() == 4;
    return true;
}

bool CIdentityGuard::FindHold(const std::string& strKind, const std::string& strValue, HoldHolder& holder,
                              std::string& strError)
{
    std::string strKey;
    if (!KeyOfKind(strKind, strValue, strKey, strError))
        return false;
    std::vector<SqlRow> rows;
    if (!RunSql(m_Db,
                "SELECT value, station, port, since, expires_ms - " + DbNowMsSql(m_Db.GetDialect()) +
                    " FROM holds WHERE value = $1",
                {strKey}, &rows, strError))
        return false;
    if (rows.empty()) {
        strError = "no running job holds " + strKey;
        return false;
    }
    holder = {TextOf(rows[0][0]), TextOf(rows[0][1]), TextOf(rows[0][2]), TextOf(rows[0][3]), NumberOf(rows[0][4])};
    return true;
}

bool CIdentityGuard::ReleaseHold(const std::string& strKind, const std::string& strValue, bool bForce,
                                 HoldHolder& holder, std::string& strError)
{
    if (!BeginWrite(m_Db, strError))
        return false;
    if (!FindHold(strKind, strValue, holder, strError)) {
        m_Db.Rollback();
        return false;
    }
    if (holder.nExpiresInMs > 0 && !bForce) {
        m_Db.Rollback();
        strError = holder.strValue + " is held by a running job that still renews it (station " + holder.strStation +
                   ", " + holder.strPort + ", since " + holder.strSince + "); release it only with --force";
        return false;
    }
    if (!RunSql(m_Db, "DELETE FROM holds WHERE value = $1", {holder.strValue}, nullptr, strError)) {
        m_Db.Rollback();
        return false;
    }
    return CommitWrite(m_Db, strError);
}

bool CIdentityGuard::Install(const IdentityValues& values, const IdentityClaim& claim, const std::string& strStation,
                             const std::string& strJobId, const std::string& strInstalledAt, std::string& strConflict,
                             std::string& strError, SqlError* pError)
{
    auto addConflict = [&strConflict](const std::string& strLine) {
        strConflict += (strConflict.empty() ? "" : "; ") + strLine;
    };
    for (const std::string& strKey : KeysOf(values)) {
        // A value held by another running job went to that job after this one's hold was lost:
        // it is that board's now, and both jobs say so.
        std::vector<SqlRow> held;
        if (!RunSql(m_Db, "SELECT station, port, since FROM holds WHERE value = $1 AND token <> $2",
                    {strKey, claim.strToken}, &held, strError, pError))
            return false;
        if (!held.empty()) {
            addConflict(strKey + " is held by a running job (station " + TextOf(held[0][0]) + ", " +
                        TextOf(held[0][1]) + ", since " + TextOf(held[0][2]) + ")");
            continue;
        }
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
        addConflict(strKey + " is already on board " +
                    (owner.empty() ? std::string("?")
                                   : TextOf(owner[0][0]) + " (station " + TextOf(owner[0][1]) + ", " +
                                         TextOf(owner[0][2]) + ")"));
    }
    return true;
}

bool CIdentityGuard::Release(const IdentityClaim& claim, std::string& strError, SqlError* pError)
{
    return claim.strToken.empty() ||
           RunSql(m_Db, "DELETE FROM holds WHERE token = $1", {claim.strToken}, nullptr, strError, pError);
}
