#include "app/commands.h"

#include <iostream>

#include "app/cmd_flash.h"
#include "app/cmd_gui.h"

void AddCommonOptions(CLI::App& cmd, CommonOptions& options)
{
    cmd.add_option("--workdir", options.strWorkDir, "Working directory (KX30T/, tcl_lib/)");
    cmd.add_option("--board-ip", options.strBoardIp, "IPv4 address of the board's boot loader");
    cmd.add_option("--board-port", options.nBoardPort, "UDP port of the board");
    cmd.add_option("--local-port", options.nLocalPort, "Local UDP port (0: any free port)");
    cmd.add_option("--settle-ms", options.nSettleMs, "Pause before the first frame");
    cmd.add_option("--reply-timeout-ms", options.nReplyTimeoutMs, "Time limit of a data frame's reply");
    cmd.add_option("--store-timeout-ms", options.nStoreTimeoutMs, "Time limit of a store command's reply");
    cmd.add_option("--tries", options.nTries, "Sends of a frame before the file fails");
    cmd.add_option("--ports", options.strPortsFile, "File with a [ports] section (COM3=/dev/ttyUSB0)");
}

TovarJobOptions MakeJobOptions(const CommonOptions& options)
{
    TovarJobOptions jobOptions;
    jobOptions.strWorkDir = options.strWorkDir == "." ? std::string() : options.strWorkDir;
    return jobOptions;
}

At91BackendFactory MakeMonitorBackendFactory(const CommonOptions& options, const std::atomic<int>* pCancel)
{
    (void)options;
    (void)pCancel;
    return {};
}

void RegisterCommands(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners)
{
    AddFlashCommand(app, options, runners);
    AddGuiCommand(app, options, runners);
}

int RunDefault(const CommonOptions& options) { return RunGuiCommand(options, GuiCommandOptions{}); }
