#pragma once
#include <set>
#include <string>

#include "station/station_settings.h"

// The options typed on the command line ("--settle-ms"): tovar.cfg does not override them.
using StationGiven = std::set<std::string>;

// The station file tovar.cfg of the working directory.
std::string StationConfigPath(const std::string& strWorkDir);

// Applies tovar.cfg: [net], [record] and [log] values whose options are not in given, and the
// [ports] map (also from strPortsFile) into portMap. A missing tovar.cfg is no error. False, with
// strError naming the file, the section, the key and the value, for a file that exists but cannot
// be read, an unknown key, a value its option would refuse, or a [ports] entry that is not
// COM1..COM99 with a path; nothing should then run.
bool ApplyStationConfig(StationSettings& options, const StationGiven& given, std::string& strError);
