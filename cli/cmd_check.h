#pragma once
#include <string>
#include <vector>

#include "cli/commands.h"

struct CheckOptions {
    std::string strPort;        // "COMn"; empty: the port is not checked
    std::vector<int> select;    // slots a job would send; empty: as configured
    bool bJson = false;         // the findings as one JSON object
};

void AddCheckCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners);

// A dry run: checks the station, the images, the port and the network a job would use, and the
// machine's serial set-up for the serial devices among them, touching no board. One line per check
// on standard output; 0 when all pass, 2 otherwise.
int RunCheck(const CommonOptions& options, const CheckOptions& check);
