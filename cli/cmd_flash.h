#pragma once
#include <string>
#include <vector>

#include "cli/commands.h"

struct FlashOptions {
    std::string strPort;            // "COMn"
    std::string strMonitorPort;     // the boot monitor's USB port; empty: on strPort
    std::string strMac;
    std::string strFactory;
    std::string strReg;
    std::vector<int> select;        // slots to send; empty: as configured
    int nJobTimeoutS = 600;
    std::string strJsonPath;        // the result as JSON; "-": standard output
    bool bNext = false;             // the identity from the record's pools
    bool bQuiet = false;            // no progress line
};

void AddFlashCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners);

// One job, log on standard output; the exit status of its verdict (0 only when every selected file was stored).
int RunFlash(const CommonOptions& options, const FlashOptions& flash);

// The same with the station's settings already applied (port map set); a non-empty
// strStationError (why they could not be) refuses the job.
int RunFlashJob(const CommonOptions& station, const FlashOptions& flash, const std::string& strStationError);
