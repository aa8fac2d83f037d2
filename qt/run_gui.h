#pragma once
#include <atomic>
#include <string>

#include "line/gang_control.h"
#include "ui/tovardlg.h"
#include "samba/at91_backend.h"

// How the window is run; the defaults are the operator's plain start.
struct GuiRunOptions {
    std::string strStartupLog;       // appended to the log once the dialog has started (station notes)
    bool bStartJob = false;          // once shown: choose the first device and press download
    std::string strScreenshot;       // save a PNG of the window there, then end through Exit
    std::string strScreenshotWhen;   // ... as soon as the log holds this text
    int nScreenshotAfterMs = 2000;   // ... or when this much time has passed
    std::string strBuildText;        // version and commit for the About box
    std::string strLang;             // "en" or "zh"; empty: from the locale (window_language.h)
};

// Runs the operator's window until its dialog ends: the console's logic on fnBackendFactory's
// boot monitor. *pCancel (optional) is raised right before the Exit path runs, so the backend can
// end its waits early. Returns the process's exit status: 0, or non-zero when a screenshot was
// asked for and could not be taken (window not shown, file not written, awaited text missing).
int RunGui(At91BackendFactory fnBackendFactory, const TovarJobOptions& jobOptions, const GuiRunOptions& guiOptions,
           std::atomic<int>* pCancel = nullptr);

// Runs the gang station's window until it is closed; fnMakeControl makes the station it drives.
// With bStartJob every slot starts once the window shows; the screenshot waits until every slot's
// log holds strScreenshotWhen. Returns as RunGui does.
int RunGangGui(const GangControlFactory& fnMakeControl, const GuiRunOptions& guiOptions);

// The window cannot start (a bad tovar.cfg, no slot, no record): strWhy on stderr and, with a
// display, in a message box. Returns 2.
int ShowGuiStartError(const std::string& strWhy, const GuiRunOptions& guiOptions);
