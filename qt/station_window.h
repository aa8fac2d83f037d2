#pragma once
#include "job/job_result.h"
#include "qt/run_gui.h"
#include "station/station_settings.h"

// The operator's window (bGang: the gang window over the [slotN] sections, identities from the
// pools) on a station's settings with tovar.cfg applied: opens the record, makes the boot monitor's
// backend on the station's ports and runs the window until it is closed. pStartIdentity: the
// fields' first texts (the demo's sample board). Returns the exit status.
int RunStationWindow(const StationSettings& station, const GuiRunOptions& run, bool bGang,
                     const JobIdentity* pStartIdentity = nullptr);
