#include "cli/cmd_flash.h"

#include <iostream>
#include <memory>

#include "cli/cli_job.h"
#include "line/monitor_backend_factory.h"
#include "line/record_options.h"
#include "serial/com_port_map.h"

void AddFlashCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners)
{
    auto flash = std::make_shared<FlashOptions>();
    CLI::App* pCmd = app.add_subcommand("flash", "One download job without a window");
    pCmd->add_option("--port", flash->strPort, "Serial port of the board, as COMn")->required()->check(ComPortName());
    pCmd->add_option("--monitor-port", flash->strMonitorPort,
                     "The boot monitor's USB port (COMn, a path or usb:<bus>-<port path>); --port keeps the console")
        ->check(MonitorPortName());
    auto* pNext = pCmd->add_flag("--next", flash->bNext, "Take the identity from the pools of the production record");
    pCmd->add_option("--mac", flash->strMac, "Two MAC addresses, ^XXXXXXXXXXXX^XXXXXXXXXXXX")->excludes(pNext);
    pCmd->add_option("--factory", flash->strFactory, "Factory number (at most 8 bytes)")->excludes(pNext);
    pCmd->add_option("--reg", flash->strReg, "Registration number (at most 8 bytes)")->excludes(pNext);
    pCmd->add_option("--select", flash->select, "File-table slots to send, e.g. 0,1,2")
        ->delimiter(',')
        ->check(WholeNumber(0, FILE_TABLE_SLOTS - 1));
    pCmd->add_option("--job-timeout-s", flash->nJobTimeoutS, "Give up after this many seconds")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->check(WholeNumber(1, 24 * 3600))
        ->capture_default_str();
    pCmd->add_option("--json", flash->strJsonPath, "Write the job's result as JSON to this file (-: standard output)");
    pCmd->add_flag("--quiet", flash->bQuiet, "No progress line on standard error");
    AddCommonOptions(*pCmd, options);
    SetHelpFooter(*pCmd, "tovar flash --port COM3 --mac ^587675010202^587675010203 --factory 12345678 --reg 5A3C0002",
                  {{0, "installed: every selected image stored"},
                   {1, "failed: the job ran and the board failed (or its chip was not the one expected)"},
                   {2, "refused before anything reached the board (usage, tovar.cfg, identity, record)"},
                   {3, "stopped (Ctrl+C)"},
                   {4, "stored, but set aside: it carries a value of another board, or its result is not recorded"}});
    runners.push_back({pCmd, [&options, flash] { return RunFlash(options, *flash); }});
}

int RunFlash(const CommonOptions& options, const FlashOptions& flash)
{
    CommonOptions station = options;
    std::string strError;
    ApplyStationConfig(station, strError);
    return RunFlashJob(station, flash, strError);
}

int RunFlashJob(const CommonOptions& station, const FlashOptions& flash, const std::string& strStationError)
{
    CliJobSettings settings;
    settings.strCommand = "flash";
    settings.strJsonPath = flash.strJsonPath;
    settings.bQuiet = flash.bQuiet;
    settings.strLogDir = JobLogDir(station);

    JobRequest refused;
    refused.identity = {flash.strMac, flash.strFactory, flash.strReg};
    refused.port.nPort = CComPortMap::PortFromName(flash.strPort);
    if (!strStationError.empty())
        return RefuseCliJob(refused, strStationError, settings);
    if (!flash.bNext && (flash.strMac.empty() || flash.strFactory.empty() || flash.strReg.empty()))
        return RefuseCliJob(refused, "--mac, --factory and --reg are required (or --next)", settings);
    CStationRecord record;
    std::string strWhy;
    if (!OpenStationRecord(station, record, strWhy))
        return RefuseCliJob(refused, strWhy, settings);
    settings.pRecord = &record;

    BoardRunRequest request;
    request.station = station;
    if (!flash.strMonitorPort.empty())
        request.station.strMonitorPort = flash.strMonitorPort;
    if (!flash.bNext)
        request.identity = refused.identity;
    request.strPort = flash.strPort;
    request.select = flash.select;
    request.nJobTimeoutS = flash.nJobTimeoutS;
    return RunCliBoard(request, MakeMonitorBackendFactory(station.portMap, nullptr), settings);
}
