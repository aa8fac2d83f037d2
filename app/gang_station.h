#pragma once
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/gang_observer.h"
#include "app/gang_settings.h"
#include "app/gang_slot.h"
#include "app/station_slots.h"
#include "record/station_record.h"

// A gang station: several boards at once, one CGangSlot per board position, each with its own
// job engine, ins.txt and thread; they share the record (and its pools). One slot's failure, stop
// or hang leaves the others running. Reports go to one observer, tagged with the slot.
class CGangStation {
public:
    CGangStation(IGangObserver& observer, CStationRecord& record, GangHooks hooks = {});
    // Stops every slot and waits for them.
    ~CGangStation();
    CGangStation(const CGangStation&) = delete;
    CGangStation& operator=(const CGangStation&) = delete;

    // The setups of the chosen [slotN] sections: each slot's options (the station's with the slot's
    // own values) and its monitor's port number (a device path gets an entry in the port map).
    // False, with strWhy, when a slot cannot be given a port.
    static bool PlanSlots(const CommonOptions& station, const std::vector<StationSlot>& slots,
                          std::vector<GangSlotSetup>& setups, std::string& strWhy);

    // Starts every slot on its own thread; false (strWhy) when there is none or it ran before.
    bool Start(const std::vector<GangSlotSetup>& setups, const GangSettings& settings, std::string& strWhy);
    // Every slot: the running jobs stop (recorded as stopped), the waits end, no more boards.
    void Stop();
    // One slot only; false when there is no such slot.
    bool StopSlot(int nSlot);
    // True once every slot has ended, waiting at most nMs.
    bool WaitEnded(int nMs);

private:
    IGangObserver& m_Observer;
    CStationRecord& m_Record;
    GangHooks m_Hooks;
    std::vector<std::unique_ptr<CGangSlot>> m_Slots;
    std::mutex m_Mutex;
    std::condition_variable m_Cond;
    size_t m_nEnded = 0;
};
