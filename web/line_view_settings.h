#pragma once
#include <string>

#include "station/shift_plan.h"

// What tovar line shows and how: the shifts, the pool warning, when a station is offline or a
// slot stuck ([line] of tovar.cfg).
struct LineViewSettings {
    CShiftPlan shifts;
    int nPoolWarn = 500;
    int nOfflineS = 15;
    int nStuckS = 120;
};
