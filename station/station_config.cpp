#include "station/station_config.h"

#include <sys/stat.h>

#include <charconv>
#include <cctype>
#include <cstdlib>

#include "station/ini_reader.h"
#include "serial/com_port_map.h"
#include "station/net_option_rules.h"
#include "station/engineer_pin.h"
#include "station/shift_plan.h"

namespace {

// Applies one [net] value unless the command line gave its option; the refusal, or empty.
std::string ApplyNetValue(StationSettings& options, const StationGiven& given, const std::string& strKey,
                          const std::string& strValue)
{
    std::string strOption = "--" + strKey;
    for (char& c : strOption)
        c = c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const NetOptionRule* pRule = nullptr;
    std::string strKnown;
    for (const NetOptionRule& rule : NetOptionRules()) {
        strKnown += (strKnown.empty() ? "" : ", ") + rule.strName.substr(2);
        if (rule.strName == strOption)
            pRule = &rule;
    }
    if (!pRule)
        return "unknown key (known: " + strKnown + ")";
    int nValue = 0;
    std::string strRefusal = CheckNetValue(*pRule, strValue, nValue);
    if (!strRefusal.empty() || given.count(strOption))
        return strRefusal;
    if (pRule->pnValue)
        options.*pRule->pnValue = nValue;
    else
        options.*pRule->pstrValue = strValue;
    return {};
}

// Applies a [record] section (url, station, hold-minutes, timeout-ms) where the command line did not give them.
bool ApplyRecord(StationSettings& options, const StationGiven& given, const std::string& strFile, const CIniReader::KeyValues& values,
                 std::string& strError)
{
    for (const auto& [strKey, strValue] : values) {
        std::string strLower = strKey;
        for (char& c : strLower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (strLower == "url") {
            if (!given.count("--record"))
                options.strRecord = strValue;
        } else if (strLower == "station") {
            if (!given.count("--station"))
                options.strStation = strValue;
        } else if (strLower == "hold-minutes") {
            char* pEnd = nullptr;
            long nMinutes = std::strtol(strValue.c_str(), &pEnd, 10);
            if (strValue.empty() || *pEnd != '\0' || nMinutes < 1 || nMinutes > 24 * 60) {
                strError = strFile + ": [record] " + strKey + "=" + strValue + ": not a whole number of minutes 1 to 1440";
                return false;
            }
            if (!given.count("--hold-minutes"))
                options.nHoldMinutes = static_cast<int>(nMinutes);
        } else if (strLower == "timeout-ms") {
            char* pEnd = nullptr;
            long nMs = std::strtol(strValue.c_str(), &pEnd, 10);
            if (strValue.empty() || *pEnd != '\0' || nMs < 100 || nMs > 600000) {
                strError = strFile + ": [record] " + strKey + "=" + strValue +
                           ": not a whole number of milliseconds 100 to 600000";
                return false;
            }
            if (!given.count("--record-timeout-ms"))
                options.nRecordTimeoutMs = static_cast<int>(nMs);
        } else {
            strError = strFile + ": [record] " + strKey + "=" + strValue +
                       ": unknown key (url, station, hold-minutes, timeout-ms)";
            return false;
        }
    }
    return true;
}

// Applies a [line] section: shifts, pool-warn, heartbeat-s, offline-s, stuck-s, slot-alarm, engineer-pin.
bool ApplyLine(StationSettings& options, const std::string& strFile, const CIniReader::KeyValues& values,
               std::string& strError)
{
    struct Number {
        const char* szKey;
        int* pnValue;
        long nMin, nMax;
    };
    const Number numbers[] = {{"pool-warn", &options.nPoolWarn, 0, 100000000},
                              {"heartbeat-s", &options.nHeartbeatS, 1, 60},
                              {"offline-s", &options.nOfflineS, 2, 3600},
                              {"stuck-s", &options.nStuckS, 5, 24 * 3600},
                              {"slot-alarm", &options.nSlotAlarm, 0, 1000}};  // 0: no alarm
    for (const auto& [strKey, strValue] : values) {
        const std::string strWhere = strFile + ": [line] " + strKey + "=" + strValue + ": ";
        if (strKey == "shifts") {
            CShiftPlan plan;
            std::string strWhy;
            if (!plan.Parse(strValue, strWhy)) {
                strError = strWhere + strWhy;
                return false;
            }
            options.strShifts = strValue;
            continue;
        }
        if (strKey == "engineer-pin") {
            if (!strValue.empty() && !IsPinHashText(strValue)) {
                strError = strWhere + "not sha256:<salt hex>:<digest hex>; set it with tovar pin set";
                return false;
            }
            options.strEngineerPin = strValue;
            continue;
        }
        const Number* pNumber = nullptr;
        for (const Number& number : numbers)
            if (strKey == number.szKey)
                pNumber = &number;
        if (!pNumber) {
            strError = strWhere + "unknown key (shifts, pool-warn, heartbeat-s, offline-s, stuck-s, slot-alarm, engineer-pin)";
            return false;
        }
        char* pEnd = nullptr;
        const long nValue = std::strtol(strValue.c_str(), &pEnd, 10);
        if (strValue.empty() || *pEnd != '\0' || nValue < pNumber->nMin || nValue > pNumber->nMax) {
            strError = strWhere + "not a whole number " + std::to_string(pNumber->nMin) + " to " +
                       std::to_string(pNumber->nMax);
            return false;
        }
        *pNumber->pnValue = static_cast<int>(nValue);
    }
    return true;
}

// Applies the good values of a [net] section; the first bad one is named in strError.
bool ApplyNet(StationSettings& options, const StationGiven& given, const std::string& strFile, const CIniReader::KeyValues& values,
              std::string& strError)
{
    bool bOk = true;
    for (const auto& [strKey, strValue] : values) {
        std::string strRefusal = ApplyNetValue(options, given, strKey, strValue);
        if (!strRefusal.empty() && bOk)
            strError = strFile + ": [net] " + strKey + "=" + strValue + ": " + strRefusal;
        bOk = bOk && strRefusal.empty();
    }
    return bOk;
}

// Adds a file's [ports] entries; an entry for a number already mapped is left out (the first wins).
// A bad entry is skipped and named in strError.
bool AddPorts(CComPortMap& map, const std::string& strFile, const CIniReader& reader, std::string& strError)
{
    bool bOk = true;
    for (const auto& [strKey, strPath] : reader.ReadSection("ports")) {
        if (CComPortMap::PortFromName(strKey) == 0 || strPath.empty()) {
            if (bOk)
                strError = strFile + ": [ports] " + strKey + "=" + strPath + ": " +
                           (strPath.empty() ? "no device path" : "not a name COM1 to COM99");
            bOk = false;
            continue;
        }
        map.AddEntry(strKey, strPath);
    }
    return bOk;
}

bool Exists(const std::string& strPath)
{
    struct stat info {};
    return stat(strPath.c_str(), &info) == 0;
}

}  // namespace

std::string StationConfigPath(const std::string& strWorkDir) { return strWorkDir + "/tovar.cfg"; }

bool ApplyStationConfig(StationSettings& options, const StationGiven& given, std::string& strError)
{
    // Every part is applied that can be, so a check can still look at the rest; the first error counts.
    std::string strFirst, strPart;
    auto keep = [&](bool bOk) {
        if (!bOk && strFirst.empty())
            strFirst = strPart;
    };
    const std::string strStationFile = StationConfigPath(options.strWorkDir);
    CIniReader station(strStationFile);
    strPart = strStationFile + ": cannot be read";
    keep(station.IsLoaded() || !Exists(strStationFile));
    // A section this program does not read is refused like an unknown key: a misspelt [nett] would
    // otherwise leave its values unused without a word. [slotN] sections are checked with the slots.
    for (const std::string& strSection : station.SectionNames()) {
        std::string strLower = strSection;
        for (char& c : strLower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const bool bKnown = strLower == "net" || strLower == "record" || strLower == "line" || strLower == "log" ||
                            strLower == "ports" || strLower.rfind("slot", 0) == 0;
        if (!bKnown && strFirst.empty())
            strFirst = strStationFile + ": [" + strSection + "]: unknown section (net, record, line, log, ports, slotN)";
    }
    keep(ApplyNet(options, given, strStationFile, station.ReadSection("net"), strPart));
    strPart.clear();
    keep(ApplyRecord(options, given, strStationFile, station.ReadSection("record"), strPart));
    strPart.clear();
    keep(ApplyLine(options, strStationFile, station.ReadSection("line"), strPart));
    // [log] dir: a relative folder lies in the working folder.
    for (const auto& [strKey, strValue] : station.ReadSection("log")) {
        if (strKey != "dir") {
            if (strFirst.empty())
                strFirst = strStationFile + ": [log] " + strKey + "=" + strValue + ": unknown key (dir)";
        } else if (!strValue.empty() && !given.count("--log-dir")) {
            options.strLogDir = strValue.front() == '/' ? strValue : options.strWorkDir + "/" + strValue;
        }
    }
    // The first entry for a COM name wins, so the command line's file goes first.
    CComPortMap map;
    if (!options.strPortsFile.empty()) {
        CIniReader ports(options.strPortsFile);
        strPart = options.strPortsFile + ": cannot be read";
        keep(ports.IsLoaded());
        keep(AddPorts(map, options.strPortsFile, ports, strPart));
    }
    keep(AddPorts(map, strStationFile, station, strPart));
    options.portMap = map;
    strError = strFirst;
    return strFirst.empty();
}
