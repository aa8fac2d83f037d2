#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "line/board_probe.h"
#include "station/station_settings.h"
#include "base/clock.h"
#include "job/job_result.h"
#include "samba/at91boot_dll.h"

// What one slot of a gang station runs its boards with.
struct GangSlotSetup {
    int nSlot = 0;                // N of [slotN]
    std::string strPort;          // as configured: "COM3" or a device path
    int nComPort = 0;             // the boot monitor's number of the port
    StationSettings options;      // the station's options with the slot's own values; portMap resolves nComPort
    // The slot's own bind= (empty: none); options.strBind is the bind its socket uses.
    std::string strBind;
};

// What every slot of a gang shares.
struct GangSettings {
    std::vector<int> select;               // file-table slots to send; empty: as configured
    std::optional<JobIdentity> identity;   // one identity typed in (a single slot); none: from the pools
    bool bLoop = false;                    // after a board, wait for the next one and start by itself
    int nCount = 1;                        // boards per slot; 0: until stopped (with bLoop)
    int nJobTimeoutS = 600;                // a job still running then is stopped and counts as failed
    int nPollMs = 500;                     // period of the wait for the next board's monitor
    int nRecordRetryMs = 5000;             // a loop whose record does not answer tries again after this
};

// Parts a test or a benchmark may replace; empty: the real ones.
struct GangHooks {
    // The boot-monitor backend of a slot's jobs (default: the serial monitor on the slot's port map).
    std::function<At91BackendFactory(const GangSlotSetup&)> fnBackend;
    // How a slot looks for its next board (default: CMonitorProbe on the slot's port); pCancel is
    // the slot's stop flag.
    std::function<std::unique_ptr<IBoardProbe>(const GangSlotSetup&, const std::atomic<int>* pCancel)> fnProbe;
    IClock* pClock = nullptr;              // the clock of the waits for a board (default: the system's)
};
