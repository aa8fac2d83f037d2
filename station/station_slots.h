#pragma once
#include <optional>
#include <string>
#include <vector>

#include "station/ini_reader.h"
#include "serial/com_port_map.h"
#include "station/station_settings.h"

// One [slotN] section of tovar.cfg: a board position of a gang station with the values it sets for
// itself; the shared settings ([net], the command line) give the rest.
struct StationSlot {
    int nSlot = 0;                          // N of [slotN], 1..99
    std::string strPort;                    // "COM3", or a device path such as /dev/serial/by-path/...
    std::optional<std::string> strBoardIp;
    std::optional<int> nBoardPort;
    std::optional<int> nLocalPort;
    std::optional<int> nSettleMs;
    std::optional<int> nConsoleTimeoutS;
    std::string strBind;                    // interface or local address for the slot's socket; empty: shared
    std::string strMonitorPort;             // the boot monitor's USB port; empty: the monitor is on port
};

constexpr int STATION_SLOT_MAX = 99;

// The [slotN] sections of a station file, sorted by N. False, with strError naming the file, the
// section, the key and the value, for a section "slot..." that is not slot1 to slot99, an unknown
// key, a value its option would refuse, a slot without a port, or a port that two slots name.
bool ParseStationSlots(const CIniReader& reader, const std::string& strFile, std::vector<StationSlot>& slots,
                       std::string& strError);

// The same for the working folder's tovar.cfg; no file: no slots.
bool ReadStationSlots(const std::string& strWorkDir, std::vector<StationSlot>& slots, std::string& strError);

// The options a slot's jobs run with: the shared ones with the slot's own values over them.
StationSettings SlotOptions(const StationSettings& shared, const StationSlot& slot);

// The boot monitor's port number of each slot, in the order of slots: a COM name's own number, or
// for a device path a number no [ports] entry and no slot holds (from COM99 down), which is added
// to map with that path. False, with strError, when no number is left.
bool AssignSlotPorts(CComPortMap& map, const std::vector<StationSlot>& slots, std::vector<int>& ports,
                     std::string& strError);
