#include "line/gang_station.h"

#include "base/wall_clock.h"
#include "line/board_steps.h"

#include <algorithm>
#include <chrono>

CGangStation::CGangStation(IGangObserver& observer, CStationRecord& record, GangHooks hooks)
    : m_Observer(observer), m_Record(record), m_Hooks(std::move(hooks))
{
}

CGangStation::~CGangStation()
{
    Stop();
    m_Slots.clear();   // each slot joins its thread
}

bool CGangStation::PlanSlots(const StationSettings& station, const std::vector<StationSlot>& slots,
                             std::vector<GangSlotSetup>& setups, std::string& strWhy)
{
    // One port map for all, so no two device paths get the same number.
    CComPortMap map = station.portMap;
    std::vector<int> ports;
    if (!AssignSlotPorts(map, slots, ports, strWhy))
        return false;
    setups.clear();
    for (size_t i = 0; i < slots.size(); ++i) {
        GangSlotSetup setup;
        setup.nSlot = slots[i].nSlot;
        setup.strPort = slots[i].strPort;
        setup.nComPort = ports[i];
        setup.options = SlotOptions(station, slots[i]);
        setup.options.portMap = map;
        setup.strBind = slots[i].strBind;
        setups.push_back(setup);
    }
    // Two sockets that can reach one board would send one slot's images to the other's board:
    // slots that share a board address need a link of their own each.
    for (size_t i = 0; i < setups.size(); ++i) {
        for (size_t j = i + 1; j < setups.size(); ++j) {
            const StationSettings& a = setups[i].options;
            const StationSettings& b = setups[j].options;
            const bool bOwnLinks =
                !setups[i].strBind.empty() && !setups[j].strBind.empty() && setups[i].strBind != setups[j].strBind;
            if (a.strBoardIp == b.strBoardIp && a.nBoardPort == b.nBoardPort && !bOwnLinks) {
                strWhy = "[slot" + std::to_string(setups[i].nSlot) + "] and [slot" + std::to_string(setups[j].nSlot) +
                         "] both reach the board at " + a.strBoardIp + ":" + std::to_string(a.nBoardPort) +
                         ": give each its own bind= (its own link), or each its own board-ip or board-port";
                return false;
            }
        }
    }
    return true;
}

bool CGangStation::Start(const std::vector<GangSlotSetup>& setups, const GangSettings& settings, std::string& strWhy)
{
    if (!m_Slots.empty()) {
        strWhy = "the gang has already run";
        return false;
    }
    if (setups.empty()) {
        strWhy = "no slot to run";
        return false;
    }
    Plan(setups, settings);
    for (const GangSlotSetup& setup : setups)
        if (!StartSlot(setup.nSlot, settings.bLoop, strWhy))
            return false;
    return true;
}

void CGangStation::Plan(std::vector<GangSlotSetup> setups, GangSettings settings)
{
    m_Setups = std::move(setups);
    m_Settings = std::move(settings);
}

std::vector<std::pair<int, std::string>> CGangStation::PlannedSlots() const
{
    std::vector<std::pair<int, std::string>> slots;
    for (const GangSlotSetup& setup : m_Setups)
        slots.emplace_back(setup.nSlot, setup.strPort);
    return slots;
}

bool CGangStation::SlotPortUsable(int nSlot) const
{
    for (const GangSlotSetup& setup : m_Setups) {
        if (setup.nSlot != nSlot)
            continue;
        ComPortEntry port;
        std::string strWhy;
        return ResolveBoardPort(setup.options, setup.strPort, setup.nComPort, false, {}, port, strWhy);
    }
    return false;
}

int CGangStation::ConsoleBoundS() const { return m_Setups.empty() ? 0 : m_Setups.front().options.nConsoleTimeoutS; }

bool CGangStation::ShiftCounts(LineCounts& counts)
{
    return !m_Setups.empty() && m_Record.ShiftCountsAt(m_Setups.front().options.strShifts, WallNowMs(), counts);
}

bool CGangStation::StartSlot(int nSlot, bool bLoop, std::string& strWhy)
{
    auto setup = std::find_if(m_Setups.begin(), m_Setups.end(),
                              [nSlot](const GangSlotSetup& planned) { return planned.nSlot == nSlot; });
    if (setup == m_Setups.end()) {
        strWhy = "there is no slot " + std::to_string(nSlot);
        return false;
    }
    auto before = std::find_if(m_Slots.begin(), m_Slots.end(), [nSlot](const auto& pSlot) { return pSlot->Slot() == nSlot; });
    if (before != m_Slots.end()) {
        if (!(*before)->Ended()) {
            strWhy = "slot " + std::to_string(nSlot) + " is still running";
            return false;
        }
        m_Slots.erase(before);   // joins its thread, which has made its last report
    }
    GangSettings settings = m_Settings;
    if (settings.bLoop != bLoop) {
        settings.bLoop = bLoop;
        settings.nCount = bLoop ? 0 : 1;
    }
    m_Slots.push_back(std::make_unique<CGangSlot>(*setup, settings, m_Hooks, m_Record, m_Observer, [this] {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Cond.notify_all();
    }));
    m_Slots.back()->Start();
    return true;
}

void CGangStation::Stop()
{
    for (auto& pSlot : m_Slots)
        pSlot->Stop();
}

bool CGangStation::StopSlot(int nSlot)
{
    for (auto& pSlot : m_Slots) {
        if (pSlot->Slot() == nSlot) {
            pSlot->Stop();
            return true;
        }
    }
    return false;
}

bool CGangStation::WaitEnded(int nMs)
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    return m_Cond.wait_for(lock, std::chrono::milliseconds(nMs), [this] {
        return std::all_of(m_Slots.begin(), m_Slots.end(), [](const auto& pSlot) { return pSlot->Ended(); });
    });
}
