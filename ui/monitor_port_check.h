#pragma once
#include <string>
#include <vector>

#include "serial/com_port_map.h"
#include "serial/monitor_port_path.h"
#include "ui/check_report.h"

// A boot monitor port a station names: a slot's monitor-port= ("slot2"), or one of the window's
// choices (strSlot empty).
struct MonitorPortUse {
    std::string strSlot;
    std::string strName;
};

// tovar check's line for each monitor port: what kind of name it is (a COM name, a device path, a
// USB position) and whether its device is there now. A USB monitor port is there only while a
// board sits in its ROM monitor, so an absent one is a note. Two slots whose monitor ports are
// one device (the same name, or a COM name and the path its [ports] entry or the device now
// gives) fail. Devices found now are added to devices, for the serial set-up's checks.
void CheckMonitorPorts(const std::vector<MonitorPortUse>& uses, const CComPortMap& map, const CMonitorPortPath& path,
                       std::vector<std::string>& devices, CCheckReport& report);
