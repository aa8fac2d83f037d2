#include "cli/cmd_gang.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <memory>

#include "ui/gang_console.h"
#include "line/gang_heartbeat.h"
#include "line/gang_station.h"
#include "line/gang_plan.h"
#include "line/record_options.h"
#include "station/station_config.h"
#include "cli/stop_signal.h"

namespace {

constexpr int kTickMs = 100;

int Refuse(const std::string& strWhy)
{
    std::cerr << "tovar gang: " << strWhy << "\n";
    return 2;
}

int ExitStatus(const std::vector<JobResult>& results, bool bSignalled)
{
    bool bAnyRan = std::any_of(results.begin(), results.end(),
                               [](const JobResult& result) { return result.verdict != JobVerdict::Refused; });
    bool bAnyStopped = std::any_of(results.begin(), results.end(),
                                   [](const JobResult& result) { return result.verdict == JobVerdict::Stopped; });
    if (bSignalled && (bAnyStopped || results.empty()))
        return ExitCodeOf(JobVerdict::Stopped);
    if (!results.empty() && !bAnyRan)
        return ExitCodeOf(JobVerdict::Refused);
    bool bAllInstalled = std::all_of(results.begin(), results.end(),
                                     [](const JobResult& result) { return result.verdict == JobVerdict::Installed; });
    if (!bAllInstalled)
        return ExitCodeOf(JobVerdict::Failed);
    // Every board stored, but one must be set aside: its value is another board's, or it is lost.
    const bool bSetAside = std::any_of(results.begin(), results.end(),
                                       [](const JobResult& result) { return ExitCodeOf(result) != 0; });
    return bSetAside ? 4 : 0;
}

}  // namespace

void AddGangCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners)
{
    auto gang = std::make_shared<GangOptions>();
    CLI::App* pCmd = app.add_subcommand("gang", "Several boards at once, one per [slotN] of tovar.cfg");
    pCmd->add_option("--slots", gang->slots, "The slots to run, e.g. 1,3 (default: all)")
        ->delimiter(',')
        ->check(WholeNumber(1, STATION_SLOT_MAX));
    auto* pNext = pCmd->add_flag("--next", gang->bNext, "Take each board's identity from the pools of the production record");
    pCmd->add_option("--mac", gang->strMac, "Two MAC addresses (a single slot only)")->excludes(pNext);
    pCmd->add_option("--factory", gang->strFactory, "Factory number (a single slot only)")->excludes(pNext);
    pCmd->add_option("--reg", gang->strReg, "Registration number (a single slot only)")->excludes(pNext);
    pCmd->add_option("--monitor-port", gang->strMonitorPort,
                     "The boot monitor's USB port of a single slot (COMn, a path or usb:<bus>-<port path>)")
        ->check(MonitorPortName());
    auto* pLoop = pCmd->add_flag("--loop", gang->bLoop, "After a board, wait for the next one on the slot's port and start by itself");
    pCmd->add_option("--count", gang->nCount, "With --loop: end after this many boards per slot (0: until Ctrl+C)")
        ->needs(pLoop)
        ->check(WholeNumber(0, 1000000))
        ->capture_default_str();
    pCmd->add_option("--poll-ms", gang->nPollMs, "With --loop: period of the look for the next board's boot monitor")
        ->check(WholeNumber(10, 60000))
        ->capture_default_str();
    pCmd->add_option("--select", gang->select, "File-table slots to send, e.g. 0,1,2")
        ->delimiter(',')
        ->check(WholeNumber(0, FILE_TABLE_SLOTS - 1));
    pCmd->add_option("--job-timeout-s", gang->nJobTimeoutS, "Give a job up after this many seconds")
        ->check(WholeNumber(1, 24 * 3600))
        ->capture_default_str();
    pCmd->add_option("--json", gang->strJsonPath, "One result per line to this file as each job ends (-: standard output)");
    pCmd->add_flag("--quiet", gang->bQuiet, "No status lines and no progress lines");
    AddCommonOptions(*pCmd, options);
    SetHelpFooter(*pCmd, "tovar gang --next --loop",
                  {{0, "every board installed"},
                   {1, "a board failed"},
                   {2, "refused before anything reached a board (usage, tovar.cfg, slots, identity, record)"},
                   {3, "stopped (Ctrl+C)"},
                   {4, "every board stored, but one is set aside: a value of another board, or a result not recorded"}});
    runners.push_back({pCmd, [&options, gang] { return RunGang(options, *gang); }});
}

int RunGang(const CommonOptions& options, const GangOptions& gang)
{
    CommonOptions station = options;
    std::vector<GangSlotSetup> setups;
    std::string strWhy;
    if (!ApplyStationConfig(station, strWhy) || !PlanGangSlots(station, gang.slots, setups, strWhy))
        return Refuse(strWhy);

    if (!gang.strMonitorPort.empty()) {
        if (setups.size() != 1)
            return Refuse("--monitor-port names one board's port: it needs a single slot (--slots N)");
        setups[0].options.strMonitorPort = gang.strMonitorPort;
    }
    GangSettings settings;
    bool bTyped = !gang.strMac.empty() || !gang.strFactory.empty() || !gang.strReg.empty();
    if (!gang.bNext) {
        // One identity cannot go on several boards.
        if (setups.size() != 1 || gang.bLoop)
            return Refuse("--next is needed: one identity cannot go on several boards");
        if (!bTyped || gang.strMac.empty() || gang.strFactory.empty() || gang.strReg.empty())
            return Refuse("--mac, --factory and --reg are required (or --next)");
        settings.identity = JobIdentity{gang.strMac, gang.strFactory, gang.strReg};
    }
    settings.select = gang.select;
    settings.bLoop = gang.bLoop;
    settings.nCount = gang.bLoop ? gang.nCount : 1;
    settings.nJobTimeoutS = gang.nJobTimeoutS;
    settings.nPollMs = gang.nPollMs;

    if (!CheckSharedStation(station, gang.select, strWhy))
        return Refuse(strWhy);
    CStationRecord record;
    if (!OpenStationRecord(station, record, strWhy))
        return Refuse(strWhy);

    std::ofstream jsonFile;
    std::ostream* pJson = nullptr;
    if (gang.strJsonPath == "-") {
        pJson = &std::cout;
    } else if (!gang.strJsonPath.empty()) {
        jsonFile.open(gang.strJsonPath, std::ios::trunc);
        if (!jsonFile)
            return Refuse("the results cannot be written to " + gang.strJsonPath);
        pJson = &jsonFile;
    }
    const bool bLogToStderr = gang.strJsonPath == "-";
    std::ostream& out = bLogToStderr ? std::cerr : std::cout;
    const bool bTerminal = isatty(bLogToStderr ? STDERR_FILENO : STDOUT_FILENO) != 0;
    std::vector<std::pair<int, std::string>> shown;
    for (const GangSlotSetup& setup : setups)
        shown.emplace_back(setup.nSlot, setup.strPort);
    CGangConsole console(out, pJson, SystemClock(),
                         bTerminal && !gang.bQuiet ? CGangConsole::Mode::Status : CGangConsole::Mode::Lines,
                         !gang.bQuiet, shown);

    InstallStopSignals();
    bool bSignalled = false;
    {
        // The station's heartbeat for the line view, while the slots run.
        std::unique_ptr<CHeartbeat> pHeartbeat;
        HeartbeatSettings heartbeat;
        if (HeartbeatOf(station, record, heartbeat))
            pHeartbeat = std::make_unique<CHeartbeat>(heartbeat);
        CGangHeartbeat reports(console, pHeartbeat.get());
        reports.AddSlots(setups);
        if (pHeartbeat)
            pHeartbeat->Start();
        CGangStation gangStation(reports, record);
        if (!gangStation.Start(setups, settings, strWhy))
            return Refuse(strWhy);
        while (!gangStation.WaitEnded(kTickMs)) {
            if (!bSignalled && StopSignalled().load()) {
                bSignalled = true;
                gangStation.Stop();
            }
            console.Tick();
        }
    }
    console.Finish();
    bSignalled = bSignalled || StopSignalled().load();
    return ExitStatus(console.Results(), bSignalled);
}
