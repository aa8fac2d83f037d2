#pragma once
#include <string>

#include "ui/tovardlg.h"

// Dialog options for tests: a working folder, a short exit wait where a test needs one.
inline TovarJobOptions TestOptions(const std::string& strWorkDir, int nExitWaitMs = 10000,
                                   PortResolver fnResolver = {})
{
    TovarJobOptions options;
    options.station.strWorkDir = strWorkDir;
    options.nExitWaitMs = nExitWaitMs;
    options.fnPortResolver = std::move(fnResolver);
    return options;
}
