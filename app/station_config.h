#pragma once
#include <string>

#include "app/commands.h"

// Applies the station file tovar.cfg of the working directory: [net] values that the command line
// did not give, and the [ports] map (also from --ports FILE) into options.portMap.
// Returns a log line for each value it could not use (empty when all is well).
std::string ApplyStationConfig(CommonOptions& options);
