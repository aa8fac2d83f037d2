#pragma once
#include <string>
#include <vector>

#include "app/cmd_gui.h"
#include "app/commands.h"

struct DemoOptions {
    bool bGui = false;               // run the job in the window instead of on standard output
    bool bKeep = false;              // keep the temporary working folder
    bool bGang = false;              // four virtual boards on a gang station
    GuiCommandOptions window;        // with --gui: start at once, screenshot
    std::vector<std::string> boardArgs;  // extra options for the virtual board
};

void AddDemoCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners);

// A whole job against the virtual board in a fresh folder; 0 only when the board stored every image.
int RunDemo(const CommonOptions& options, const DemoOptions& demo);

// Four virtual boards on a gang station with identities from the pools; 0 only when every board
// stored every image.
int RunDemoGang(const CommonOptions& options, const DemoOptions& demo);

// A fresh /tmp folder with the demo's station in it; false (said on stderr) when it cannot be made.
bool MakeDemoFolder(std::string& strDir);
// Removes the folder (unless kept) and says how the demo went; the demo's exit status.
int EndDemo(const std::string& strDir, bool bKeep, bool bOk, const std::string& strSuccess);
