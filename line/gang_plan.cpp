#include "line/gang_plan.h"

#include <algorithm>

#include "line/board_steps.h"
#include "line/gang_station.h"
#include "station/config_loader.h"
#include "station/selected_images.h"
#include "station/station_config.h"
#include "station/station_probes.h"
#include "station/station_slots.h"

namespace {

// The chosen slots in the order of tovar.cfg; false with strWhy for a number that is not there.
bool ChooseSlots(const std::vector<StationSlot>& all, const std::vector<int>& wanted, std::vector<StationSlot>& chosen,
                 std::string& strWhy)
{
    chosen.clear();
    for (const StationSlot& slot : all)
        if (wanted.empty() || std::count(wanted.begin(), wanted.end(), slot.nSlot) > 0)
            chosen.push_back(slot);
    for (int nSlot : wanted) {
        if (std::none_of(all.begin(), all.end(), [nSlot](const StationSlot& slot) { return slot.nSlot == nSlot; })) {
            strWhy = "--slots " + std::to_string(nSlot) + ": tovar.cfg has no [slot" + std::to_string(nSlot) + "]";
            return false;
        }
    }
    return true;
}

}  // namespace

bool PlanGangSlots(const StationSettings& station, const std::vector<int>& wanted, std::vector<GangSlotSetup>& setups,
                   std::string& strWhy)
{
    std::vector<StationSlot> all, chosen;
    if (!ReadStationSlots(station.strWorkDir, all, strWhy))
        return false;
    if (all.empty()) {
        strWhy = StationConfigPath(station.strWorkDir) + " has no [slotN] sections (port=COMn or a device path)";
        return false;
    }
    return ChooseSlots(all, wanted, chosen, strWhy) && CGangStation::PlanSlots(station, chosen, setups, strWhy);
}

bool CheckSharedStation(const StationSettings& station, const std::vector<int>& select, std::string& strWhy)
{
    BoardFileTable table;
    std::string strLog, strEntryLog;
    if (!LoadBoardFiles(station, std::nullopt, select, table, strLog, strEntryLog, strWhy))
        return false;
    std::vector<TransferImage> images =
        SelectedImages(table.files, table.nFileCount, ImageFolderPath(station.strWorkDir));
    ImageSumsReport sums;
    if (!CheckImageDigests(station, images, sums, strLog, strWhy) || !CheckImagesReadable(images, strWhy))
        return false;
    uint64_t nSize = 0;
    if (!ProbeReadableFile(ImageFolderPath(station.strWorkDir) + "/ins.txt", nSize, strWhy)) {
        strWhy = "the shared ins.txt: " + strWhy;
        return false;
    }
    return true;
}
