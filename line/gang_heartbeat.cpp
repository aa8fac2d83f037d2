#include "line/gang_heartbeat.h"

#include "line/run_heartbeat.h"

void CGangHeartbeat::AddSlots(const std::vector<GangSlotSetup>& setups)
{
    if (!m_pHeartbeat)
        return;
    for (const GangSlotSetup& setup : setups)
        m_pHeartbeat->SetPort(setup.nSlot, setup.strPort);
}

void CGangHeartbeat::OnSlotWaiting(int nSlot, bool bWaiting)
{
    if (m_pHeartbeat && bWaiting)
        m_pHeartbeat->SetStage(nSlot, "waiting");
    m_Inner.OnSlotWaiting(nSlot, bWaiting);
}

void CGangHeartbeat::OnSlotBoard(int nSlot, const JobIdentity& identity)
{
    if (m_pHeartbeat)
        m_pHeartbeat->SetBoard(nSlot, identity);
    m_Inner.OnSlotBoard(nSlot, identity);
}

void CGangHeartbeat::OnSlotStage(int nSlot, JobStage stage)
{
    if (m_pHeartbeat)
        m_pHeartbeat->SetStage(nSlot, StageName(stage));
    m_Inner.OnSlotStage(nSlot, stage);
}

void CGangHeartbeat::OnSlotProgress(int nSlot, const TransferProgress& progress)
{
    if (m_pHeartbeat)
        m_pHeartbeat->SetPercent(nSlot, ProgressPercent(progress));
    m_Inner.OnSlotProgress(nSlot, progress);
}

void CGangHeartbeat::OnSlotResult(int nSlot, const JobResult& result)
{
    if (m_pHeartbeat)
        m_pHeartbeat->SetResult(nSlot, result);
    m_Inner.OnSlotResult(nSlot, result);
}

void CGangHeartbeat::OnSlotEnded(int nSlot, const std::string& strWhy)
{
    if (m_pHeartbeat)
        m_pHeartbeat->SetStage(nSlot, "ended");
    m_Inner.OnSlotEnded(nSlot, strWhy);
}
