#pragma once
#include <CLI/CLI.hpp>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/log_text.h"
#include "station/station_config.h"
#include "station/station_settings.h"

// Options shared by the subcommands; command-line values win over tovar.cfg.
struct CommonOptions : StationSettings {
    std::map<std::string, std::vector<CLI::Option*>> given;  // options by name, to tell what was typed
};

// Accepts "COM1" to "COM99" (any case), the names the port map gives.
CLI::Validator ComPortName();

// Accepts what a monitor port may be: COMn, a device path or usb:<bus>-<port path>.
CLI::Validator MonitorPortName();

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

// Adds the shared options to a subcommand.
// bStationOption false: the command has a --station of its own.
void AddCommonOptions(CLI::App& cmd, CommonOptions& options, bool bStationOption = true);

// tovar transfer: only the image transfer.
void AddTransferCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners);

// tovar record ... and tovar pool ...
void AddRecordCommands(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners);

// Adds every subcommand but the window's (cmd_gui.h) and the demo; each registers its runner.
void RegisterCommands(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners);
