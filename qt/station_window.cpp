#include "qt/station_window.h"

#include <atomic>
#include <iostream>
#include <memory>

#include "line/gang_heartbeat.h"
#include "line/gang_plan.h"
#include "line/gang_station.h"
#include "line/monitor_backend_factory.h"
#include "line/record_options.h"

namespace {

// Every slot of tovar.cfg as a tile; each board's identity comes from the record's pools.
int RunGangWindow(const StationSettings& station, const GuiRunOptions& run)
{
    std::vector<GangSlotSetup> setups;
    std::string strError;
    CStationRecord record;   // outlives the window and its slots
    if (!PlanGangSlots(station, {}, setups, strError) || !OpenStationRecord(station, record, strError))
        return ShowGuiStartError(strError, run);
    // The station's heartbeat for the line view; it and the reports outlive the slots.
    std::unique_ptr<CHeartbeat> pHeartbeat;
    HeartbeatSettings heartbeat;
    if (HeartbeatOf(station, record, heartbeat)) {
        pHeartbeat = std::make_unique<CHeartbeat>(heartbeat);
        pHeartbeat->Start();
    }
    std::unique_ptr<CGangHeartbeat> pReports;
    return RunGangGui(
        [&](IGangObserver& observer) {
            pReports = std::make_unique<CGangHeartbeat>(observer, pHeartbeat.get());
            pReports->AddSlots(setups);
            auto pStation = std::make_unique<CGangStation>(*pReports, record);
            pStation->Plan(setups, GangSettings{});
            return std::unique_ptr<IGangControl>(std::move(pStation));
        },
        run);
}

}  // namespace

int RunStationWindow(const StationSettings& station, const GuiRunOptions& run, bool bGang,
                     const JobIdentity* pStartIdentity)
{
    if (bGang)
        return RunGangWindow(station, run);
    TovarJobOptions jobOptions = MakeJobOptions(station);
    if (pStartIdentity)
        jobOptions.startIdentity = *pStartIdentity;
    CStationRecord record;  // outlives the window
    std::string strError;
    if (!OpenStationRecord(station, record, strError)) {
        std::cerr << "tovar: " << strError << "\n";
        return 2;
    }
    jobOptions.pRecord = &record;
    std::atomic<int> bCancel{0};
    return RunGui(MakeMonitorBackendFactory(station.portMap, &bCancel), jobOptions, run, &bCancel);
}
