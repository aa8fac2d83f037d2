#pragma once
#include <string>
#include <vector>

#include "cli/commands.h"
#include "line/gang_settings.h"

struct GangOptions {
    std::vector<int> slots;         // N of the [slotN] sections to run; empty: all
    bool bNext = false;             // identities from the record's pools
    std::string strMac;             // one identity typed in: a single slot only
    std::string strFactory;
    std::string strReg;
    std::string strMonitorPort;     // the boot monitor's USB port: a single slot only
    bool bLoop = false;             // each slot waits for its next board and starts by itself
    int nCount = 0;                 // boards per slot with --loop; 0: until Ctrl+C
    int nPollMs = 500;              // period of the wait for the next board
    std::vector<int> select;        // file-table slots to send; empty: as configured
    int nJobTimeoutS = 600;
    std::string strJsonPath;        // one result per line; "-": standard output
    bool bQuiet = false;            // no status lines, no progress lines
};

void AddGangCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners);

// Runs the chosen slots of tovar.cfg at once. Exit status: 0 every job installed, 1 a job did not,
// 2 refused before any job ran (or every job refused), 3 stopped by Ctrl+C.
int RunGang(const CommonOptions& options, const GangOptions& gang);

