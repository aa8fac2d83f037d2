#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "job/job_result.h"
#include "record/sql_connection.h"

// An identity handed out by the pools.
struct PoolIdentity {
    JobIdentity identity;
};

struct PoolStatus {
    std::string strKind;      // "macs", "factory", "reg"
    int64_t nLeft = 0;        // values still to hand out (returned ones included)
    int64_t nTaken = 0;       // handed out and not yet installed or returned
    std::string strNext;      // the next value, empty when the pool is empty
};

// A value handed out and neither installed nor given back.
struct TakenValue {
    std::string strKind;      // "macs", "factory", "reg"
    std::string strValue;     // as the pool hands it out (a MAC pair by its first address)
    std::string strStation;
    int64_t nAgeMs = 0;       // by the database's clock
    bool bHeld = false;       // a running job holds it
};

// The identity pools of the production record: ranges of values to hand out, the values handed
// out and not yet installed (taken), and those that failed jobs gave back (free).
class CIdentityPools {
public:
    explicit CIdentityPools(ISqlConnection& db) : m_Db(db) {}

    // Each in a transaction of its own. Pools: "macs" (count boards, two consecutive addresses
    // each), "factory" (decimal), "reg" (hex).
    bool AddPool(const std::string& strKind, const std::string& strFirst, int64_t nCount, std::string& strError);
    // The next identity for strStation. Values taken longer than nHoldMs ago that no job holds
    // and no board carries (their station died before its job ended) are handed out again first.
    bool TakeIdentity(const std::string& strStation, int64_t nHoldMs, PoolIdentity& taken, std::string& strError);
    bool PoolStatuses(std::vector<PoolStatus>& statuses, std::string& strError);
    bool ListTaken(std::vector<TakenValue>& taken, std::string& strError);
    // Gives one taken value back (a MAC of a pair names the pair; strKind, when not empty, says
    // which pool); refused while a running job holds it or a board carries it.
    bool ReturnTaken(const std::string& strKind, const std::string& strValue, std::string& strReturned, std::string& strError);

    // Within the caller's transaction: the pool values that strStation took for a finished job are
    // no longer taken; those of a board that was not installed go back to be handed out again.
    bool ReturnValues(const JobIdentity& identity, const std::string& strStation, bool bInstalled,
                      std::string& strError, SqlError* pError);

private:
    bool TakeFromPool(const std::string& strKind, const std::string& strStation, int64_t& nValue,
                      std::string& strError);
    bool ReclaimStale(int64_t nHoldMs, std::string& strError);
    bool InUse(const std::string& strKind, int64_t nValue, bool& bHeld, bool& bInstalled, std::string& strError);

    ISqlConnection& m_Db;
};
