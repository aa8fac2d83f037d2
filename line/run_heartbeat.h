#pragma once
#include "line/board_run.h"
#include "record/heartbeat.h"

// Passes a board run's reports on to the front end's observer and tells the heartbeat the slot's
// stage, board, percent and result on the way. Without a heartbeat it only passes them on.
class CRunHeartbeat : public IBoardRunObserver {
public:
    CRunHeartbeat(IBoardRunObserver& inner, CHeartbeat* pHeartbeat, int nSlot = 0)
        : m_Inner(inner), m_pHeartbeat(pHeartbeat), m_nSlot(nSlot)
    {
    }

    void OnRunIdentity(const JobIdentity& identity) override;
    void OnJobStarted(const JobRequest& request) override;
    void OnJobLog(const std::string& strText) override { m_Inner.OnJobLog(strText); }
    void OnJobDetail(const std::string& strText) override { m_Inner.OnJobDetail(strText); }
    void OnJobProgress(const TransferProgress& progress) override;
    void OnJobStage(JobStage stage) override;
    void OnJobFinished(const JobResult& result) override;

private:
    IBoardRunObserver& m_Inner;
    CHeartbeat* m_pHeartbeat;
    int m_nSlot;
};

// The percent of a transfer's progress over all its files.
int ProgressPercent(const TransferProgress& progress);
