#include <CLI/CLI.hpp>
#include <iostream>
#include <optional>

#include "cli/cmd_gui.h"
#include "cli/commands.h"
#include "cli/usage_error.h"
#include "demo/cmd_demo.h"
#ifdef TOVAR_GUI
#include "qt/station_window.h"
#endif

int main(int argc, char** argv)
{
    CLI::App app{"Tovar: installs the complete software of an AT91SAM9X25 board"};
    app.set_version_flag("--version", std::string("tovar ") + TOVAR_VERSION_TEXT);
    app.require_subcommand(0, 1);
    CommonOptions options;
    options.strToolVersion = TOVAR_VERSION_TEXT;
    WindowRunner fnWindow;
    std::string strLang;   // the windows' language (tovar --lang, tovar gui --lang)
#ifdef TOVAR_GUI
    fnWindow = [&strLang](const StationSettings& station, bool bGang) {
        GuiRunOptions run;
        run.strBuildText = station.strToolVersion;
        run.strLang = strLang;
        return RunStationWindow(station, run, bGang);
    };
#endif
    std::vector<CommandRunner> runners;
    RegisterCommands(app, options, runners);
    AddGuiCommand(app, options, runners, fnWindow);
#ifdef TOVAR_GUI
    const char* szLangHelp = "The window's language: en or zh (default: the locale's, LANG=en_* is English)";
    app.add_option("--lang", strLang, szLangHelp)->check(CLI::IsMember({"en", "zh"}));
    app.get_subcommand("gui")->add_option("--lang", strLang, szLangHelp)->check(CLI::IsMember({"en", "zh"}));
#endif
    AddDemoCommand(app, options, runners);
    if (std::optional<int> nStatus = ParseCommandLine(app, argc, argv, std::cout, std::cerr))
        return *nStatus;
    for (auto& runner : runners)
        if (runner.pCommand->parsed())
            return runner.fnRun();
    return RunGuiCommand(options, false, fnWindow);
}
