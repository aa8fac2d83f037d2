#pragma once
#include <atomic>

#include "samba/at91_backend.h"
#include "serial/com_port_map.h"

// The serial boot monitor on the devices of a station's port map; pCancel ends its waits early when set.
At91BackendFactory MakeMonitorBackendFactory(const CComPortMap& portMap, const std::atomic<int>* pCancel);
