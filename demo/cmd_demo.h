#pragma once
#include <string>
#include <vector>

#include "cli/commands.h"
#include "job/job_result.h"

// The demo's window: pressed at once and pictured, for CI and screenshots.
struct DemoWindowOptions {
    bool bStartJob = false;          // press download on the first device (gang: start every slot) once shown
    std::string strScreenshot;       // save a PNG of the window and end
    std::string strLang;             // the window's language: "en", "zh"; empty: the locale's
    std::string strScreenshotWhen;   // ... once the log holds this text
    int nScreenshotAfterMs = 20000;  // ... or after this long
};

struct DemoOptions {
    bool bGui = false;               // run the job in the window instead of on standard output
    bool bKeep = false;              // keep the temporary working folder
    bool bGang = false;              // four virtual boards on a gang station
    int nGangSlots = 4;              // ... or this many
    DemoWindowOptions window;        // with --gui: start at once, screenshot
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

// The window (bGang: the gang window) on the demo's station, tovar.cfg applied; without a window
// in the build, a hint and status 2.
int RunDemoWindow(const CommonOptions& station, const DemoOptions& demo, bool bGang, const JobIdentity* pStartIdentity);
