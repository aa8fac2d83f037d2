#include "app/commands.h"

#include <iostream>
#include <limits>

#include "app/cmd_check.h"
#include "app/cmd_demo.h"
#include "app/cmd_flash.h"
#include "app/cmd_gang.h"
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

std::vector<NetOptionRule> NetOptionRules()
{
    constexpr int nMax = std::numeric_limits<int>::max();
    return {
        {"--board-ip", "IPv4 address of the board's boot loader", nullptr, &CommonOptions::strBoardIp, CLI::ValidIPV4},
        {"--board-port", "UDP port of the board", &CommonOptions::nBoardPort, nullptr, CLI::Range(1, 65535)},
        {"--local-port", "Local UDP port (0: any free port)", &CommonOptions::nLocalPort, nullptr, CLI::Range(0, 65535)},
        {"--settle-ms", "Pause before the first frame", &CommonOptions::nSettleMs, nullptr, CLI::Range(0, nMax)},
        {"--reply-timeout-ms", "Time limit of a data frame's reply", &CommonOptions::nReplyTimeoutMs, nullptr,
         CLI::Range(1, nMax)},
        {"--store-timeout-ms", "Time limit of a store command's reply", &CommonOptions::nStoreTimeoutMs, nullptr,
         CLI::Range(1, nMax)},
        {"--tries", "Sends of a frame before the file fails", &CommonOptions::nTries, nullptr, CLI::Range(1, nMax)},
        {"--bind", "Send from this interface (name) or local IPv4 address; default: any", nullptr,
         &CommonOptions::strBind, BindTarget()},
    };
}

CLI::Validator BindTarget()
{
    return CLI::Validator(
        [](std::string& strValue) -> std::string {
            if (strValue.empty())
                return {};  // all interfaces
            if (strValue.find('.') != std::string::npos)
                return CLI::ValidIPV4(strValue);
            // The kernel's rule for interface names: at most 15 characters, no slash, colon or blank.
            bool bName = strValue.size() <= 15 && strValue.find_first_of("/: \t\n") == std::string::npos;
            return bName ? std::string() : strValue + " is neither an interface name nor a dotted IPv4 address";
        },
        "INTERFACE|IPv4");
}

CLI::Validator ComPortName()
{
    return CLI::Validator(
        [](std::string& strValue) {
            return CComPortMap::PortFromName(strValue) > 0 ? std::string()
                                                            : "port " + strValue + " is not a name COM1 to COM99";
        },
        "COMn");
}

void AddCommonOptions(CLI::App& cmd, CommonOptions& options, bool bStationOption)
{
    auto add = [&](const std::string& strName, auto& value, const std::string& strHelp, const CLI::Validator& check) {
        // A later value wins, so scripts can add to a default command line.
        options.given[strName].push_back(cmd.add_option(strName, value, strHelp)
                                             ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
                                             ->check(check)
                                             ->capture_default_str());
    };
    add("--workdir", options.strWorkDir, "Working directory (KX30T/, tcl_lib/)", CLI::ExistingDirectory);
    for (const NetOptionRule& rule : NetOptionRules()) {
        if (rule.pnValue)
            add(rule.strName, options.*rule.pnValue, rule.strHelp, rule.validator);
        else
            add(rule.strName, options.*rule.pstrValue, rule.strHelp, rule.validator);
    }
    options.given["--ports"].push_back(
        cmd.add_option("--ports", options.strPortsFile, "File with a [ports] section (COM3=/dev/ttyUSB0)")
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
            ->check(CLI::ExistingFile));
    add("--record", options.strRecord, "Production record: postgresql://... or an SQLite file (default: tovar.db)",
        CLI::Validator());
    if (bStationOption)
        add("--station", options.strStation, "This station's name in the record (default: the host name)", CLI::Validator());
    add("--hold-minutes", options.nHoldMinutes, "How long a running job's identity stays held if its station dies",
        CLI::Range(1, 24 * 60));
    options.given["--no-record"].push_back(cmd.add_flag("--no-record", options.bNoRecord, "Keep no production record"));
    add("--log-dir", options.strLogDir, "Folder of the boards' log files (default: logs/ in the working folder)",
        CLI::Validator());
}

namespace {

void AddScanCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners)
{
    CLI::App* pCmd = app.add_subcommand("scan", "List the serial devices with their COM names");
    AddCommonOptions(*pCmd, options);
    runners.push_back({pCmd, [&options] {
                           std::string strError;
                           if (!ApplyStationConfig(options, strError)) {
                               std::cerr << "tovar scan: " << strError << "\n";
                               return 2;
                           }
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
    transfer.strBind = options.strBind;
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
    AddGangCommand(app, options, runners);
    AddScanCommand(app, options, runners);
    AddDemoCommand(app, options, runners);
    AddTransferCommand(app, options, runners);
    AddRecordCommands(app, options, runners);
    AddGuiCommand(app, options, runners);
    AddCheckCommand(app, options, runners);
}

int RunDefault(const CommonOptions& options) { return RunGuiCommand(options, GuiCommandOptions{}); }
