#pragma once
#include <string>
#include <vector>

#include "line/gang_settings.h"
#include "station/station_settings.h"

// The setups of the wanted [slotN] sections of the station's tovar.cfg (all when empty), on the
// station's settings with tovar.cfg applied; false, with strWhy, for no slot, a wanted slot that
// is not there or a slot that cannot be given a port.
bool PlanGangSlots(const StationSettings& station, const std::vector<int>& wanted, std::vector<GangSlotSetup>& setups,
                   std::string& strWhy);

// What the shared image folder must offer before any slot starts: the file table and selection,
// SHA256SUMS, readable images and the shared ins.txt.
bool CheckSharedStation(const StationSettings& station, const std::vector<int>& select, std::string& strWhy);
