#pragma once
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/qt/run_gui.h"

struct GuiCommandOptions {
    bool bSimBoard = false;          // in-process simulated boot monitor instead of the serial one
    bool bGang = false;              // the gang station's window over the [slotN] sections
    bool bStartJob = false;          // press download on the first device (gang: start every slot) once shown
    std::string strScreenshot;       // save a PNG of the window and end (for CI)
    std::string strScreenshotWhen;   // ... once the log holds this text
    int nScreenshotAfterMs = 2000;   // ... or after this long
};

void AddGuiCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners);

// How the window runs, as the command's options say.
GuiRunOptions RunOptionsOf(const CommonOptions& options, const GuiCommandOptions& gui);

// The operator's window (or the gang window); without the Qt front end in the build, a hint and status 2.
int RunGuiCommand(const CommonOptions& options, const GuiCommandOptions& gui);
