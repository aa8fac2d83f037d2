#include "app/record_options.h"

bool OpenStationRecord(const CommonOptions& options, CStationRecord& record, std::string& strWhy)
{
    RecordSettings settings;
    settings.bEnabled = !options.bNoRecord;
    settings.strUrl = options.strRecord;
    settings.strWorkDir = options.strWorkDir;
    settings.strStation = options.strStation;
    settings.nHoldMinutes = options.nHoldMinutes;
    settings.strToolVersion = options.strToolVersion;
    return record.Open(settings, strWhy);
}
