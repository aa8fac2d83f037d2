#include "station/station_slots.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <set>

#include "serial/monitor_port_path.h"
#include "station/net_option_rules.h"
#include "station/station_config.h"

namespace {

std::string Lower(std::string strText)
{
    for (char& c : strText)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return strText;
}

bool ParseWholeNumber(const std::string& strText, int& nValue)
{
    const char* pEnd = strText.data() + strText.size();
    auto [p, ec] = std::from_chars(strText.data(), pEnd, nValue);
    return ec == std::errc() && p == pEnd;
}

// N of a section name "slotN" (any case), 0 when it is not slot1 to slot99 written plainly.
int SlotNumber(const std::string& strSection)
{
    const std::string strDigits = strSection.substr(4);
    int nSlot = 0;
    if (strDigits.empty() || strDigits[0] == '0' || !ParseWholeNumber(strDigits, nSlot))
        return 0;
    return nSlot >= 1 && nSlot <= STATION_SLOT_MAX ? nSlot : 0;
}

// The port as one text per device: "COMn" for a name, the path as written otherwise.
std::string PortKey(const std::string& strPort)
{
    int nPort = CComPortMap::PortFromName(strPort);
    return nPort > 0 ? "COM" + std::to_string(nPort) : strPort;
}

// Checks and keeps one key of a slot; the refusal, or empty.
std::string ApplySlotValue(StationSlot& slot, const std::string& strKey, const std::string& strValue)
{
    if (strKey == "port") {
        if (CComPortMap::PortFromName(strValue) > 0 || (strValue.size() > 1 && strValue[0] == '/')) {
            slot.strPort = strValue;
            return {};
        }
        return "not a name COM1 to COM99 or a device path";
    }
    if (strKey == "monitor-port") {
        if (!CMonitorPortPath::IsValidName(strValue))
            return "not a name COM1 to COM99, a device path or usb:<bus>-<port path>";
        slot.strMonitorPort = strValue;
        return {};
    }
    if (strKey == "bind") {
        bool bBlank = std::any_of(strValue.begin(), strValue.end(),
                                  [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; });
        if (strValue.empty() || bBlank)
            return "not an interface name or local address";
        slot.strBind = strValue;
        return {};
    }
    // The [net] keys a slot may set, held to the rules of their options.
    const std::vector<std::string> netKeys = {"board-ip", "board-port", "local-port", "settle-ms", "console-timeout-s"};
    if (std::find(netKeys.begin(), netKeys.end(), strKey) == netKeys.end())
        return "unknown key (known: port, monitor-port, board-ip, board-port, local-port, bind, settle-ms, "
               "console-timeout-s)";
    for (const NetOptionRule& rule : NetOptionRules()) {
        if (rule.strName != "--" + strKey)
            continue;
        int nValue = 0;
        std::string strRefusal = CheckNetValue(rule, strValue, nValue);
        if (!strRefusal.empty())
            return strRefusal;
        if (strKey == "board-ip")
            slot.strBoardIp = strValue;
        else if (strKey == "board-port")
            slot.nBoardPort = nValue;
        else if (strKey == "local-port")
            slot.nLocalPort = nValue;
        else if (strKey == "settle-ms")
            slot.nSettleMs = nValue;
        else
            slot.nConsoleTimeoutS = nValue;
    }
    return {};
}

}  // namespace

bool ParseStationSlots(const CIniReader& reader, const std::string& strFile, std::vector<StationSlot>& slots,
                       std::string& strError)
{
    slots.clear();
    for (const std::string& strSection : reader.SectionNames()) {
        if (Lower(strSection).rfind("slot", 0) != 0)
            continue;
        StationSlot slot;
        slot.nSlot = SlotNumber(strSection);
        if (slot.nSlot == 0) {
            strError = strFile + ": [" + strSection + "]: not a slot section slot1 to slot" +
                       std::to_string(STATION_SLOT_MAX);
            return false;
        }
        for (const auto& [strKey, strValue] : reader.ReadSection(strSection.c_str())) {
            std::string strRefusal = ApplySlotValue(slot, Lower(strKey), strValue);
            if (!strRefusal.empty()) {
                strError = strFile + ": [" + strSection + "] " + strKey + "=" + strValue + ": " + strRefusal;
                return false;
            }
        }
        if (!slot.strMonitorPort.empty() && PortKey(slot.strMonitorPort) == PortKey(slot.strPort)) {
            strError = strFile + ": [" + strSection + "] monitor-port=" + slot.strMonitorPort +
                       ": the same as port=, which carries the console";
            return false;
        }
        if (slot.strPort.empty()) {
            strError = strFile + ": [" + strSection + "]: no port (port=COMn or a device path)";
            return false;
        }
        for (const StationSlot& other : slots) {
            if (other.nSlot == slot.nSlot) {
                strError = strFile + ": [" + strSection + "]: the same slot as [slot" + std::to_string(other.nSlot) + "]";
                return false;
            }
            if (PortKey(other.strPort) == PortKey(slot.strPort)) {
                strError = strFile + ": [" + strSection + "] port=" + slot.strPort + ": also the port of [slot" +
                           std::to_string(other.nSlot) + "]";
                return false;
            }
            // A monitor port is one board's too: not another slot's, nor anybody's console.
            for (const std::string* pOther : {&other.strPort, &other.strMonitorPort}) {
                if (!slot.strMonitorPort.empty() && PortKey(*pOther) == PortKey(slot.strMonitorPort)) {
                    strError = strFile + ": [" + strSection + "] monitor-port=" + slot.strMonitorPort +
                               ": also a port of [slot" + std::to_string(other.nSlot) + "]";
                    return false;
                }
            }
            if (!other.strMonitorPort.empty() && PortKey(other.strMonitorPort) == PortKey(slot.strPort)) {
                strError = strFile + ": [" + strSection + "] port=" + slot.strPort + ": also the monitor port of [slot" +
                           std::to_string(other.nSlot) + "]";
                return false;
            }
        }
        slots.push_back(slot);
    }
    std::sort(slots.begin(), slots.end(), [](const StationSlot& a, const StationSlot& b) { return a.nSlot < b.nSlot; });
    return true;
}

bool ReadStationSlots(const std::string& strWorkDir, std::vector<StationSlot>& slots, std::string& strError)
{
    const std::string strFile = StationConfigPath(strWorkDir);
    CIniReader reader(strFile);
    return ParseStationSlots(reader, strFile, slots, strError);
}

StationSettings SlotOptions(const StationSettings& shared, const StationSlot& slot)
{
    StationSettings options = shared;
    if (slot.strBoardIp)
        options.strBoardIp = *slot.strBoardIp;
    if (slot.nBoardPort)
        options.nBoardPort = *slot.nBoardPort;
    if (slot.nLocalPort)
        options.nLocalPort = *slot.nLocalPort;
    if (slot.nSettleMs)
        options.nSettleMs = *slot.nSettleMs;
    if (slot.nConsoleTimeoutS)
        options.nConsoleTimeoutS = *slot.nConsoleTimeoutS;
    if (!slot.strBind.empty())
        options.strBind = slot.strBind;
    if (!slot.strMonitorPort.empty())
        options.strMonitorPort = slot.strMonitorPort;
    return options;
}

bool AssignSlotPorts(CComPortMap& map, const std::vector<StationSlot>& slots, std::vector<int>& ports,
                     std::string& strError)
{
    std::set<int> taken;
    for (const auto& [nPort, strPath] : map.Entries())
        taken.insert(nPort);
    for (const StationSlot& slot : slots)
        if (int nPort = CComPortMap::PortFromName(slot.strPort); nPort > 0)
            taken.insert(nPort);
    ports.clear();
    int nNext = COM_PORT_MAX;
    for (const StationSlot& slot : slots) {
        int nPort = CComPortMap::PortFromName(slot.strPort);
        if (nPort == 0) {
            while (nNext > 0 && taken.count(nNext))
                --nNext;
            if (nNext == 0) {
                strError = "[slot" + std::to_string(slot.nSlot) + "] port=" + slot.strPort +
                           ": no free COM number is left for it";
                return false;
            }
            nPort = nNext;
            taken.insert(nPort);
            map.AddEntry(nPort, slot.strPort);
        }
        ports.push_back(nPort);
    }
    return true;
}
