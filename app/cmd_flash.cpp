#include "app/cmd_flash.h"

#include <cstdio>
#include <iostream>
#include <memory>

#include "app/cli_view.h"
#include "app/station_config.h"
#include "app/stop_signal.h"
#include "console/tovardlg.h"
#include "samba/at91_sim_board.h"

void AddFlashCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners)
{
    auto flash = std::make_shared<FlashOptions>();
    CLI::App* pCmd = app.add_subcommand("flash", "One download job without a window");
    pCmd->add_option("--port", flash->strPort, "Serial port of the board, as COMn")->required();
    pCmd->add_option("--mac", flash->strMac, "Two MAC addresses, ^XXXXXXXXXXXX^XXXXXXXXXXXX")->required();
    pCmd->add_option("--factory", flash->strFactory, "Factory number (at most 8 bytes)");
    pCmd->add_option("--reg", flash->strReg, "Registration number (at most 8 bytes)");
    pCmd->add_option("--select", flash->select, "File-table slots to send, e.g. 0,1,2")->delimiter(',');
    pCmd->add_option("--job-timeout-s", flash->nJobTimeoutS, "Give up after this many seconds")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    pCmd->add_flag("--sim-monitor", flash->bSimBoard, "Use an in-process simulated boot monitor");
    AddCommonOptions(*pCmd, options);
    runners.push_back({pCmd, [&options, flash] { return RunFlash(options, *flash); }});
}

namespace {

const char* OutcomeText(JobOutcome outcome)
{
    switch (outcome) {
    case JobOutcome::Installed:
        return "installed";
    case JobOutcome::InstallFailed:
        return "a file was not stored";
    case JobOutcome::ChipRejected:
        return "the chip was rejected";
    case JobOutcome::Ended:
        return "the transfer ended early";
    case JobOutcome::Stopped:
        return "the job was stopped";
    case JobOutcome::None:
        break;
    }
    return "the job did not finish in time";
}

}  // namespace

int RunFlash(const CommonOptions& options, const FlashOptions& flash)
{
    CommonOptions station = options;
    std::string strReport = ApplyStationConfig(station);
    return RunFlashJob(station, flash, strReport);
}

int RunFlashJob(const CommonOptions& station, const FlashOptions& flash, const std::string& strStartupLog)
{
    CCliView view(flash.strMac, flash.strFactory, flash.strReg, flash.strPort);
    view.AppendLog(strStartupLog);
    CAt91SimBoard simBoard;
    simBoard.SetDevices({flash.strPort});
    TovarJobOptions jobOptions = MakeJobOptions(station);
    std::atomic<int> bCancel{0};
    At91BackendFactory fnFactory = flash.bSimBoard ? simBoard.Factory() : MakeMonitorBackendFactory(station, &bCancel);
    CTovarDlg dlg(view, fnFactory, SystemClock(), jobOptions);
    dlg.OnInitDialog();
    if (view.GetCurSel() < 0) {
        std::cerr << "tovar flash: " << flash.strPort << " is not among the serial devices found\n";
        dlg.OnCancel();
        return 2;
    }
    ApplySelection(dlg.m_Files, flash.select);
    dlg.OnOK();
    if (dlg.m_nJobsStarted.load() == 0) {
        std::cerr << "tovar flash: the job was not started (see the log)\n";
        dlg.OnCancel();
        return 2;
    }
    // Wait for the outcome in slices, so Ctrl+C acts as the Stop button.
    InstallStopSignals();
    JobOutcome outcome = JobOutcome::None;
    bool bStopped = false;
    // The Stop only acts in the transfer: when no outcome follows soon, the job is given up.
    constexpr int STOP_GRACE_MS = 3000;
    int nStoppedAtMs = 0;
    for (int nWaitedMs = 0; outcome == JobOutcome::None && nWaitedMs < flash.nJobTimeoutS * 1000; nWaitedMs += 50) {
        if (StopSignalled().load() && !bStopped) {
            bStopped = true;
            nStoppedAtMs = nWaitedMs;
            dlg.OnStop();
        }
        if (bStopped && nWaitedMs - nStoppedAtMs > STOP_GRACE_MS) {
            outcome = JobOutcome::Stopped;
            break;
        }
        outcome = dlg.WaitJobOutcome(50);
    }
    bCancel = 1;
    dlg.OnCancel();
    if (outcome == JobOutcome::Installed)
        return 0;
    std::cerr << "tovar flash: " << OutcomeText(outcome) << "\n";
    return 1;
}
