#pragma once
#include <vector>

#include "line/gang_observer.h"
#include "line/gang_settings.h"
#include "record/heartbeat.h"

// Passes a gang station's reports on to the front end's observer and tells the heartbeat each
// slot's state on the way. Without a heartbeat it only passes them on.
class CGangHeartbeat : public IGangObserver {
public:
    CGangHeartbeat(IGangObserver& inner, CHeartbeat* pHeartbeat) : m_Inner(inner), m_pHeartbeat(pHeartbeat) {}

    // The slots' ports, shown before their first board.
    void AddSlots(const std::vector<GangSlotSetup>& setups);

    void OnSlotLog(int nSlot, const std::string& strText) override { m_Inner.OnSlotLog(nSlot, strText); }
    void OnSlotDetail(int nSlot, const std::string& strText) override { m_Inner.OnSlotDetail(nSlot, strText); }
    void OnSlotWaiting(int nSlot, bool bWaiting) override;
    void OnSlotBoard(int nSlot, const JobIdentity& identity) override;
    void OnSlotStage(int nSlot, JobStage stage) override;
    void OnSlotProgress(int nSlot, const TransferProgress& progress) override;
    void OnSlotResult(int nSlot, const JobResult& result) override;
    void OnSlotAlarm(int nSlot, int nFailures) override { m_Inner.OnSlotAlarm(nSlot, nFailures); }
    void OnShiftCounts(const LineCounts& counts) override { m_Inner.OnShiftCounts(counts); }
    void OnSlotEnded(int nSlot, const std::string& strWhy) override;

private:
    IGangObserver& m_Inner;
    CHeartbeat* m_pHeartbeat;
};
