#pragma once
#include <atomic>

// Ctrl+C or SIGTERM during a job raises this flag, so the job can stop as with the Stop button.
void InstallStopSignals();
const std::atomic<int>& StopSignalled();
