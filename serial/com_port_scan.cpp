#include "serial/com_port_scan.h"

std::string FormatScan(const CComPortMap& map)
{
    const std::vector<ComPortEntry> ports = map.ListPorts();
    if (ports.empty())
        return "no serial devices found\n";
    std::string strReport;
    for (const ComPortEntry& entry : ports)
        strReport += "COM" + std::to_string(entry.nPort) + "  " + entry.strPath + "\n";
    return strReport;
}
