#pragma once
#include <CLI/CLI.hpp>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "console/tovardlg.h"
#include "net/transfer_frame.h"
#include "serial/com_port_map.h"

// Options shared by the subcommands; command-line values win over tovar.cfg.
struct CommonOptions {
    std::string strWorkDir = ".";
    std::string strBoardIp = BOARD_IP;
    int nBoardPort = 1000;
    int nLocalPort = 1000;
    int nSettleMs = 10000;
    int nReplyTimeoutMs = 500;
    int nStoreTimeoutMs = 60000;
    int nTries = 5;
    std::string strBind;  // empty: all interfaces; an interface name or a local IPv4 address
    std::string strPortsFile;
    std::string strLogDir;         // the boards' log files; empty: logs/ in the working folder
    std::string strBuildText;      // version and commit of this program, set by main
    CComPortMap portMap;  // the station's [ports] map (ApplyStationConfig)
    std::string strRecord;   // the production record: postgresql://... or an SQLite file; empty: tovar.db
    bool bNoRecord = false;
    std::string strStation;  // empty: the host name
    int nHoldMinutes = 30;
    std::string strToolVersion;  // "1.0 (commit ...)", set by main
    std::map<std::string, std::vector<CLI::Option*>> given;  // options by name, to tell what was typed
};

// A shared option that tovar.cfg's [net] section may give too (key: the name without "--"), with
// the rule its value must keep on the command line and in the file alike.
struct NetOptionRule {
    std::string strName;                               // "--settle-ms"
    std::string strHelp;
    int CommonOptions::*pnValue = nullptr;             // a whole number, or
    std::string CommonOptions::*pstrValue = nullptr;   // a text
    CLI::Validator validator;
};

// The [net] options in the order --help shows them.
std::vector<NetOptionRule> NetOptionRules();

// Accepts what --bind takes: an interface name (no dots) or a dotted IPv4 address.
CLI::Validator BindTarget();

// Accepts "COM1" to "COM99" (any case), the names the port map gives.
CLI::Validator ComPortName();

struct CommandRunner {
    CLI::App* pCommand = nullptr;
    std::function<int()> fnRun;
};

// True when the named shared option was typed on the command line.
bool GivenOnCommandLine(const CommonOptions& options, const std::string& strName);

// A log text for a terminal: "\r\n" line ends become "\n".
std::string CliText(const std::string& strLog);

// Adds the shared options to a subcommand.
// bStationOption false: the command has a --station of its own.
void AddCommonOptions(CLI::App& cmd, CommonOptions& options, bool bStationOption = true);

// The folder of the boards' log files: --log-dir, [log] dir, or logs/ in the working folder.
std::string JobLogDir(const CommonOptions& options);

// The dialog's station settings from the shared options.
TovarJobOptions MakeJobOptions(const CommonOptions& options);

// The boot-monitor backend for real boards; pCancel ends its waits early when set.
At91BackendFactory MakeMonitorBackendFactory(const CommonOptions& options, const std::atomic<int>* pCancel);

// tovar transfer: only the image transfer.
void AddTransferCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners);

// tovar record ... and tovar pool ...
void AddRecordCommands(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners);

// Adds every subcommand; each registers its runner.
void RegisterCommands(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners);

// Without a subcommand: the operator's window, or a hint where there is none.
int RunDefault(const CommonOptions& options);
