#include <CLI/CLI.hpp>

#include "app/commands.h"

int main(int argc, char** argv)
{
    CLI::App app{"Tovar: installs the complete software of an AT91SAM9X25 board"};
    app.require_subcommand(0, 1);
    CommonOptions options;
    std::vector<CommandRunner> runners;
    RegisterCommands(app, options, runners);
    CLI11_PARSE(app, argc, argv);
    for (auto& runner : runners)
        if (runner.pCommand->parsed())
            return runner.fnRun();
    return RunDefault(options);
}
