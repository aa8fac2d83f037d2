#include "line/run_heartbeat.h"

int ProgressPercent(const TransferProgress& progress)
{
    if (progress.nBytesTotal == 0)
        return 0;
    return static_cast<int>(progress.nBytesDone * 100 / progress.nBytesTotal);
}

void CRunHeartbeat::OnRunIdentity(const JobIdentity& identity)
{
    if (m_pHeartbeat) {
        m_pHeartbeat->SetBoard(m_nSlot, identity);
        m_pHeartbeat->SetStage(m_nSlot, StageName(JobStage::Prepare));
    }
    m_Inner.OnRunIdentity(identity);
}

void CRunHeartbeat::OnJobStarted(const JobRequest& request)
{
    if (m_pHeartbeat) {
        m_pHeartbeat->SetPort(m_nSlot, request.port.nPort > 0 ? "COM" + std::to_string(request.port.nPort) : "");
        m_pHeartbeat->SetBoard(m_nSlot, request.identity);
        m_pHeartbeat->SetStage(m_nSlot, StageName(JobStage::Prepare));
    }
    m_Inner.OnJobStarted(request);
}

void CRunHeartbeat::OnJobProgress(const TransferProgress& progress)
{
    if (m_pHeartbeat)
        m_pHeartbeat->SetPercent(m_nSlot, ProgressPercent(progress));
    m_Inner.OnJobProgress(progress);
}

void CRunHeartbeat::OnJobStage(JobStage stage)
{
    if (m_pHeartbeat)
        m_pHeartbeat->SetStage(m_nSlot, StageName(stage));
    m_Inner.OnJobStage(stage);
}

void CRunHeartbeat::OnJobFinished(const JobResult& result)
{
    if (m_pHeartbeat)
        m_pHeartbeat->SetResult(m_nSlot, result);
    m_Inner.OnJobFinished(result);
}
