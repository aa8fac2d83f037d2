#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "job/job_observer.h"

// Keeps what a job reports; waits are bounded so a broken test fails instead of hanging.
class CJobRecorder : public IJobObserver {
public:
    void OnJobLog(const std::string& strText) override
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_strLog += strText;
        if (m_Stage == JobStage::BringUp)
            m_strBringUpLog += strText;
    }
    void OnJobDetail(const std::string& strText) override
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_strDetail += strText;
    }
    void OnJobStage(JobStage stage) override
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Stage = stage;
        m_Stages.push_back(stage);
    }
    void OnJobFinished(const JobResult& result) override
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Results.push_back(result);
        m_Cond.notify_all();
    }
    // The next result not yet taken, waiting at most nMs.
    std::optional<JobResult> Wait(int nMs = 20000)
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        if (!m_Cond.wait_for(lock, std::chrono::milliseconds(nMs), [this] { return m_Results.size() > m_nTaken; }))
            return std::nullopt;
        return m_Results[m_nTaken++];
    }
    std::string Log() const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_strLog;
    }
    std::string Detail() const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_strDetail;
    }
    // What was logged while the job was in its bring-up.
    std::string BringUpLog() const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_strBringUpLog;
    }
    std::vector<JobStage> Stages() const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Stages;
    }
    size_t Finished() const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Results.size();
    }

private:
    mutable std::mutex m_Mutex;
    std::condition_variable m_Cond;
    std::string m_strLog;
    std::string m_strBringUpLog;
    std::string m_strDetail;
    JobStage m_Stage = JobStage::Prepare;
    std::vector<JobStage> m_Stages;
    std::vector<JobResult> m_Results;
    size_t m_nTaken = 0;
};
