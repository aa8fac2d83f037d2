#include "line/monitor_backend_factory.h"

#include <memory>

#include "base/clock.h"
#include "samba/monitor_backend.h"

At91BackendFactory MakeMonitorBackendFactory(const CComPortMap& portMap, const std::atomic<int>* pCancel)
{
    return [pCancel, map = portMap]() -> std::unique_ptr<IAt91Backend> {
        return std::make_unique<CMonitorBackend>(map.Resolver(), [map] { return map.ListPorts(); }, SystemClock(),
                                                 pCancel);
    };
}
