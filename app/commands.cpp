#include "app/commands.h"

#include <iostream>

void RegisterCommands(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners)
{
    (void)app;
    (void)options;
    (void)runners;
}

int RunDefault(const CommonOptions& options)
{
    (void)options;
    std::cerr << "tovar: no window in this build; see tovar --help\n";
    return 2;
}
