#pragma once
#include <CLI/CLI.hpp>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/log_text.h"
#include "cli/option_checks.h"
#include "station/station_config.h"
#include "station/station_settings.h"

// Options shared by the subcommands; command-line values win over tovar.cfg.
struct CommonOptions : StationSettings {
    std::map<std::string, std::vector<CLI::Option*>> given;  // options by name, to tell what was typed
};

struct CommandRunner {
    CLI::App* pCommand = nullptr;
    std::function<int()> fnRun;
};

// True when the named shared option was typed on the command line.
bool GivenOnCommandLine(const CommonOptions& options, const std::string& strName);

// The options typed on the command line.
StationGiven GivenOptions(const CommonOptions& options);

// Applies tovar.cfg to the options where the command line did not give a value (see station_config.h).
bool ApplyStationConfig(CommonOptions& options, std::string& strError);

// The groups of shared options; a subcommand takes only those that apply to it. --workdir is always there.
enum CommonOptionSet : unsigned {
    kPortMapOptions = 1u << 0,    // --ports
    kEndpointOptions = 1u << 1,   // --board-ip, --board-port, --local-port, --bind
    kTransferOptions = 1u << 2,   // --settle-ms, --reply-timeout-ms, --store-timeout-ms, --tries
    kBringUpOptions = 1u << 3,    // --console-timeout-s, --monitor-wait-s
    kRecordOptions = 1u << 4,     // --record, --record-timeout-ms
    kHoldOptions = 1u << 5,       // --station, --hold-minutes (who holds a value, and how long)
    kJobOutputOptions = 1u << 6,  // --no-record, --log-dir
    kJobOptions = 0x7fu,          // a command that runs boards: all of them
};

// Adds the shared options of the groups in nSets to a subcommand.
void AddCommonOptions(CLI::App& cmd, CommonOptions& options, unsigned nSets = kJobOptions);

// One exit status of a command and what it means, for the --help footer.
struct ExitStatusText {
    int nStatus;
    const char* szMeaning;
};

// Ends a subcommand's --help with an example line and its exit statuses.
void SetHelpFooter(CLI::App& cmd, const std::string& strExample, const std::vector<ExitStatusText>& statuses);

// tovar transfer: only the image transfer.
void AddTransferCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners);

// tovar record ... and tovar pool ...
void AddRecordCommands(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners);

// Adds every subcommand but the window's (cmd_gui.h) and the demo; each registers its runner.
void RegisterCommands(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners);
