#pragma once
#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <vector>

// Options shared by the subcommands; command-line values win over tovar.cfg.
struct CommonOptions {
    std::string strWorkDir = ".";
    std::string strBoardIp;
    int nBoardPort = 1000;
    int nLocalPort = 1000;
    int nSettleMs = 10000;
    int nReplyTimeoutMs = 500;
    int nStoreTimeoutMs = 60000;
    int nTries = 5;
    std::string strPortsFile;
};

struct CommandRunner {
    CLI::App* pCommand = nullptr;
    std::function<int()> fnRun;
};

// Adds every subcommand; each registers its runner.
void RegisterCommands(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners);

// Without a subcommand: the operator's window, or a hint where there is none.
int RunDefault(const CommonOptions& options);
