#pragma once
#include <string>

#include "serial/com_port_map.h"

// The report of "tovar scan": one "COMn  path" line per device that exists now, sorted by
// number, or "no serial devices found" when there is none. Every line ends in '\n'.
std::string FormatScan(const CComPortMap& map);
