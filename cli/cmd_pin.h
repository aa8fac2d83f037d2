#pragma once
#include <ostream>
#include <string>

#include "cli/commands.h"

// tovar pin set: the engineer's PIN for the window's settings, as a salted digest in tovar.cfg.
void AddPinCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners);

// Reads the PIN from nInFd (twice and without echo on a terminal, else its first line) and
// writes [line] engineer-pin= into strWorkDir's tovar.cfg, keeping the rest of the file.
// Prompts and the outcome go to err. 0 when written, 2 when refused or not written.
int RunPinSet(const std::string& strWorkDir, int nInFd, std::ostream& err);
