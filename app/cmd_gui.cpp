#include "app/cmd_gui.h"

#include <atomic>
#include <iostream>
#include <memory>

#include "app/cmd_gang.h"
#include "app/gang_station.h"
#include "app/record_options.h"
#include "app/station_config.h"
#include "sim/at91_sim_board.h"

void AddGuiCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners)
{
    auto gui = std::make_shared<GuiCommandOptions>();
    CLI::App* pCmd = app.add_subcommand("gui", "The operator's window (the default without a subcommand)");
    auto* pSim = pCmd->add_flag("--sim,--sim-monitor", gui->bSimBoard, "Use an in-process simulated boot monitor");
    pCmd->add_flag("--gang", gui->bGang, "The gang station's window: one tile per [slotN] of tovar.cfg, "
                                         "identities from the record's pools")
        ->excludes(pSim);
    // For CI and screenshots; not part of the operator's interface.
    pCmd->add_flag("--start-job", gui->bStartJob)->group("");
    pCmd->add_option("--screenshot", gui->strScreenshot)->group("");
    pCmd->add_option("--screenshot-when", gui->strScreenshotWhen)->group("");
    pCmd->add_option("--screenshot-after-ms", gui->nScreenshotAfterMs)->check(CLI::Range(0, 3600000))->group("");
    AddCommonOptions(*pCmd, options);
    runners.push_back({pCmd, [&options, gui] { return RunGuiCommand(options, *gui); }});
}

GuiRunOptions RunOptionsOf(const CommonOptions& options, const GuiCommandOptions& gui)
{
    GuiRunOptions run;
    run.bStartJob = gui.bStartJob;
    run.strScreenshot = gui.strScreenshot;
    run.strScreenshotWhen = gui.strScreenshotWhen;
    run.nScreenshotAfterMs = gui.nScreenshotAfterMs;
    run.strBuildText = options.strBuildText;
    return run;
}

#ifdef TOVAR_GUI

namespace {

// Every slot of tovar.cfg as a tile; each board's identity comes from the record's pools.
int RunGangWindow(const CommonOptions& options, const GuiCommandOptions& gui)
{
    CommonOptions station;
    std::vector<GangSlotSetup> setups;
    std::string strError;
    CStationRecord record;   // outlives the window and its slots
    if (!PlanGangSlots(options, {}, station, setups, strError) || !OpenStationRecord(station, record, strError))
        return ShowGuiStartError(strError, RunOptionsOf(options, gui));
    return RunGangGui(
        [&](IGangObserver& observer) {
            auto pStation = std::make_unique<CGangStation>(observer, record);
            pStation->Plan(setups, GangSettings{});
            return std::unique_ptr<IGangControl>(std::move(pStation));
        },
        RunOptionsOf(options, gui));
}

}  // namespace

int RunGuiCommand(const CommonOptions& options, const GuiCommandOptions& gui)
{
    if (gui.bGang)
        return RunGangWindow(options, gui);
    CommonOptions station = options;
    std::string strError;
    if (!ApplyStationConfig(station, strError)) {
        std::cerr << "tovar: " << strError << "\n";
        return 2;
    }
    TovarJobOptions jobOptions = MakeJobOptions(station);
    CStationRecord record;  // outlives the window
    if (!OpenStationRecord(station, record, strError)) {
        std::cerr << "tovar: " << strError << "\n";
        return 2;
    }
    jobOptions.pRecord = &record;
    CAt91SimBoard simBoard;  // outlives the window and every wrapper bound to it
    simBoard.SetDevices({"COM1 (simulated board)"});
    std::atomic<int> bCancel{0};
    At91BackendFactory fnFactory = MakeMonitorBackendFactory(station, &bCancel);
    if (gui.bSimBoard) {
        fnFactory = simBoard.Factory();
        // The simulated monitor has no console line behind it: never open a real port for it.
        jobOptions.fnPortResolver = [](int) { return std::string(); };
    }
    return RunGui(fnFactory, jobOptions, RunOptionsOf(options, gui), &bCancel);
}

#else

int RunGuiCommand(const CommonOptions& options, const GuiCommandOptions& gui)
{
    (void)options;
    (void)gui;
    std::cerr << "tovar: no window in this build (configured without TOVAR_GUI); see tovar --help\n";
    return 2;
}

#endif
