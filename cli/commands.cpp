#include "cli/commands.h"

#include <iostream>
#include <limits>

#include "cli/cmd_check.h"
#include "cli/cmd_flash.h"
#include "cli/cmd_gang.h"
#include "cli/cmd_line.h"
#include "cli/cmd_pin.h"
#include "station/net_option_rules.h"
#include "station/station_config.h"
#include "serial/com_port_map.h"
#include "serial/com_port_scan.h"
#include "serial/monitor_port_path.h"

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

StationGiven GivenOptions(const CommonOptions& options)
{
    StationGiven given;
    for (const auto& [strName, list] : options.given)
        if (GivenOnCommandLine(options, strName))
            given.insert(strName);
    return given;
}

bool ApplyStationConfig(CommonOptions& options, std::string& strError)
{
    return ApplyStationConfig(static_cast<StationSettings&>(options), GivenOptions(options), strError);
}

namespace {

// A CLI11 check from a [net] rule, so the command line and tovar.cfg refuse the same values.
CLI::Validator ValidatorOf(const NetOptionRule& rule)
{
    if (rule.pnValue)
        return CLI::Range(rule.nMin, rule.nMax);
    return CLI::Validator([fnCheck = rule.fnCheck](std::string& strValue) { return fnCheck(strValue); },
                          rule.strName == "--bind" ? "INTERFACE|IPv4" : "TEXT");
}

}  // namespace

CLI::Validator ComPortName()
{
    return CLI::Validator(
        [](std::string& strValue) {
            return CComPortMap::PortFromName(strValue) > 0 ? std::string()
                                                            : "port " + strValue + " is not a name COM1 to COM99";
        },
        "COMn");
}

CLI::Validator MonitorPortName()
{
    return CLI::Validator(
        [](std::string& strValue) {
            return CMonitorPortPath::IsValidName(strValue)
                       ? std::string()
                       : strValue + " is not a name COM1 to COM99, a device path or usb:<bus>-<port path>";
        },
        "PORT");
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
            add(rule.strName, options.*rule.pnValue, rule.strHelp, ValidatorOf(rule));
        else
            add(rule.strName, options.*rule.pstrValue, rule.strHelp, ValidatorOf(rule));
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
    add("--record-timeout-ms", options.nRecordTimeoutMs,
        "Time limit of each call to the record; past it a job's result is spooled", CLI::Range(100, 600000));
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

void RegisterCommands(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners)
{
    AddFlashCommand(app, options, runners);
    AddGangCommand(app, options, runners);
    AddScanCommand(app, options, runners);
    AddTransferCommand(app, options, runners);
    AddRecordCommands(app, options, runners);
    AddCheckCommand(app, options, runners);
    AddLineCommand(app, options, runners);
    AddPinCommand(app, options, runners);
}

