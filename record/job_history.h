#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "job/job_result.h"
#include "record/sql_connection.h"

struct RecordFilter {
    int64_t nSinceMs = 0;     // jobs started at or after (milliseconds since the epoch)
    int64_t nUntilMs = INT64_MAX;   // and before
    std::string strStation;
    std::string strMac;       // 12 hex digits
    std::string strFactory;
};

struct RecordedJob {
    int64_t nId = 0;
    JobResult result;
    bool bReflash = false;
    std::string strToolVersion;
    bool bFromSpool = false;   // written back from a station's spool
};

// The job history of the production record: every job with its whole result and its images.
class CJobHistory {
public:
    CJobHistory(ISqlConnection& db, std::string strToolVersion) : m_Db(db), m_strToolVersion(std::move(strToolVersion)) {}

    // Within the caller's transaction: adds the job and its images; strJobId is its key.
    // strSpoolId: the spool's name of a result written back from it (a second write is refused
    // as a conflict); empty for a result written when its job ended.
    bool Add(const JobResult& result, bool bReflash, const std::string& strSpoolId, std::string& strJobId,
             std::string& strError, SqlError* pError);
    // Within the caller's transaction: job strJobId, which has flags, gets szFlag as well.
    bool AddFlag(const std::string& strJobId, std::vector<std::string> flags, const char* szFlag,
                 std::string& strError, SqlError* pError);
    // Within the caller's transaction: appends strNote to the reason of job strJobId.
    bool AddToReason(const std::string& strJobId, const std::string& strNote, std::string& strError, SqlError* pError);
    // The jobs the filter lets through, oldest first.
    bool List(const RecordFilter& filter, std::vector<RecordedJob>& jobs, std::string& strError);

private:
    ISqlConnection& m_Db;
    std::string m_strToolVersion;
};
