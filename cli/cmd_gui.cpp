#include "cli/cmd_gui.h"

#include <iostream>
#include <memory>

void AddGuiCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners,
                   const WindowRunner& fnWindow)
{
    auto pGang = std::make_shared<bool>(false);
    CLI::App* pCmd = app.add_subcommand("gui", "The operator's window (the default without a subcommand)");
    pCmd->add_flag("--gang", *pGang, "The gang station's window: one tile per [slotN] of tovar.cfg, "
                                     "identities from the record's pools");
    AddCommonOptions(*pCmd, options);
    SetHelpFooter(*pCmd, "tovar gui --gang", {{0, "the window was closed"}, {2, "no window could be opened (usage, tovar.cfg, no window in this build)"}});
    runners.push_back({pCmd, [&options, pGang, fnWindow] { return RunGuiCommand(options, *pGang, fnWindow); }});
}

int RunGuiCommand(const CommonOptions& options, bool bGang, const WindowRunner& fnWindow)
{
    if (!fnWindow) {
        std::cerr << "tovar: no window in this build (configured without TOVAR_GUI); see tovar --help\n";
        return 2;
    }
    CommonOptions station = options;
    std::string strError;
    if (!ApplyStationConfig(station, strError)) {
        std::cerr << "tovar: " << strError << "\n";
        return 2;
    }
    return fnWindow(station, bGang);
}
