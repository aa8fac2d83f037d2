#pragma once
#include <string>

#include "job/job_result.h"
#include "net/transfer_image.h"

struct JobRequest;

// What a job reports, on the job's own thread (OnJobStarted excepted). Front ends pass the calls on
// to their own thread.
class IJobObserver {
public:
    virtual ~IJobObserver() = default;
    // A job was accepted: on the thread that called CJob::Start, before any other report of it.
    virtual void OnJobStarted(const JobRequest& request) { (void)request; }
    // A log line as the operator sees it (UTF-8, ends in "\r\n" but for the chip identifier line).
    virtual void OnJobLog(const std::string& strText) = 0;
    // A line for the detailed log only: resends, ignored datagrams, the console transcript.
    virtual void OnJobDetail(const std::string& strText) { (void)strText; }
    virtual void OnJobProgress(const TransferProgress& progress) { (void)progress; }
    virtual void OnJobStage(JobStage stage) { (void)stage; }
    // Once per started job, as its last report.
    virtual void OnJobFinished(const JobResult& result) = 0;
};
