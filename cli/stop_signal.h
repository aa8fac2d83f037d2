#pragma once
#include <atomic>

// Ctrl+C or SIGTERM during a job raises this flag, so the job can stop as with the Stop button.
// (A tool such as timeout may deliver one interrupt twice, so repeats only raise the flag again.)
void InstallStopSignals();
const std::atomic<int>& StopSignalled();
