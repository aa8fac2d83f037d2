#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

#include "job/job_observer.h"

// Wall-clock time as milliseconds since 1970 (UTC); injectable so tests get fixed names and stamps.
using WallClockFn = std::function<int64_t()>;
int64_t WallClockNowMs();

// A log file per job, passed on to the front end's observer: every call is forwarded unchanged.
// The file, strRootDir/YYYY-MM-DD/HHMMSS_COMn_<factory>.log (local time), gets the request, each
// log and detail line with an ISO-8601 stamp in milliseconds, the stages and the result.
// A folder or file that cannot be written costs one warning line in the operator's log and
// nothing else: the job goes on without its file.
class CJobLogFile : public IJobObserver {
public:
    CJobLogFile(IJobObserver& next, std::string strRootDir, WallClockFn fnNowMs = WallClockNowMs);
    ~CJobLogFile() override;
    CJobLogFile(const CJobLogFile&) = delete;
    CJobLogFile& operator=(const CJobLogFile&) = delete;

    // The file of the job running or last run; empty before the first job.
    std::string Path() const;

    void OnJobStarted(const JobRequest& request) override;
    void OnJobLog(const std::string& strText) override;
    void OnJobDetail(const std::string& strText) override;
    void OnJobProgress(const TransferProgress& progress) override;
    void OnJobStage(JobStage stage) override;
    void OnJobFinished(const JobResult& result) override;

    // The file's place below the root for a job started at nNowMs: "YYYY-MM-DD/HHMMSS_COM9_12345678.log".
    static std::string RelativePath(const JobRequest& request, int64_t nNowMs);
    // nNowMs as local time, e.g. "2025-03-07T14:05:09.042+08:00".
    static std::string Stamp(int64_t nNowMs);

private:
    // Stamps each complete line of strText (after what was pending of that kind) and writes it;
    // returns the warning to pass on, if writing failed just now.
    std::string Add(const char* szKind, std::string& strPending, const std::string& strText);
    std::string WriteLine(const char* szKind, const std::string& strLine);
    std::string Fail(const std::string& strWhat, int nError);
    void Close();

    IJobObserver& m_Next;
    std::string m_strRootDir;
    WallClockFn m_fnNowMs;

    mutable std::mutex m_Mutex;
    std::FILE* m_pFile = nullptr;
    std::string m_strPath;
    std::string m_strPendingLog;     // a line begun but not ended yet
    std::string m_strPendingDetail;
};
