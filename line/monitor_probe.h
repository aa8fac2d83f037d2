#pragma once
#include <atomic>
#include <functional>
#include <string>

#include "line/board_probe.h"
#include "base/clock.h"
#include "samba/at91_backend.h"
#include "samba/monitor_limits.h"

// Looks for a boot monitor on a serial device the way the bring-up connects to it: opens the line
// at 115200 8N1, sends '#' and then "N#" and wants exactly "\n\r" back; closes the line again.
class CMonitorProbe : public IBoardProbe {
public:
    // fnPath gives the device path at each probe (a COM name's device may come and go); pCancel
    // ends a probe early.
    CMonitorProbe(std::function<std::string()> fnPath, IClock& clock, const std::atomic<int>* pCancel,
                  const MonitorLimits& limits = MonitorLimits(), MonitorLink link = MonitorLink::Serial);

    BoardPresence Probe() override;

private:
    std::function<std::string()> m_fnPath;
    IClock& m_Clock;
    const std::atomic<int>* m_pCancel;
    MonitorLimits m_Limits;
    MonitorLink m_Link;
};
