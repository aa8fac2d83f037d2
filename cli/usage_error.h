#pragma once
#include <CLI/CLI.hpp>
#include <optional>
#include <ostream>
#include <string>

// A usage error in the words of tovar's other refusals: the command, the option, the value given and
// the rule it breaks, e.g. "tovar flash: --board-port 99999: not a whole number 1 to 65535".
// app is the whole command line after the failed parse (which subcommands were reached).
std::string UsageErrorText(CLI::App& app, const CLI::ParseError& error);

// Parses the command line. Empty: a command is to run. Otherwise the exit status to end with: 0
// after --help or --version (printed on out), 2 after a usage error (its text on err).
std::optional<int> ParseCommandLine(CLI::App& app, int argc, const char* const* argv, std::ostream& out,
                                    std::ostream& err);
