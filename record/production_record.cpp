#include "record/production_record.h"

#include "record/record_schema.h"
#include "record/record_sql.h"

CProductionRecord::CProductionRecord(std::unique_ptr<ISqlConnection> pConnection, std::string strToolVersion)
    : m_pDb(std::move(pConnection)), m_Guard(*m_pDb), m_Pools(*m_pDb), m_History(*m_pDb, std::move(strToolVersion))
{
}

bool CProductionRecord::Open(std::string& strError) { return MigrateRecord(*m_pDb, strError); }

bool CProductionRecord::Claim(const IdentityValues& values, const std::string& strStation, const std::string& strPort,
                              int nHoldMinutes, int64_t nNowMs, IdentityClaim& claim, std::string& strWhy)
{
    return m_Guard.Claim(values, strStation, strPort, nHoldMinutes, nNowMs, claim, strWhy);
}

bool CProductionRecord::Finish(const JobResult& result, const IdentityClaim& claim, std::string& strError,
                               FinishFailure* pFailure)
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
    bool bOk = m_History.Add(result, claim.bReflash, strJobId, strError, &error);
    IdentityValues values;
    std::string strWhy;
    if (bOk && bInstalled && CheckIdentityFormat(result.identity, values, strWhy))
        bOk = m_Guard.Install(values, result.strStation, strJobId, result.strEndTime, strConflict, strError, &error);
    if (bOk && !strConflict.empty())
        bOk = m_History.AddToReason(strJobId, "identity conflict: " + strConflict, strError, &error);
    if (bOk && result.verdict != JobVerdict::Refused)
        bOk = m_Pools.ReturnValues(result.identity, bInstalled, strError, &error);
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

bool CProductionRecord::ReleaseHold(const std::string& strValue, int& nReleased, std::string& strError)
{
    return m_Guard.ReleaseHold(strValue, nReleased, strError);
}

bool CProductionRecord::AddPool(const std::string& strKind, const std::string& strFirst, int64_t nCount,
                                std::string& strError)
{
    return m_Pools.AddPool(strKind, strFirst, nCount, strError);
}

bool CProductionRecord::TakeIdentity(PoolIdentity& taken, std::string& strError)
{
    return m_Pools.TakeIdentity(taken, strError);
}

bool CProductionRecord::PoolStatuses(std::vector<PoolStatus>& statuses, std::string& strError)
{
    return m_Pools.PoolStatuses(statuses, strError);
}

bool CProductionRecord::ListJobs(const RecordFilter& filter, std::vector<RecordedJob>& jobs, std::string& strError)
{
    return m_History.List(filter, jobs, strError);
}

bool CProductionRecord::Stats(int64_t nSinceMs, std::vector<StationStats>& stats, std::string& strError)
{
    return StationStatsSince(*m_pDb, nSinceMs, stats, strError);
}

bool CProductionRecord::Counts(const TimeSpan& span, std::map<std::string, LineCounts>& byStation, LineCounts& line,
                               std::string& strError)
{
    return CountSpan(*m_pDb, span, byStation, line, strError);
}
