#include "record/identity_pools.h"

#include <cstdio>
#include <cstdlib>

#include "base/wall_clock.h"
#include "record/identity_format.h"
#include "record/record_schema.h"
#include "record/record_sql.h"

namespace {

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

// How the identities table names a pool value: both addresses of a MAC pair, or the one number.
std::vector<SqlText> InstalledKeys(const std::string& strKind, int64_t nValue)
{
    if (strKind == "macs")
        return {IdentityKey("mac", MacText(static_cast<uint64_t>(nValue))),
                IdentityKey("mac", MacText(static_cast<uint64_t>(nValue) + 1))};
    const std::string strKey = IdentityKey(strKind.c_str(), PoolValueText(strKind, nValue));
    return {strKey, strKey};
}

}  // namespace

bool CIdentityPools::ReturnValues(const JobIdentity& identity, bool bInstalled, std::string& strError, SqlError* pError)
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
        if (!RunSql(m_Db, "DELETE FROM pool_taken WHERE kind = $1 AND value = $2 RETURNING value",
                    {one.szKind, one.strValue}, &rows, strError, pError))
            return false;
        if (!rows.empty() && !bInstalled &&
            !RunSql(m_Db, "INSERT INTO pool_free (kind, value) VALUES ($1, $2) ON CONFLICT DO NOTHING",
                    {one.szKind, one.strValue}, nullptr, strError, pError))
            return false;
    }
    return true;
}

bool CIdentityPools::AddPool(const std::string& strKind, const std::string& strFirst, int64_t nCount,
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
    if (!BeginWrite(m_Db, strError))
        return false;
    if (!RunSql(m_Db, "SELECT id FROM pools WHERE kind = $1 AND NOT (end_value <= $2 OR $3 <= next_value)",
                {strKind, std::to_string(nFirst), std::to_string(nEnd)}, &rows, strError) ||
        (rows.empty() && !RunSql(m_Db, "INSERT INTO pools (kind, next_value, end_value) VALUES ($1, $2, $3)",
                                 {strKind, std::to_string(nFirst), std::to_string(nEnd)}, nullptr, strError))) {
        m_Db.Rollback();
        return false;
    }
    if (!rows.empty()) {
        m_Db.Rollback();
        strError = "the range overlaps a " + strKind + " range added before";
        return false;
    }
    return CommitWrite(m_Db, strError);
}

bool CIdentityPools::TakeFromPool(const std::string& strKind, int64_t& nValue, std::string& strError)
{
    PoolKind kind;
    FindKind(strKind, kind);
    // A value may be on a board already: typed by hand before its range was added, or installed
    // after a failed job gave it back. Such a value is used up, and the next one is taken.
    for (;;) {
        std::vector<SqlRow> rows;
        // Values given back by failed jobs first.
        if (!RunSql(m_Db,
                    "DELETE FROM pool_free WHERE kind = $1 AND value = (SELECT MIN(value) FROM pool_free WHERE "
                    "kind = $1) RETURNING value",
                    {strKind}, &rows, strError))
            return false;
        if (rows.empty()) {
            const bool bPg = m_Db.GetDialect() == ISqlConnection::Dialect::Postgres;
            if (!RunSql(m_Db,
                        std::string("UPDATE pools SET next_value = next_value + $2 WHERE id = (SELECT id FROM pools "
                                    "WHERE kind = $1 AND next_value < end_value ORDER BY id LIMIT 1") +
                            (bPg ? " FOR UPDATE" : "") + ") RETURNING next_value - $2",
                        {strKind, std::to_string(kind.nStep)}, &rows, strError))
                return false;
        }
        if (rows.empty()) {
            strError = "the " + strKind + " pool is empty (tovar pool add " + strKind + " FIRST COUNT)";
            return false;
        }
        nValue = NumberOf(rows[0][0]);
        std::vector<SqlRow> installed;
        if (!RunSql(m_Db, "SELECT value FROM identities WHERE value IN ($1, $2)", InstalledKeys(strKind, nValue),
                    &installed, strError))
            return false;
        if (installed.empty())
            break;
    }
    return RunSql(m_Db, "INSERT INTO pool_taken (kind, value, taken_ms) VALUES ($1, $2, $3)",
                  {strKind, std::to_string(nValue), std::to_string(WallNowMs())}, nullptr, strError);
}

bool CIdentityPools::TakeIdentity(PoolIdentity& taken, std::string& strError)
{
    if (!BeginWrite(m_Db, strError))
        return false;
    int64_t nMac = 0;
    int64_t nFactory = 0;
    int64_t nReg = 0;
    if (!TakeFromPool("macs", nMac, strError) || !TakeFromPool("factory", nFactory, strError) ||
        !TakeFromPool("reg", nReg, strError)) {
        m_Db.Rollback();
        return false;
    }
    if (!CommitWrite(m_Db, strError))
        return false;
    taken.identity.strMac = MacPairText(static_cast<uint64_t>(nMac));
    taken.identity.strFactory = PoolValueText("factory", nFactory);
    taken.identity.strReg = PoolValueText("reg", nReg);
    return true;
}

bool CIdentityPools::PoolStatuses(std::vector<PoolStatus>& statuses, std::string& strError)
{
    statuses.clear();
    for (const char* szKind : {"macs", "factory", "reg"}) {
        PoolKind kind;
        FindKind(szKind, kind);
        std::vector<SqlRow> ranges;
        std::vector<SqlRow> free;
        std::vector<SqlRow> taken;
        if (!RunSql(m_Db,
                    "SELECT next_value, end_value FROM pools WHERE kind = $1 AND next_value < end_value ORDER BY id",
                    {szKind}, &ranges, strError) ||
            !RunSql(m_Db, "SELECT MIN(value), COUNT(*) FROM pool_free WHERE kind = $1", {szKind}, &free, strError) ||
            !RunSql(m_Db, "SELECT COUNT(*) FROM pool_taken WHERE kind = $1", {szKind}, &taken, strError))
            return false;
        PoolStatus status;
        status.strKind = szKind;
        for (const SqlRow& range : ranges)
            status.nLeft += (NumberOf(range[1]) - NumberOf(range[0])) / kind.nStep;
        status.nLeft += NumberOf(free[0][1]);
        status.nTaken = NumberOf(taken[0][0]);
        if (free[0][0])
            status.strNext = PoolValueText(szKind, NumberOf(free[0][0]));
        else if (!ranges.empty())
            status.strNext = PoolValueText(szKind, NumberOf(ranges[0][0]));
        statuses.push_back(status);
    }
    return true;
}
