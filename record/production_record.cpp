#include "record/production_record.h"

#include "record/record_schema.h"
#include "record/record_sql.h"

CProductionRecord::CProductionRecord(std::unique_ptr<ISqlConnection> pConnection, std::string strToolVersion)
    : m_pDb(std::move(pConnection)), m_Guard(*m_pDb), m_Pools(*m_pDb), m_History(*m_pDb, std::move(strToolVersion))
{
}

bool CProductionRecord::Open(std::string& strError) { return MigrateRecord(*m_pDb, strError); }

bool CProductionRecord::Ping(std::string& strError) { return RunSql(*m_pDb, "SELECT 1", {}, nullptr, strError); }

bool CProductionRecord::Claim(const IdentityValues& values, const std::string& strStation, const std::string& strPort,
                              int64_t nHoldMs, IdentityClaim& claim, std::string& strWhy)
{
    return m_Guard.Claim(values, strStation, strPort, nHoldMs, claim, strWhy);
}

bool CProductionRecord::RenewHold(const IdentityClaim& claim, int64_t nHoldMs, bool& bHeld, std::string& strError)
{
    return m_Guard.Renew(claim, nHoldMs, bHeld, strError);
}

bool CProductionRecord::Finish(const JobResult& result, const IdentityClaim& claim, std::string& strError,
                               FinishFailure* pFailure, const std::string& strSpoolId)
{
    FinishFailure failure;
    SqlError error;
    if (!BeginWrite(*m_pDb, strError, &error)) {
        failure.bLost = error.bLost;
        if (pFailure)
            *pFailure = failure;
        return false;
    }
    const bool bInstalled = result.verdict == JobVerdict::Installed;
    std::string strJobId;
    std::string strConflict;
    bool bOk = m_History.Add(result, claim.bReflash, strSpoolId, strJobId, strError, &error);
    if (!bOk && error.bConflict && !strSpoolId.empty()) {
        // Another process wrote this spooled result first.
        m_pDb->Rollback();
        failure.bAlready = true;
        if (pFailure)
            *pFailure = failure;
        return true;
    }
    IdentityValues values;
    std::string strWhy;
    if (bOk && bInstalled && CheckIdentityFormat(result.identity, values, strWhy))
        bOk = m_Guard.Install(values, claim, result.strStation, strJobId, result.strEndTime, strConflict, strError,
                              &error);
    if (bOk && !strConflict.empty())
        bOk = m_History.AddToReason(strJobId, "identity conflict: " + strConflict, strError, &error) &&
              m_History.AddFlag(strJobId, result.flags, kFlagConflict, strError, &error);
    if (bOk)
        bOk = m_Pools.ReturnValues(result.identity, result.strStation, bInstalled, strError, &error);
    if (bOk)
        bOk = m_Guard.Release(claim, strError, &error);
    if (!bOk) {
        m_pDb->Rollback();
        failure.bLost = error.bLost;
    } else if (!CommitWrite(*m_pDb, strError)) {
        bOk = false;
    } else if (!strConflict.empty()) {
        // Kept, but loudly: the board carries a value that belongs to another board.
        strError = "job " + strJobId + " is recorded, but " + strConflict + "; that board keeps it";
        failure.bKept = true;
        bOk = false;
    }
    if (pFailure)
        *pFailure = failure;
    return bOk;
}

bool CProductionRecord::FindHold(const std::string& strKind, const std::string& strValue, HoldHolder& holder,
                                 std::string& strError)
{
    return m_Guard.FindHold(strKind, strValue, holder, strError);
}

bool CProductionRecord::ReleaseHold(const std::string& strKind, const std::string& strValue, bool bForce,
                                    HoldHolder& holder, std::string& strError)
{
    return m_Guard.ReleaseHold(strKind, strValue, bForce, holder, strError);
}

bool CProductionRecord::AddPool(const std::string& strKind, const std::string& strFirst, int64_t nCount,
                                std::string& strError)
{
    return m_Pools.AddPool(strKind, strFirst, nCount, strError);
}

bool CProductionRecord::TakeIdentity(const std::string& strStation, int64_t nHoldMs, PoolIdentity& taken,
                                     std::string& strError)
{
    return m_Pools.TakeIdentity(strStation, nHoldMs, taken, strError);
}

bool CProductionRecord::ListTaken(std::vector<TakenValue>& taken, std::string& strError)
{
    return m_Pools.ListTaken(taken, strError);
}

bool CProductionRecord::ReturnTaken(const std::string& strKind, const std::string& strValue, std::string& strReturned,
                                    std::string& strError)
{
    return m_Pools.ReturnTaken(strKind, strValue, strReturned, strError);
}

bool CProductionRecord::PoolStatuses(std::vector<PoolStatus>& statuses, std::string& strError)
{
    return m_Pools.PoolStatuses(statuses, strError);
}

bool CProductionRecord::ListJobs(const RecordFilter& filter, std::vector<RecordedJob>& jobs, std::string& strError)
{
    return m_History.List(filter, jobs, strError);
}

bool CProductionRecord::Stats(const TimeSpan& span, std::vector<StationStats>& stats, std::string& strError)
{
    return StationStatsIn(*m_pDb, span, stats, strError);
}

bool CProductionRecord::Counts(const TimeSpan& span, std::map<std::string, LineCounts>& byStation, LineCounts& line,
                               std::string& strError)
{
    return CountSpan(*m_pDb, span, byStation, line, strError);
}
