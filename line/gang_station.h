#pragma once
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "line/gang_control.h"
#include "line/gang_observer.h"
#include "line/gang_settings.h"
#include "line/gang_slot.h"
#include "station/station_slots.h"
#include "record/station_record.h"

// A gang station: several boards at once, one CGangSlot per board position, each with its own
// job engine, ins.txt and thread; they share the record (and its pools). One slot's failure, stop
// or hang leaves the others running. Reports go to one observer, tagged with the slot. Started,
// stopped and waited for on one thread (the front end's).
class CGangStation : public IGangControl {
public:
    CGangStation(IGangObserver& observer, CStationRecord& record, GangHooks hooks = {});
    // Stops every slot and waits for them.
    ~CGangStation() override;
    CGangStation(const CGangStation&) = delete;
    CGangStation& operator=(const CGangStation&) = delete;

    // The setups of the chosen [slotN] sections: each slot's options (the station's with the slot's
    // own values) and its monitor's port number (a device path gets an entry in the port map).
    // False, with strWhy, when a slot cannot be given a port.
    static bool PlanSlots(const StationSettings& station, const std::vector<StationSlot>& slots,
                          std::vector<GangSlotSetup>& setups, std::string& strWhy);

    // Starts every slot on its own thread; false (strWhy) when there is none or it ran before.
    bool Start(const std::vector<GangSlotSetup>& setups, const GangSettings& settings, std::string& strWhy);

    // The slots StartSlot may start and what they share. A slot started with another bLoop than
    // the plan's runs one board without it, or boards until stopped with it.
    void Plan(std::vector<GangSlotSetup> setups, GangSettings settings);

    // IGangControl
    std::vector<std::pair<int, std::string>> PlannedSlots() const override;
    bool StartSlot(int nSlot, bool bLoop, std::string& strWhy) override;
    bool StopSlot(int nSlot) override;
    void Stop() override;
    bool WaitEnded(int nMs) override;
    bool SlotPortUsable(int nSlot) const override;
    int ConsoleBoundS() const override;
    bool ShiftCounts(LineCounts& counts) override;

private:
    IGangObserver& m_Observer;
    CStationRecord& m_Record;
    GangHooks m_Hooks;
    std::vector<GangSlotSetup> m_Setups;
    GangSettings m_Settings;
    std::vector<std::unique_ptr<CGangSlot>> m_Slots;   // the started ones; only this thread changes it
    std::mutex m_Mutex;                                 // the slots' end reports
    std::condition_variable m_Cond;
};
