#include "ui/monitor_port_choices.h"

#include <algorithm>

namespace {

// "COMn" for a COM name in any spelling, the text itself otherwise.
std::string ChoiceKey(const std::string& strName)
{
    const int nPort = CComPortMap::PortFromName(strName);
    return nPort > 0 ? "COM" + std::to_string(nPort) : strName;
}

}  // namespace

std::vector<std::string> MonitorPortChoices(const StationSettings& station, const std::vector<StationSlot>& slots)
{
    std::vector<std::string> names;
    auto add = [&names](const std::string& strName) {
        if (std::find(names.begin(), names.end(), ChoiceKey(strName)) == names.end())
            names.push_back(ChoiceKey(strName));
    };
    for (const StationSlot& slot : slots)
        if (!slot.strMonitorPort.empty())
            add(slot.strMonitorPort);
    for (const auto& entry : station.portMap.Entries())
        if (const int nPort = entry.first; station.portMap.PathForPort(nPort).rfind(MONITOR_LINK_DIR, 0) == 0)
            add("COM" + std::to_string(nPort));
    return names;
}
