#include "app/station_config.h"

#include <cstdlib>

#include "console/ini_reader.h"
#include "serial/com_port_map.h"

namespace {

void ApplyNet(CommonOptions& options, const CIniReader::KeyValues& values, std::string& strReport)
{
    for (const auto& [strKey, strValue] : values) {
        std::string strOption = "--" + strKey;
        for (char& c : strOption)
            c = c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (GivenOnCommandLine(options, strOption))
            continue;
        int nValue = CIniReader::ParseInt(strValue.c_str());
        if (strOption == "--board-ip")
            options.strBoardIp = strValue;
        else if (strOption == "--board-port")
            options.nBoardPort = nValue;
        else if (strOption == "--local-port")
            options.nLocalPort = nValue;
        else if (strOption == "--settle-ms")
            options.nSettleMs = nValue;
        else if (strOption == "--reply-timeout-ms")
            options.nReplyTimeoutMs = nValue;
        else if (strOption == "--store-timeout-ms")
            options.nStoreTimeoutMs = nValue;
        else if (strOption == "--tries")
            options.nTries = nValue;
        else
            strReport += "->tovar.cfg: unknown [net] key " + strKey + " ignored.\r\n";
    }
}

}  // namespace

std::string ApplyStationConfig(CommonOptions& options)
{
    std::string strReport;
    CIniReader station(options.strWorkDir + "/tovar.cfg");
    ApplyNet(options, station.ReadSection("net"), strReport);
    // [log] dir: a relative folder lies in the working folder.
    for (const auto& [strKey, strValue] : station.ReadSection("log")) {
        if (strKey != "dir")
            strReport += "->tovar.cfg: unknown [log] key " + strKey + " ignored.\r\n";
        else if (!strValue.empty() && !GivenOnCommandLine(options, "--log-dir"))
            options.strLogDir = strValue.front() == '/' ? strValue : options.strWorkDir + "/" + strValue;
    }
    // The first entry for a COM name wins, so the command line's file goes first.
    CComPortMap map;
    if (!options.strPortsFile.empty()) {
        CIniReader ports(options.strPortsFile);
        if (!ports.IsLoaded())
            strReport += "->" + options.strPortsFile + " cannot be read.\r\n";
        for (const auto& [strKey, strPath] : ports.ReadSection("ports"))
            if (!map.AddEntry(strKey, strPath))
                strReport += "->" + options.strPortsFile + ": [ports] " + strKey + " ignored.\r\n";
    }
    for (const auto& [strKey, strPath] : station.ReadSection("ports"))
        if (!map.AddEntry(strKey, strPath))
            strReport += "->tovar.cfg: [ports] " + strKey + " ignored (COM1 to COM99 only).\r\n";
    options.portMap = map;
    return strReport;
}
