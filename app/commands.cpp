#include "app/commands.h"

#include <iostream>

#include "app/cmd_demo.h"
#include "app/cmd_flash.h"
#include "app/cmd_gui.h"
#include "app/station_config.h"
#include "samba/monitor_backend.h"
#include "serial/com_port_map.h"
#include "serial/com_port_scan.h"

std::string CliText(const std::string& strLog)
{
    std::string strOut;
    for (size_t i = 0; i < strLog.size(); ++i)
        if (!(strLog[i] == '\r' && i + 1 < strLog.size() && strLog[i + 1] == '\n'))
            strOut += strLog[i];
    return strOut;
}

bool GivenOnCommandLine(const CommonOptions& options, const std::string& strName)
{
    auto it = options.given.find(strName);
    if (it == options.given.end())
        return false;
    for (const CLI::Option* pOption : it->second)
        if (pOption && pOption->count() > 0)
            return true;
    return false;
}

void AddCommonOptions(CLI::App& cmd, CommonOptions& options)
{
    auto add = [&](const char* szName, auto& value, const char* szHelp) {
        // A later value wins, so scripts can add to a default command line.
        options.given[szName].push_back(
            cmd.add_option(szName, value, szHelp)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast));
    };
    add("--workdir", options.strWorkDir, "Working directory (KX30T/, tcl_lib/)");
    add("--board-ip", options.strBoardIp, "IPv4 address of the board's boot loader");
    add("--board-port", options.nBoardPort, "UDP port of the board");
    add("--local-port", options.nLocalPort, "Local UDP port (0: any free port)");
    add("--settle-ms", options.nSettleMs, "Pause before the first frame");
    add("--reply-timeout-ms", options.nReplyTimeoutMs, "Time limit of a data frame's reply");
    add("--store-timeout-ms", options.nStoreTimeoutMs, "Time limit of a store command's reply");
    add("--tries", options.nTries, "Sends of a frame before the file fails");
    add("--ports", options.strPortsFile, "File with a [ports] section (COM3=/dev/ttyUSB0)");
    add("--log-dir", options.strLogDir, "Folder of the boards' log files (default: logs/ in the working folder)");
}

namespace {

void AddScanCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners)
{
    CLI::App* pCmd = app.add_subcommand("scan", "List the serial devices with their COM names");
    AddCommonOptions(*pCmd, options);
    runners.push_back({pCmd, [&options] {
                           std::string strReport = ApplyStationConfig(options);
                           std::cerr << CliText(strReport);
                           std::cout << FormatScan(options.portMap);
                           return 0;
                       }});
}

}  // namespace

TovarJobOptions MakeJobOptions(const CommonOptions& options)
{
    TovarJobOptions jobOptions;
    jobOptions.strWorkDir = options.strWorkDir == "." ? std::string() : options.strWorkDir;
    TransferSettings& transfer = jobOptions.transfer;
    if (!options.strBoardIp.empty())
        transfer.strBoardIp = options.strBoardIp;
    transfer.nBoardPort = options.nBoardPort;
    transfer.nLocalPort = options.nLocalPort;
    transfer.nSettleMs = options.nSettleMs;
    transfer.nReplyTimeoutMs = options.nReplyTimeoutMs;
    transfer.nStoreTimeoutMs = options.nStoreTimeoutMs;
    transfer.nTries = options.nTries;
    jobOptions.fnPortResolver = options.portMap.Resolver();
    jobOptions.strLogDir = options.strLogDir;
    return jobOptions;
}

std::string JobLogDir(const CommonOptions& options)
{
    return options.strLogDir.empty() ? options.strWorkDir + "/logs" : options.strLogDir;
}

// The serial boot monitor on the devices of the station's port map.
At91BackendFactory MakeMonitorBackendFactory(const CommonOptions& options, const std::atomic<int>* pCancel)
{
    return [pCancel, map = options.portMap]() -> std::unique_ptr<IAt91Backend> {
        return std::make_unique<CMonitorBackend>(map.Resolver(), [map] { return map.ListPorts(); }, SystemClock(),
                                                 pCancel);
    };
}

void RegisterCommands(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners)
{
    AddFlashCommand(app, options, runners);
    AddScanCommand(app, options, runners);
    AddDemoCommand(app, options, runners);
    AddTransferCommand(app, options, runners);
    AddGuiCommand(app, options, runners);
}

int RunDefault(const CommonOptions& options) { return RunGuiCommand(options, GuiCommandOptions{}); }
