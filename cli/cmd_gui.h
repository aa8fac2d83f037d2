#pragma once
#include <functional>
#include <vector>

#include "cli/commands.h"

// Shows the operator's window (bGang: the gang window) on the station's settings until it is
// closed; the program gives it when it has a window toolkit. Returns the exit status.
using WindowRunner = std::function<int(const StationSettings& station, bool bGang)>;

void AddGuiCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners,
                   const WindowRunner& fnWindow);

// tovar.cfg applied, then the window; without one in the build, a hint and status 2.
int RunGuiCommand(const CommonOptions& options, bool bGang, const WindowRunner& fnWindow);
