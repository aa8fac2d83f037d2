#include "cli/stop_signal.h"

#include <signal.h>

namespace {
std::atomic<int> g_bStopSignalled{0};

void OnStopSignal(int) { g_bStopSignalled = 1; }
}  // namespace

void InstallStopSignals()
{
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

const std::atomic<int>& StopSignalled() { return g_bStopSignalled; }
