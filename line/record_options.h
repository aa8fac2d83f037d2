#pragma once
#include <string>

#include "station/station_settings.h"
#include "record/station_record.h"

// Opens the station's production record as the options say (--record, --no-record, --station,
// --hold-minutes, [record] in tovar.cfg); false, with strWhy, when it cannot be used.
bool OpenStationRecord(const StationSettings& options, CStationRecord& record, std::string& strWhy);
