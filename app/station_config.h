#pragma once
#include <string>

#include "app/commands.h"

// The station file tovar.cfg of the working directory.
std::string StationConfigPath(const std::string& strWorkDir);

// Applies tovar.cfg: [net] values that the command line did not give, and the [ports] map (also
// from --ports FILE) into options.portMap. A missing tovar.cfg is no error. False, with strError
// naming the file, the section, the key and the value, for a file that exists but cannot be read,
// an unknown [net] key, a value its option would refuse, or a [ports] entry that is not
// COM1..COM99 with a path; nothing should then run.
bool ApplyStationConfig(CommonOptions& options, std::string& strError);
