#pragma once
#include <string>
#include <vector>

#include "station/station_settings.h"
#include "station/station_slots.h"

// Where the udev rule puts the boot monitor's USB port, by its fixed position on the PC.
constexpr const char* MONITOR_LINK_DIR = "/dev/tovar/";

// The boot monitor ports a station names, for the window's 监控口 selector: each [slotN]'s
// monitor-port= in slot order, then each [ports] entry on a /dev/tovar/ link, as "COMn". Each port
// once (COM names compared by number); empty when the station names none, as on a station whose
// monitor shares the console's serial line.
std::vector<std::string> MonitorPortChoices(const StationSettings& station, const std::vector<StationSlot>& slots);
