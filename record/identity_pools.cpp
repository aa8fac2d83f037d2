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

bool CIdentityPools::ReturnValues(const JobIdentity& identity, const std::string& strStation, bool bInstalled,
                                  std::string& strError, SqlError* pError)
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
        // Only what this station took: the same values typed at another station are not its to give.
        if (!RunSql(m_Db, "DELETE FROM pool_taken WHERE kind = $1 AND value = $2 AND station = $3 RETURNING value",
                    {one.szKind, one.strValue, strStation}, &rows, strError, pError))
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
    // The first 24 bits are the maker's block; a range that leaves it hands out someone else's
    // addresses (and, past FF:FF:FF, multicast ones).
    if (strKind == "macs" && (nFirst >> 24) != ((nEnd - 1) >> 24)) {
        strError = "the range leaves its vendor block " + MacText(static_cast<uint64_t>(nFirst)).substr(0, 6) +
                   ": its last address would be " + MacText(static_cast<uint64_t>(nEnd - 1));
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
    if (strKind == "macs") {
        // MAC keys have a fixed width, so their text order is their number order.
        std::vector<SqlRow> installed;
        if (!RunSql(m_Db, "SELECT value, factory FROM identities WHERE value >= $1 AND value <= $2 LIMIT 1",
                    {IdentityKey("mac", MacText(static_cast<uint64_t>(nFirst))),
                     IdentityKey("mac", MacText(static_cast<uint64_t>(nEnd - 1)))},
                    &installed, strError)) {
            m_Db.Rollback();
            return false;
        }
        if (!installed.empty()) {
            m_Db.Rollback();
            strError = "the range overlaps values already installed: " + TextOf(installed[0][0]) + " is on board " +
                       TextOf(installed[0][1]);
            return false;
        }
    }
    return CommitWrite(m_Db, strError);
}

bool CIdentityPools::TakeFromPool(const std::string& strKind, const std::string& strStation, int64_t& nValue,
                                  std::string& strError)
{
    PoolKind kind;
    FindKind(strKind, kind);
    // A value may be on a board already: typed by hand before its range was added, or installed
    // after a failed job gave it back. Such a value is used up, and the next one is taken.
    // The loop ends: each turn takes a value out of the free list or the ranges for good.
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
        bool bHeld = false;
        bool bInstalled = false;
        if (!InUse(strKind, nValue, bHeld, bInstalled, strError))
            return false;
        if (bInstalled)
            continue;
        // Typed by hand for a job that runs now: it stays taken, and comes back after the hold
        // time if that job does not install it.
        if (!RunSql(m_Db,
                    "INSERT INTO pool_taken (kind, value, taken_ms, station) VALUES ($1, $2, " +
                        DbNowMsSql(m_Db.GetDialect()) + ", $3) ON CONFLICT DO NOTHING",
                    {strKind, std::to_string(nValue), bHeld ? std::string() : strStation}, nullptr, strError))
            return false;
        if (!bHeld)
            return true;
    }
}

bool CIdentityPools::InUse(const std::string& strKind, int64_t nValue, bool& bHeld, bool& bInstalled,
                           std::string& strError)
{
    std::vector<SqlRow> held;
    std::vector<SqlRow> installed;
    const std::vector<SqlText> keys = InstalledKeys(strKind, nValue);
    if (!RunSql(m_Db,
                "SELECT value FROM holds WHERE value IN ($1, $2) AND expires_ms >= " + DbNowMsSql(m_Db.GetDialect()),
                keys, &held, strError) ||
        !RunSql(m_Db, "SELECT value FROM identities WHERE value IN ($1, $2)", keys, &installed, strError))
        return false;
    bHeld = !held.empty();
    bInstalled = !installed.empty();
    return true;
}

bool CIdentityPools::ReclaimStale(int64_t nHoldMs, std::string& strError)
{
    std::vector<SqlRow> rows;
    if (!RunSql(m_Db,
                "SELECT kind, value FROM pool_taken WHERE taken_ms < " + DbNowMsSql(m_Db.GetDialect()) + " - $1",
                {std::to_string(nHoldMs)}, &rows, strError))
        return false;
    for (const SqlRow& row : rows) {
        const std::string strKind = TextOf(row[0]);
        const int64_t nValue = NumberOf(row[1]);
        bool bHeld = false;
        bool bInstalled = false;
        if (!InUse(strKind, nValue, bHeld, bInstalled, strError))
            return false;
        if (bHeld)
            continue;
        if (!RunSql(m_Db, "DELETE FROM pool_taken WHERE kind = $1 AND value = $2", {strKind, TextOf(row[1])}, nullptr,
                    strError) ||
            (!bInstalled && !RunSql(m_Db, "INSERT INTO pool_free (kind, value) VALUES ($1, $2) ON CONFLICT DO NOTHING",
                                    {strKind, TextOf(row[1])}, nullptr, strError)))
            return false;
    }
    return true;
}

bool CIdentityPools::ListTaken(std::vector<TakenValue>& taken, std::string& strError)
{
    taken.clear();
    std::vector<SqlRow> rows;
    if (!RunSql(m_Db,
                "SELECT kind, value, station, " + DbNowMsSql(m_Db.GetDialect()) +
                    " - taken_ms FROM pool_taken ORDER BY taken_ms, kind",
                {}, &rows, strError))
        return false;
    for (const SqlRow& row : rows) {
        TakenValue one;
        one.strKind = TextOf(row[0]);
        one.strValue = PoolValueText(one.strKind, NumberOf(row[1]));
        one.strStation = TextOf(row[2]);
        one.nAgeMs = NumberOf(row[3]);
        bool bInstalled = false;
        if (!InUse(one.strKind, NumberOf(row[1]), one.bHeld, bInstalled, strError))
            return false;
        taken.push_back(one);
    }
    return true;
}

bool CIdentityPools::ReturnTaken(const std::string& strKind, const std::string& strValue, std::string& strReturned,
                                 std::string& strError)
{
    // The value may name any pool: a MAC (either address of its pair), a factory or a reg number.
    std::vector<std::pair<std::string, int64_t>> candidates;
    uint64_t nMac = 0;
    if ((strKind.empty() || strKind == "macs") && ParseMac(strValue, nMac)) {
        candidates.push_back({"macs", static_cast<int64_t>(nMac)});
        candidates.push_back({"macs", static_cast<int64_t>(nMac) - 1});
    }
    char* pEnd = nullptr;
    const long long nFactory = std::strtoll(strValue.c_str(), &pEnd, 10);
    if ((strKind.empty() || strKind == "factory") && !strValue.empty() && *pEnd == '\0')
        candidates.push_back({"factory", nFactory});
    const unsigned long long nReg = std::strtoull(strValue.c_str(), &pEnd, 16);
    if ((strKind.empty() || strKind == "reg") && !strValue.empty() && *pEnd == '\0')
        candidates.push_back({"reg", static_cast<int64_t>(nReg)});
    if (!BeginWrite(m_Db, strError))
        return false;
    std::vector<std::pair<std::string, int64_t>> found;
    for (const auto& [strKind, nValue] : candidates) {
        std::vector<SqlRow> rows;
        if (!RunSql(m_Db, "SELECT value FROM pool_taken WHERE kind = $1 AND value = $2",
                    {strKind, std::to_string(nValue)}, &rows, strError)) {
            m_Db.Rollback();
            return false;
        }
        if (!rows.empty())
            found.push_back({strKind, nValue});
    }
    if (found.size() != 1) {
        m_Db.Rollback();
        strError = found.empty() ? strValue + " is not a taken pool value (tovar pool taken lists them)"
                                 : strValue + " names a taken value in more than one pool: add --kind macs, factory or reg";
        return false;
    }
    const auto& [strFound, nValue] = found[0];
    bool bHeld = false;
    bool bInstalled = false;
    if (!InUse(strFound, nValue, bHeld, bInstalled, strError)) {
        m_Db.Rollback();
        return false;
    }
    if (bHeld || bInstalled) {
        m_Db.Rollback();
        strError = PoolValueText(strFound, nValue) + (bHeld ? " is held by a running job" : " is on a board") +
                   "; it is not given back";
        return false;
    }
    if (!RunSql(m_Db, "DELETE FROM pool_taken WHERE kind = $1 AND value = $2", {strFound, std::to_string(nValue)},
                nullptr, strError) ||
        !RunSql(m_Db, "INSERT INTO pool_free (kind, value) VALUES ($1, $2) ON CONFLICT DO NOTHING",
                {strFound, std::to_string(nValue)}, nullptr, strError)) {
        m_Db.Rollback();
        return false;
    }
    strReturned = strFound + " " + PoolValueText(strFound, nValue);
    return CommitWrite(m_Db, strError);
}

bool CIdentityPools::TakeIdentity(const std::string& strStation, int64_t nHoldMs, PoolIdentity& taken,
                                  std::string& strError)
{
    if (!BeginWrite(m_Db, strError))
        return false;
    int64_t nMac = 0;
    int64_t nFactory = 0;
    int64_t nReg = 0;
    if (!ReclaimStale(nHoldMs, strError) || !TakeFromPool("macs", strStation, nMac, strError) ||
        !TakeFromPool("factory", strStation, nFactory, strError) ||
        !TakeFromPool("reg", strStation, nReg, strError)) {
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
