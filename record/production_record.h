#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/wall_clock.h"  // WallNowMs, TodayStartMs for the callers of the record
#include "job/job_result.h"
#include "record/identity_format.h"
#include "record/identity_guard.h"
#include "record/identity_pools.h"
#include "record/job_history.h"
#include "record/line_counts.h"
#include "record/record_stats.h"
#include "record/sql_connection.h"

// Why CProductionRecord::Finish returned false.
struct FinishFailure {
    bool bKept = false;   // the job is recorded, but a value of it is on another board: do not write it again
    bool bLost = false;   // the connection to the database is gone
    bool bAlready = false; // the spooled result was written before: nothing was written now
};

// The production record: every job with its whole result, the identities installed on boards,
// the holds of running jobs, and the identity pools. One schema on SQLite or PostgreSQL. Each part
// has a class of its own (CIdentityGuard, CIdentityPools, CJobHistory); this one owns the connection
// and makes the end of a job one transaction across them.
class CProductionRecord {
public:
    CProductionRecord(std::unique_ptr<ISqlConnection> pConnection, std::string strToolVersion);

    // Creates or migrates the schema; false with strError when the record cannot be used.
    bool Open(std::string& strError);
    std::string Where() const { return m_pDb->Where(); }
    // Whether the database answers now.
    bool Ping(std::string& strError);

    // The guard, before anything goes to the board: the values must not be installed on another
    // board, nor held by another running job. On success the values are held for nHoldMs by the
    // database's clock, renewed by RenewHold while the job runs, until Finish.
    bool Claim(const IdentityValues& values, const std::string& strStation, const std::string& strPort,
               int64_t nHoldMs, IdentityClaim& claim, std::string& strWhy);
    bool RenewHold(const IdentityClaim& claim, int64_t nHoldMs, bool& bHeld, std::string& strError);
    // Records a finished (or refused) job in one transaction: the job, its images, the identity of
    // an installed board; releases the claim; pool values of a job that did not install go back.
    // A value of an installed board that is already on another board stays with that board: the
    // job is still recorded, flagged conflict with the conflict in its reason, and Finish returns
    // false with pFailure->bKept and the conflict in strError. strSpoolId names a result written
    // back from the spool: one that was written before is not written again (pFailure->bAlready).
    bool Finish(const JobResult& result, const IdentityClaim& claim, std::string& strError,
                FinishFailure* pFailure = nullptr, const std::string& strSpoolId = {});
    // Who holds a value, and freeing it (one still renewed by its job only with bForce).
    bool FindHold(const std::string& strKind, const std::string& strValue, HoldHolder& holder, std::string& strError);
    bool ReleaseHold(const std::string& strKind, const std::string& strValue, bool bForce, HoldHolder& holder,
                     std::string& strError);

    // Pools: "macs" (count boards, two consecutive addresses each), "factory" (decimal), "reg" (hex).
    bool AddPool(const std::string& strKind, const std::string& strFirst, int64_t nCount, std::string& strError);
    bool TakeIdentity(const std::string& strStation, int64_t nHoldMs, PoolIdentity& taken, std::string& strError);
    bool PoolStatuses(std::vector<PoolStatus>& statuses, std::string& strError);
    bool ListTaken(std::vector<TakenValue>& taken, std::string& strError);
    bool ReturnTaken(const std::string& strKind, const std::string& strValue, std::string& strReturned, std::string& strError);

    bool ListJobs(const RecordFilter& filter, std::vector<RecordedJob>& jobs, std::string& strError);
    bool Stats(const TimeSpan& span, std::vector<StationStats>& stats, std::string& strError);
    // The counts of a span by the line's counting rules (record/line_counts.h).
    bool Counts(const TimeSpan& span, std::map<std::string, LineCounts>& byStation, LineCounts& line,
                std::string& strError);

private:
    std::unique_ptr<ISqlConnection> m_pDb;
    CIdentityGuard m_Guard;
    CIdentityPools m_Pools;
    CJobHistory m_History;
};
