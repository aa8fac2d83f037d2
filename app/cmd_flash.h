#pragma once
#include <string>
#include <vector>

#include "app/commands.h"

struct FlashOptions {
    std::string strPort;            // "COMn"
    std::string strMac = "^587675010202^587675010203";
    std::string strFactory = "12345678";
    std::string strReg = "5A3C0001";
    std::vector<int> select;        // slots to send; empty: as configured
    int nJobTimeoutS = 600;
    bool bSimBoard = false;         // in-process simulated boot monitor
};

void AddFlashCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners);

// One job through the console logic, log on standard output; 0 only when every selected file was stored.
int RunFlash(const CommonOptions& options, const FlashOptions& flash);

// The same with the station's settings already applied (port map set); strStartupLog opens the log.
int RunFlashJob(const CommonOptions& station, const FlashOptions& flash, const std::string& strStartupLog);
