#pragma once
#include "cli/commands.h"

// tovar line: the line view over HTTP.
void AddLineCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners);
