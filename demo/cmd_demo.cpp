#include "demo/cmd_demo.h"

#include <stdlib.h>

#include <filesystem>
#include <iostream>
#include <memory>

#include "demo/board_process.h"
#include "cli/cmd_flash.h"
#include "demo/demo_station.h"
#include "serial/com_port_map.h"

namespace {
constexpr int DEMO_PORT = 9;
constexpr int DEMO_SETTLE_MS = 500;
}  // namespace

void AddDemoCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners)
{
    auto demo = std::make_shared<DemoOptions>();
    CLI::App* pCmd = app.add_subcommand("demo", "A whole job against the virtual board, with sample images");
    pCmd->add_flag("--gui", demo->bGui, "Run the job in the operator's window");
    pCmd->add_flag("--keep", demo->bKeep, "Keep the temporary working folder");
    pCmd->add_flag("--gang", demo->bGang, "A gang station of four virtual boards, one job each (with --gui: the gang window)");
    pCmd->add_option("--gang-slots", demo->nGangSlots, "With --gang: this many virtual boards")
        ->check(WholeNumber(1, 99))
        ->capture_default_str();
    pCmd->add_flag("--start-job", demo->window.bStartJob, "With --gui: press download at once")->group("");
    pCmd->add_option("--lang", demo->window.strLang, "With --gui: the window's language, en or zh (default: the locale's)")
        ->check(CLI::IsMember({"en", "zh"}));
    pCmd->add_option("--screenshot", demo->window.strScreenshot, "With --gui: save a PNG and end")->group("");
    pCmd->add_option("--screenshot-when", demo->window.strScreenshotWhen, "... once the log holds this text")->group("");
    pCmd->add_option("--screenshot-after-ms", demo->window.nScreenshotAfterMs, "... or after this long")
        ->check(WholeNumber(0, 3600000))
        ->group("");
    pCmd->add_option("--board-arg", demo->boardArgs, "Extra option for the virtual board (repeatable)")
        ->allow_extra_args(false);
    AddCommonOptions(*pCmd, options);
    SetHelpFooter(*pCmd, "tovar demo --gang --keep",
                  {{0, "every image was stored intact"}, {1, "the job failed or an image differs"}, {2, "the demo could not be set up (usage, virtual board)"}});
    runners.push_back({pCmd, [&options, demo] { return RunDemo(options, *demo); }});
}

bool MakeDemoFolder(std::string& strDir)
{
    char szTemplate[] = "/tmp/tovar-demo-XXXXXX";
    if (!mkdtemp(szTemplate)) {
        std::cerr << "tovar demo: cannot make a temporary folder\n";
        return false;
    }
    strDir = szTemplate;
    std::string strError;
    if (!WriteDemoStation(strDir, strError)) {
        std::cerr << "tovar demo: " << strError << "\n";
        std::filesystem::remove_all(strDir);
        return false;
    }
    return true;
}

int RunDemo(const CommonOptions& options, const DemoOptions& demo)
{
    if (demo.bGang)
        return RunDemoGang(options, demo);
    std::string strDir;
    if (!MakeDemoFolder(strDir))
        return 2;
    const std::string strStore = strDir + "/board-store";
    std::string strError;
    std::filesystem::create_directories(strStore);
    std::vector<std::string> boardArgs = {"--udp-port", "0", "--store-dir", strStore, "--quiet", "--idle-exit-s", "600"};
    boardArgs.insert(boardArgs.end(), demo.boardArgs.begin(), demo.boardArgs.end());
    CBoardProcess board;
    if (!board.Start(CBoardProcess::ProgramBesideSelf(), boardArgs, 5000, strError)) {
        std::cerr << "tovar demo: " << strError << "\n";
        std::filesystem::remove_all(strDir);
        return 2;
    }

    // The station sees only the virtual board, as COM9.
    CComPortMap map;
    map.SetRoots(strDir + "/no-dev", strDir + "/no-sys");
    map.AddEntry(DEMO_PORT, board.TtyPath());
    CommonOptions station = options;
    station.portMap = map;
    station.strWorkDir = strDir;
    station.strBoardIp = "127.0.0.1";
    station.nBoardPort = board.UdpPort();
    station.nLocalPort = 0;
    if (!GivenOnCommandLine(station, "--settle-ms"))
        station.nSettleMs = DEMO_SETTLE_MS;
    std::cout << "demo: working folder " << strDir << "\n"
              << "demo: virtual board on " << board.TtyPath() << " (COM" << DEMO_PORT << "), UDP 127.0.0.1:"
              << board.UdpPort() << "\n";

    int nStatus = 0;
    if (demo.bGui) {
        const JobIdentity sample = {"^587675010202^587675010203", "12345678", "5A3C0001"};
        nStatus = RunDemoWindow(station, demo, false, &sample);
    } else {
        FlashOptions flash;
        flash.strPort = "COM" + std::to_string(DEMO_PORT);
        flash.nJobTimeoutS = 120;
        flash.strMac = "^587675010202^587675010203";
        flash.strFactory = "12345678";
        flash.strReg = "5A3C0001";
        nStatus = RunFlashJob(station, flash, "");
    }
    board.Stop();

    std::string strReport;
    bool bAllStored = CheckStoredImages(strDir, strStore, strReport);
    std::cout << strReport;
    return EndDemo(strDir, demo.bKeep, nStatus == 0 && bAllStored, "every image was stored intact");
}

int EndDemo(const std::string& strDir, bool bKeep, bool bOk, const std::string& strSuccess)
{
    if (!bKeep)
        std::filesystem::remove_all(strDir);
    else
        std::cout << "demo: kept " << strDir << "\n";
    std::cout << (bOk ? "demo: success, " + strSuccess + "\n" : std::string("demo: FAILED\n"));
    return bOk ? 0 : 1;
}
