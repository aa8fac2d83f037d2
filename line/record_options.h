#pragma once
#include <string>

#include "station/station_settings.h"
#include "record/heartbeat.h"
#include "record/station_record.h"

// Opens the station's production record as the options say (--record, --no-record, --station,
// --hold-minutes, [record] in tovar.cfg); false, with strWhy, when it cannot be used.
bool OpenStationRecord(const StationSettings& options, CStationRecord& record, std::string& strWhy);

// The heartbeat settings of a station whose record is open: the same record, the record's station
// name, [line] heartbeat-s. False when the station has no record (then it writes no heartbeat).
bool HeartbeatOf(const StationSettings& options, const CStationRecord& record, HeartbeatSettings& settings);
