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

// The identity pools of the production record: ranges of values to hand out, the values handed
// out and not yet installed (taken), and those that failed jobs gave back (free).
class CIdentityPools {
public:
    explicit CIdentityPools(ISqlConnection& db) : m_Db(db) {}

    // Each in a transaction of its own. Pools: "macs" (count boards, two consecutive addresses
    // each), "factory" (decimal), "reg" (hex).
    bool AddPool(const std::string& strKind, const std::string& strFirst, int64_t nCount, std::string& strError);
    bool TakeIdentity(PoolIdentity& taken, std::string& strError);
    bool PoolStatuses(std::vector<PoolStatus>& statuses, std::string& strError);

    // Within the caller's transaction: the pool values of a finished job are no longer taken; those
    // of a board that was not installed go back to be handed out again.
    bool ReturnValues(const JobIdentity& identity, bool bInstalled, std::string& strError, SqlError* pError);

private:
    bool TakeFromPool(const std::string& strKind, int64_t& nValue, std::string& strError);

    ISqlConnection& m_Db;
};
