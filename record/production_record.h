#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "job/job_result.h"
#include "record/identity_format.h"
#include "record/sql_connection.h"

// A running job's claim on its identity: while it is held no other job may use any of its values.
struct IdentityClaim {
    std::string strToken;     // empty: nothing held (no record, or the claim was refused)
    bool bReflash = false;    // the same board again with the same identity
};

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

struct RecordFilter {
    int64_t nSinceMs = 0;     // jobs started at or after (milliseconds since the epoch)
    std::string strStation;
    std::string strMac;       // 12 hex digits
    std::string strFactory;
};

struct RecordedJob {
    int64_t nId = 0;
    JobResult result;
    bool bReflash = false;
    std::string strToolVersion;
};

struct StationStats {
    std::string strStation;
    int64_t nInstalled = 0;
    int64_t nFailed = 0;      // every other verdict but refused
    int64_t nMedianMs = 0;    // median time of an installed board, start to end
};

// The production record: every job with its whole result, the identities installed on boards,
// the holds of running jobs, and the identity pools. One schema on SQLite or PostgreSQL.
class CProductionRecord {
public:
    CProductionRecord(std::unique_ptr<ISqlConnection> pConnection, std::string strToolVersion);

    // Creates or migrates the schema; false with strError when the record cannot be used.
    bool Open(std::string& strError);
    std::string Where() const { return m_pDb->Where(); }

    // The guard, before anything goes to the board: the values must not be installed on another
    // board, nor held by another running job. On success the values are held until Finish.
    // nNowMs is the wall clock; a hold lasts nHoldMinutes unless its job ends before.
    bool Claim(const IdentityValues& values, const std::string& strStation, const std::string& strPort,
               int nHoldMinutes, int64_t nNowMs, IdentityClaim& claim, std::string& strWhy);
    // Records a finished (or refused) job in one transaction: the job, its images, the identity of
    // an installed board; releases the claim; pool values of a job that did not install go back.
    bool Finish(const JobResult& result, const IdentityClaim& claim, std::string& strError, bool* pLost = nullptr);
    // Frees a value held by a job whose station went away.
    bool ReleaseHold(const std::string& strValue, int& nReleased, std::string& strError);

    // Pools: "macs" (count boards, two consecutive addresses each), "factory" (decimal), "reg" (hex).
    bool AddPool(const std::string& strKind, const std::string& strFirst, int64_t nCount, std::string& strError);
    bool TakeIdentity(PoolIdentity& taken, std::string& strError);
    bool PoolStatuses(std::vector<PoolStatus>& statuses, std::string& strError);

    bool ListJobs(const RecordFilter& filter, std::vector<RecordedJob>& jobs, std::string& strError);
    bool Stats(int64_t nSinceMs, std::vector<StationStats>& stats, std::string& strError);

private:
    bool Exec(const std::string& strSql, const std::vector<SqlText>& params, std::vector<SqlRow>* pRows,
              std::string& strError, SqlError* pError = nullptr);
    bool Migrate(std::string& strError);
    bool TakeFromPool(const std::string& strKind, int64_t& nValue, std::string& strError);
    bool GuardUnique(const IdentityValues& values, bool& bReflash, std::string& strWhy, std::string& strError);
    bool GuardHolds(const IdentityValues& values, std::string& strWhy, std::string& strError);
    bool ReturnPoolValues(const JobIdentity& identity, bool bInstalled, std::string& strError);
    bool Commit(std::string& strError);

    std::unique_ptr<ISqlConnection> m_pDb;
    std::string m_strToolVersion;
};

// Milliseconds since the epoch of a local date "YYYY-MM-DD" (its midnight); -1 when not a date.
int64_t LocalDateMs(const std::string& strDate);
// Milliseconds since the epoch now, and of today's local midnight.
int64_t WallNowMs();
int64_t TodayStartMs();
