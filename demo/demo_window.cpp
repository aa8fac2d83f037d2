#include <iostream>

#include "demo/cmd_demo.h"
#ifdef TOVAR_GUI
#include "qt/station_window.h"
#endif

int RunDemoWindow(const CommonOptions& station, const DemoOptions& demo, bool bGang, const JobIdentity* pStartIdentity)
{
#ifdef TOVAR_GUI
    GuiRunOptions run;
    run.bStartJob = demo.window.bStartJob;
    run.strScreenshot = demo.window.strScreenshot;
    run.strScreenshotWhen = demo.window.strScreenshotWhen;
    run.nScreenshotAfterMs = demo.window.nScreenshotAfterMs;
    run.strBuildText = station.strToolVersion;
    run.strLang = demo.window.strLang;
    return RunStationWindow(station, run, bGang, pStartIdentity);
#else
    (void)station, (void)demo, (void)bGang, (void)pStartIdentity;
    std::cerr << "tovar demo: no window in this build\n";
    return 2;
#endif
}
