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
        return WholeNumber(rule.nMin, rule.nMax);
    const bool bBind = rule.strName == "--bind";
    return RuleCheck(rule.fnCheck, bBind ? "an interface name or a dotted IPv4 address" : "a dotted IPv4 address",
                     bBind ? "INTERFACE|IPv4" : "IPv4");
}

// The group of a [net] option: where the board is, how the transfer waits, how the bring-up waits.
unsigned SetOfNetRule(const NetOptionRule& rule)
{
    if (rule.strName == "--board-ip" || rule.strName == "--board-port" || rule.strName == "--local-port" ||
        rule.strName == "--bind")
        return kEndpointOptions;
    if (rule.strName == "--console-timeout-s" || rule.strName == "--monitor-wait-s")
        return kBringUpOptions;
    return kTransferOptions;
}

}  // namespace

void AddCommonOptions(CLI::App& cmd, CommonOptions& options, unsigned nSets)
{
    auto add = [&](const std::string& strName, auto& value, const std::string& strHelp, const CLI::Validator& check,
                   const char* szGroup) {
        // A later value wins, so scripts can add to a default command line.
        options.given[strName].push_back(cmd.add_option(strName, value, strHelp)
                                             ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
                                             ->check(check)
                                             ->capture_default_str()
                                             ->group(szGroup));
    };
    const char* szStation = "Station";
    const char* szNetwork = "Network";
    const char* szRecord = "Record";
    add("--workdir", options.strWorkDir, "Working directory (KX30T/, tcl_lib/)", ExistingFolder(), szStation);
    if (nSets & kPortMapOptions)
        options.given["--ports"].push_back(
            cmd.add_option("--ports", options.strPortsFile, "File with a [ports] section (COM3=/dev/ttyUSB0)")
                ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
                ->check(ExistingFileOnly())
                ->group(szStation));
    if (nSets & kJobOutputOptions)
        add("--log-dir", options.strLogDir, "Folder of the boards' log files (default: logs/ in the working folder)",
            CLI::Validator(), szStation);
    for (const NetOptionRule& rule : NetOptionRules()) {
        if (!(nSets & SetOfNetRule(rule)))
            continue;
        if (rule.pnValue)
            add(rule.strName, options.*rule.pnValue, rule.strHelp, ValidatorOf(rule), szNetwork);
        else
            add(rule.strName, options.*rule.pstrValue, rule.strHelp, ValidatorOf(rule), szNetwork);
    }
    if (nSets & kRecordOptions) {
        add("--record", options.strRecord, "Production record: postgresql://... or an SQLite file (default: tovar.db)",
            CLI::Validator(), szRecord);
        add("--record-timeout-ms", options.nRecordTimeoutMs,
            "Time limit of each call to the record; past it a job's result is spooled", WholeNumber(100, 600000),
            szRecord);
    }
    if (nSets & kHoldOptions) {
        add("--station", options.strStation, "This station's name in the record (default: the host name)",
            CLI::Validator(), szRecord);
        add("--hold-minutes", options.nHoldMinutes, "How long a running job's identity stays held if its station dies",
            WholeNumber(1, 24 * 60), szRecord);
    }
    if (nSets & kJobOutputOptions)
        options.given["--no-record"].push_back(
            cmd.add_flag("--no-record", options.bNoRecord, "Keep no production record")->group(szRecord));
}

void SetHelpFooter(CLI::App& cmd, const std::string& strExample, const std::vector<ExitStatusText>& statuses)
{
    std::string strFooter = "Example:\n  " + strExample + "\nExit status:";
    for (const ExitStatusText& status : statuses)
        strFooter += "\n  " + std::to_string(status.nStatus) + "  " + status.szMeaning;
    cmd.footer(strFooter);
}

namespace {

void AddScanCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners)
{
    CLI::App* pCmd = app.add_subcommand("scan", "List the serial devices with their COM names");
    AddCommonOptions(*pCmd, options, kPortMapOptions);
    SetHelpFooter(*pCmd, "tovar scan --ports ports.cfg",
                  {{0, "the devices are listed"}, {2, "refused: a usage error, or tovar.cfg or --ports cannot be used"}});
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

