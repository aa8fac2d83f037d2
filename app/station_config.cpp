#include "app/station_config.h"

#include <sys/stat.h>

#include <charconv>

#include "console/ini_reader.h"
#include "serial/com_port_map.h"

namespace {

// The whole text is a decimal number in int range.
bool ParseWholeNumber(const std::string& strText, int& nValue)
{
    const char* pEnd = strText.data() + strText.size();
    auto [p, ec] = std::from_chars(strText.data(), pEnd, nValue);
    return ec == std::errc() && p == pEnd;
}

// Applies one [net] value unless the command line gave its option; the refusal, or empty.
std::string ApplyNetValue(CommonOptions& options, const std::vector<NetOptionRule>& rules, const std::string& strKey,
                          const std::string& strValue)
{
    std::string strOption = "--" + strKey;
    for (char& c : strOption)
        c = c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const NetOptionRule* pRule = nullptr;
    std::string strKnown;
    for (const NetOptionRule& rule : rules) {
        strKnown += (strKnown.empty() ? "" : ", ") + rule.strName.substr(2);
        if (rule.strName == strOption)
            pRule = &rule;
    }
    if (!pRule)
        return "unknown key (known: " + strKnown + ")";
    int nValue = 0;
    if (pRule->pnValue && !ParseWholeNumber(strValue, nValue))
        return "not a whole number";
    std::string strRefusal = pRule->validator(strValue);
    if (!strRefusal.empty() || GivenOnCommandLine(options, strOption))
        return strRefusal;
    if (pRule->pnValue)
        options.*pRule->pnValue = nValue;
    else
        options.*pRule->pstrValue = strValue;
    return {};
}

// Applies a [record] section (url, station, hold-minutes) where the command line did not give them.
bool ApplyRecord(CommonOptions& options, const std::string& strFile, const CIniReader::KeyValues& values,
                 std::string& strError)
{
    for (const auto& [strKey, strValue] : values) {
        std::string strLower = strKey;
        for (char& c : strLower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (strLower == "url") {
            if (!GivenOnCommandLine(options, "--record"))
                options.strRecord = strValue;
        } else if (strLower == "station") {
            if (!GivenOnCommandLine(options, "--station"))
                options.strStation = strValue;
        } else if (strLower == "hold-minutes") {
            char* pEnd = nullptr;
            long nMinutes = std::strtol(strValue.c_str(), &pEnd, 10);
            if (strValue.empty() || *pEnd != '\0' || nMinutes < 1 || nMinutes > 24 * 60) {
                strError = strFile + ": [record] " + strKey + "=" + strValue + ": not a whole number of minutes 1 to 1440";
                return false;
            }
            if (!GivenOnCommandLine(options, "--hold-minutes"))
                options.nHoldMinutes = static_cast<int>(nMinutes);
        } else {
            strError = strFile + ": [record] " + strKey + "=" + strValue + ": unknown key (url, station, hold-minutes)";
            return false;
        }
    }
    return true;
}

// Applies the good values of a [net] section; the first bad one is named in strError.
bool ApplyNet(CommonOptions& options, const std::string& strFile, const CIniReader::KeyValues& values,
              std::string& strError)
{
    const std::vector<NetOptionRule> rules = NetOptionRules();
    bool bOk = true;
    for (const auto& [strKey, strValue] : values) {
        std::string strRefusal = ApplyNetValue(options, rules, strKey, strValue);
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

bool ApplyStationConfig(CommonOptions& options, std::string& strError)
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
    keep(ApplyNet(options, strStationFile, station.ReadSection("net"), strPart));
    strPart.clear();
    keep(ApplyRecord(options, strStationFile, station.ReadSection("record"), strPart));
    // [log] dir: a relative folder lies in the working folder.
    for (const auto& [strKey, strValue] : station.ReadSection("log")) {
        if (strKey != "dir") {
            if (strFirst.empty())
                strFirst = strStationFile + ": [log] " + strKey + "=" + strValue + ": unknown key (dir)";
        } else if (!strValue.empty() && !GivenOnCommandLine(options, "--log-dir")) {
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
