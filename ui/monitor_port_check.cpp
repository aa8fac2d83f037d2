#include "ui/monitor_port_check.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

std::string RealPath(const std::string& strPath)
{
    char szReal[PATH_MAX];
    return realpath(strPath.c_str(), szReal) ? std::string(szReal) : strPath;
}

// The texts that name the port's device: its COM name or path as written, the path a [ports]
// entry gives a COM name, and the device it is now.
std::vector<std::string> DeviceKeys(const std::string& strName, const std::string& strNow, const CComPortMap& map)
{
    std::vector<std::string> keys;
    if (const int nPort = CComPortMap::PortFromName(strName); nPort > 0) {
        keys.push_back("COM" + std::to_string(nPort));
        if (map.Entries().count(nPort) > 0)
            keys.push_back(map.PathForPort(nPort));
    } else {
        keys.push_back(strName);
    }
    if (!strNow.empty())
        keys.push_back(RealPath(strNow));
    return keys;
}

const char* KindOf(const std::string& strName)
{
    if (strName.rfind("usb:", 0) == 0)
        return "a USB position";
    return CComPortMap::PortFromName(strName) > 0 ? "a COM name" : "a device path";
}

}  // namespace

void CheckMonitorPorts(const std::vector<MonitorPortUse>& uses, const CComPortMap& map, const CMonitorPortPath& path,
                       std::vector<std::string>& devices, CCheckReport& report)
{
    std::vector<std::vector<std::string>> slotKeys(uses.size());
    for (size_t i = 0; i < uses.size(); ++i) {
        const MonitorPortUse& use = uses[i];
        const std::string strLine = (use.strSlot.empty() ? "" : use.strSlot + " ") + "monitor-port " + use.strName;
        if (!CMonitorPortPath::IsValidName(use.strName)) {
            report.Add(strLine, false, "not a name COM1 to COM99, a device path or usb:<bus>-<port path>");
            continue;
        }
        const std::string strNow = path.PathNow(use.strName);
        if (!use.strSlot.empty()) {
            slotKeys[i] = DeviceKeys(use.strName, strNow, map);
            const MonitorPortUse* pOther = nullptr;
            for (size_t j = 0; j < i && !pOther; ++j)
                for (const std::string& strKey : slotKeys[i])
                    if (std::find(slotKeys[j].begin(), slotKeys[j].end(), strKey) != slotKeys[j].end())
                        pOther = &uses[j];
            if (pOther) {
                report.Add(strLine, false, "the same device as " + pOther->strSlot + "'s monitor-port " + pOther->strName +
                                               ": each board needs its own");
                continue;
            }
        }
        const std::string strKind = KindOf(use.strName);
        if (strNow.empty()) {
            report.AddNote(strLine, strKind + ", not present now: it appears only while a board sits in its ROM monitor");
        } else {
            report.Add(strLine, true, strKind + ", present now: " + strNow);
            devices.push_back(strNow);
        }
    }
}
