#pragma once
#include <CLI/CLI.hpp>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "console/tovardlg.h"
#include "serial/com_port_map.h"

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
    std::string strLogDir;         // the boards' log files; empty: logs/ in the working folder
    std::string strBuildText;      // version and commit of this program, set by main
    CComPortMap portMap;  // the station's [ports] map (ApplyStationConfig)
    std::map<std::string, std::vector<CLI::Option*>> given;  // options by name, to tell what was typed
};

struct CommandRunner {
    CLI::App* pCommand = nullptr;
    std::function<int()> fnRun;
};

// True when the named shared option was typed on the command line.
bool GivenOnCommandLine(const CommonOptions& options, const std::string& strName);

// A log text for a terminal: "\r\n" line ends become "\n".
std::string CliText(const std::string& strLog);

// Adds the shared options to a subcommand.
void AddCommonOptions(CLI::App& cmd, CommonOptions& options);

// The folder of the boards' log files: --log-dir, [log] dir, or logs/ in the working folder.
std::string JobLogDir(const CommonOptions& options);

// The dialog's station settings from the shared options.
TovarJobOptions MakeJobOptions(const CommonOptions& options);

// The boot-monitor backend for real boards; pCancel ends its waits early when set.
At91BackendFactory MakeMonitorBackendFactory(const CommonOptions& options, const std::atomic<int>* pCancel);

// tovar transfer: only the image transfer.
void AddTransferCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners);

// Adds every subcommand; each registers its runner.
void RegisterCommands(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners);

// Without a subcommand: the operator's window, or a hint where there is none.
int RunDefault(const CommonOptions& options);
