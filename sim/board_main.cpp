// tovar-board: the virtual board as a program. Prints "tty=<path> udp=<ip>:<port>" on the first
// line of standard output, then serves until its parent process ends (seen within 50 ms), it gets
// SIGTERM, SIGINT or SIGHUP, or it has been idle for --idle-exit-s. With --boards N it serves N
// boards in turn on the same line and port (see CVirtualBoard).
#include <CLI/CLI.hpp>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "base/clock.h"
#include "sim/virtual_board.h"

namespace {

std::atomic<int> g_bQuit {0};

void OnSignal(int) { g_bQuit = 1; }

// A 32-bit number in decimal or with a 0x prefix.
bool ParseWord(const std::string& strText, uint32_t& nValue)
{
    if (strText.empty())
        return false;
    char* pEnd = nullptr;
    errno = 0;
    unsigned long long nParsed = std::strtoull(strText.c_str(), &pEnd, 0);
    if (errno != 0 || *pEnd != '\0' || nParsed > 0xFFFFFFFFull || strText[0] == '-')
        return false;
    nValue = static_cast<uint32_t>(nParsed);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    pid_t nParent = getppid();
    BoardConfig config;
    MonitorConfig& monitor = config.monitor;
    TransferConfig& transfer = config.transfer;
    std::string strChipId = "0x819A05A1", strAppletStatus = "0", strBootStatus = "0";
    int nIdleExitS = 600;
    bool bMonitorOnly = false, bTransferOnly = false, bQuiet = false;

    CLI::App app {"The virtual board: boot monitor and console on a pseudo-terminal, image transfer on UDP"};
    app.set_version_flag("--version", std::string("tovar-board ") + TOVAR_VERSION_TEXT);
    app.add_option("--link", config.strLinkPath, "Symbolic link to the pseudo-terminal (replaced if it is one)");
    app.add_option("--udp-ip", transfer.strIp, "IPv4 address of the image transfer")->capture_default_str();
    app.add_option("--udp-port", transfer.nPort, "UDP port of the image transfer (0: any free port)")
        ->capture_default_str()->check(CLI::Range(0, 65535));
    app.add_option("--store-dir", transfer.strStoreDir, "Folder for stored files (<id>.bin)")->capture_default_str();
    app.add_option("--chip-id", strChipId, "Chip identifier register value")->capture_default_str();
    app.add_option("--applet-status", strAppletStatus, "Status word of the low-level init applet")
        ->capture_default_str();
    app.add_option("--boot-status", strBootStatus, "Status word of the boot loader")->capture_default_str();
    app.add_option("--boot-delay-ms", monitor.nBootDelayMs, "From the boot loader's run to its console")
        ->capture_default_str()->check(CLI::NonNegativeNumber);
    app.add_flag("--silent-console", monitor.bSilentConsole, "The console never answers");
    app.add_option("--answer-after", monitor.nAnswerAfter, "Console bursts left unanswered first")
        ->capture_default_str()->check(CLI::NonNegativeNumber);
    app.add_option("--xmodem-naks", monitor.nNaksPerPacket, "NAKs for each XMODEM packet before taking it (-1: never)")
        ->capture_default_str();
    app.add_option("--hang-up-after-packets", monitor.nHangUpAfterPackets,
                   "Close the line after this many XMODEM packets (-1: never)")->capture_default_str();
    app.add_option("--loss", transfer.nLossPercent, "Percent of replies dropped")
        ->capture_default_str()->check(CLI::Range(0, 100));
    app.add_option("--seed", transfer.nSeed, "Seed for loss and corruption")->capture_default_str();
    app.add_option("--late-ms", transfer.nLateMs, "Delay of every reply")
        ->capture_default_str()->check(CLI::NonNegativeNumber);
    app.add_flag("--duplicate-replies", transfer.bDuplicateReplies, "Send every reply twice");
    app.add_option("--corrupt-replies", transfer.nCorruptPercent, "Percent of replies with a byte changed")
        ->capture_default_str()->check(CLI::Range(0, 100));
    app.add_option("--fail-at-frame", transfer.nFailAtFrame, "Data frame number answered with a failure status")
        ->check(CLI::Range(0, 65535));
    app.add_flag("--store-fail", transfer.bStoreFail, "Answer every store command with a failure status");
    app.add_flag("--store-silent", transfer.bStoreSilent, "Never carry out or answer a store command");
    app.add_flag("--reply-from-other-port", transfer.bReplyFromOtherPort, "Send replies from a second port");
    app.add_option("--boards", config.nBoards,
                   "Boards served in turn: a finished board is swapped for a fresh one (files in board<k>/)")
        ->capture_default_str()->check(CLI::PositiveNumber);
    app.add_option("--swap-delay-ms", config.nSwapDelayMs,
                   "A board is finished once its console answered, a store was answered and no datagram came for this long")
        ->capture_default_str()->check(CLI::NonNegativeNumber);
    app.add_option("--idle-exit-s", nIdleExitS, "Exit after this long without traffic (0: never)")
        ->capture_default_str()->check(CLI::NonNegativeNumber);
    auto* pMonitorOnly = app.add_flag("--monitor-only", bMonitorOnly, "Serve only the serial line");
    app.add_flag("--transfer-only", bTransferOnly, "Serve only the image transfer")->excludes(pMonitorOnly);
    app.add_flag("--quiet", bQuiet, "No event lines on standard error");
    app.add_flag("--booted", config.bBooted,
                 "The first board's boot loader runs already, so it answers UDP at once (a transfer alone); "
                 "otherwise a board answers UDP only once its boot loader runs");
    CLI11_PARSE(app, argc, argv);

    if (!ParseWord(strChipId, monitor.nChipId) || !ParseWord(strAppletStatus, monitor.nAppletStatus) ||
        !ParseWord(strBootStatus, monitor.nBootStatus)) {
        std::cerr << "tovar-board: --chip-id, --applet-status and --boot-status take a 32-bit number\n";
        return 2;
    }
    config.bMonitor = !bTransferOnly;
    config.bTransfer = !bMonitorOnly;
    if (config.nBoards > 1 && bMonitorOnly) {
        std::cerr << "tovar-board: --boards needs the image transfer: a board is finished by its stores\n";
        return 2;
    }

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    // It ends with the process that started it: the loop below watches the parent's identity.
    // (A parent-death signal would follow the starting thread, not the process.)
    if (getppid() != nParent)
        return 0;

    CVirtualBoard board(config);
    if (!bQuiet)
        board.SetLog([](const std::string& strLine) { std::fprintf(stderr, "tovar-board: %s\n", strLine.c_str()); });
    std::string strError;
    if (!board.Start(strError)) {
        std::cerr << "tovar-board: " << strError << "\n";
        return 1;
    }
    std::printf("%s\n", board.StatusLine().c_str());
    std::fflush(stdout);

    const int nSliceMs = 50;
    while (!g_bQuit.load() && getppid() == nParent) {
        SystemClock().SleepMs(nSliceMs);
        uint64_t nNow = SystemClock().NowMs();
        uint64_t nLast = board.LastActivityMs();  // may be a little later than nNow
        if (nIdleExitS > 0 && nNow > nLast && nNow - nLast > uint64_t(nIdleExitS) * 1000) {
            if (!bQuiet)
                std::fprintf(stderr, "tovar-board: idle for %d s, exiting\n", nIdleExitS);
            break;
        }
    }
    board.Stop();
    return 0;
}
