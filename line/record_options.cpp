#include "line/record_options.h"

#include "line/board_steps.h"

bool OpenStationRecord(const StationSettings& options, CStationRecord& record, std::string& strWhy)
{
    RecordSettings settings;
    settings.bEnabled = !options.bNoRecord;
    settings.strUrl = options.strRecord;
    settings.strWorkDir = options.strWorkDir;
    settings.strStation = options.strStation;
    settings.nHoldMinutes = options.nHoldMinutes;
    settings.nTimeoutMs = options.nRecordTimeoutMs;
    settings.strToolVersion = options.strToolVersion;
    // The record's default file lies in the working folder: never make one where no station is.
    if (settings.bEnabled && settings.strUrl.empty() && !CheckStationFolder(options.strWorkDir, strWhy))
        return false;
    return record.Open(settings, strWhy);
}

bool HeartbeatOf(const StationSettings& options, const CStationRecord& record, HeartbeatSettings& settings)
{
    if (options.bNoRecord || !record.Enabled())
        return false;
    settings.strUrl = options.strRecord.empty() ? options.strWorkDir + "/tovar.db" : options.strRecord;
    settings.strStation = record.Station();
    settings.strToolVersion = options.strToolVersion;
    settings.nIntervalMs = options.nHeartbeatS * 1000;
    return true;
}
