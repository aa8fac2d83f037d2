#include "line/gang_slot.h"

#include <chrono>

#include "base/wall_clock.h"
#include "line/board_waiter.h"
#include "line/monitor_backend_factory.h"
#include "line/monitor_probe.h"
#include "serial/monitor_port_path.h"

namespace {

std::string SlotFolder(const GangSlotSetup& setup)
{
    return setup.options.strWorkDir + "/slots/slot" + std::to_string(setup.nSlot);
}

}  // namespace

CGangSlot::CGangSlot(const GangSlotSetup& setup, const GangSettings& settings, const GangHooks& hooks,
                     CStationRecord& record, IGangObserver& observer, std::function<void()> fnEnded)
    : m_Setup(setup),
      m_Settings(settings),
      m_Hooks(hooks),
      m_Record(record),
      m_Observer(observer),
      m_fnEnded(std::move(fnEnded))
{
    At91BackendFactory fnFactory = m_Hooks.fnBackend ? m_Hooks.fnBackend(m_Setup)
                                                     : MakeMonitorBackendFactory(m_Setup.options.portMap, nullptr);
    m_pRun = std::make_unique<CBoardRun>(static_cast<IBoardRunObserver&>(*this), &m_Record, fnFactory,
                                         JobLogDir(m_Setup.options), SlotFolder(setup));
}

CGangSlot::~CGangSlot()
{
    Stop();
    if (m_Thread.joinable())
        m_Thread.join();
    m_pRun.reset();
}

void CGangSlot::Start()
{
    m_Thread = std::thread(&CGangSlot::Run, this);
}

void CGangSlot::Stop()
{
    m_bStop = 1;
    m_pRun->Stop();
}

void CGangSlot::Run()
{
    std::unique_ptr<IBoardProbe> pProbe;
    IClock& clock = m_Hooks.pClock ? *m_Hooks.pClock : SystemClock();
    const std::string& strMonitorPort = m_Setup.options.strMonitorPort;
    if (m_Settings.bLoop && m_Hooks.fnProbe) {
        pProbe = m_Hooks.fnProbe(m_Setup, &m_bStop);
    } else if (m_Settings.bLoop && !strMonitorPort.empty()) {
        // The next board is there once its monitor's USB port appears and answers.
        CMonitorPortPath portPath(m_Setup.options.portMap.Resolver());
        pProbe = std::make_unique<CMonitorProbe>([portPath, strMonitorPort] { return portPath.PathNow(strMonitorPort); },
                                                 clock, &m_bStop, MonitorLimits(), MonitorLink::Usb);
    } else if (m_Settings.bLoop) {
        pProbe = std::make_unique<CMonitorProbe>(
            [map = m_Setup.options.portMap, n = m_Setup.nComPort] { return map.PathForPort(n); }, clock, &m_bStop);
    }
    std::unique_ptr<CBoardWaiter> pWaiter;
    if (pProbe)
        pWaiter = std::make_unique<CBoardWaiter>(*pProbe, m_Hooks.pClock ? *m_Hooks.pClock : SystemClock(),
                                                 m_Settings.nPollMs);
    int nBoards = 0;
    bool bGoneFirst = false;
    std::string strEndWhy;
    while (true) {
        if (m_bStop.load()) {
            strEndWhy = "stopped";
            break;
        }
        if (m_Settings.nCount > 0 && nBoards >= m_Settings.nCount) {
            strEndWhy = std::to_string(nBoards) + (nBoards == 1 ? " board" : " boards");
            break;
        }
        if (pWaiter) {
            Log("->等待下一块板 / Waiting for the next board on " + (strMonitorPort.empty() ? m_Setup.strPort : strMonitorPort) +
                ".\r\n");
            m_Observer.OnSlotWaiting(m_Setup.nSlot, true);
            bool bReady = pWaiter->WaitForBoard(bGoneFirst, m_bStop);
            m_Observer.OnSlotWaiting(m_Setup.nSlot, false);
            if (!bReady) {
                strEndWhy = "stopped";
                break;
            }
        }
        ++nBoards;
        if (!RunBoard(bGoneFirst, strEndWhy) || !m_Settings.bLoop) {
            if (strEndWhy.empty())
                strEndWhy = std::to_string(nBoards) + (nBoards == 1 ? " board" : " boards");
            break;
        }
    }
    // Ended before the last report, so a front end that hears of the end may start the slot again.
    m_bEnded = 1;
    m_Observer.OnSlotEnded(m_Setup.nSlot, m_bStop.load() ? std::string("stopped") : strEndWhy);
    if (m_fnEnded)
        m_fnEnded();
}

bool CGangSlot::RunBoard(bool& bGoneFirst, std::string& strEndWhy)
{
    m_Observer.OnSlotStage(m_Setup.nSlot, JobStage::Prepare);
    BoardRunRequest request;
    request.station = m_Setup.options;
    request.identity = m_Settings.identity;
    request.strPort = m_Setup.strPort;
    request.nComPort = m_Setup.nComPort;
    request.select = m_Settings.select;
    request.nJobTimeoutS = m_Settings.nJobTimeoutS;
    JobResult result;
    while (!m_pRun->Start(request, result)) {
        m_Observer.OnSlotResult(m_Setup.nSlot, result);
        // A record that does not answer is the station's fault, not the board's: a loop waits for
        // it with the board in place, and ends only when stopped.
        if (!m_Settings.bLoop || !HasFlag(result, kFlagRecordAway) || m_bStop.load()) {
            strEndWhy = "refused: " + result.strReason;
            return false;
        }
        Log("->生产记录无响应, 稍后重试 / The production record does not answer; trying again in " +
            std::to_string(m_Settings.nRecordRetryMs / 1000) + " s.\r\n");
        IClock& clock = m_Hooks.pClock ? *m_Hooks.pClock : SystemClock();
        for (int nWaitedMs = 0; nWaitedMs < m_Settings.nRecordRetryMs && !m_bStop.load(); nWaitedMs += 100)
            clock.SleepMs(100);
        if (m_bStop.load()) {
            strEndWhy = "stopped";
            return false;
        }
    }
    // A stop that came before the start reaches the job too.
    if (m_bStop.load())
        m_pRun->Stop();
    result = m_pRun->Wait(m_bStop);
    m_Observer.OnSlotResult(m_Setup.nSlot, result);
    if (LineCounts counts; m_Record.ShiftCountsAt(m_Setup.options.strShifts, WallNowMs(), counts))
        m_Observer.OnShiftCounts(counts);
    // Board after board failing on one slot points at the fixture, not the boards: the slot stops.
    if (result.verdict == JobVerdict::Failed || result.verdict == JobVerdict::ChipRejected)
        ++m_nFailuresInRow;
    else if (result.verdict == JobVerdict::Installed)
        m_nFailuresInRow = 0;
    const int nAlarm = m_Setup.options.nSlotAlarm;
    if (nAlarm > 0 && m_nFailuresInRow >= nAlarm) {
        m_Observer.OnSlotAlarm(m_Setup.nSlot, m_nFailuresInRow);
        strEndWhy = std::to_string(m_nFailuresInRow) + " failures in a row";
        return false;
    }
    // A board whose bring-up failed still answers its monitor: it must be taken away first.
    bGoneFirst = result.stage == JobStage::BringUp;
    if (!m_pRun->WorkerRunning()) {
        strEndWhy = "the job engine did not end after its job was stopped";
        return false;
    }
    return true;
}

void CGangSlot::Log(const std::string& strLine)
{
    if (!strLine.empty())
        m_Observer.OnSlotLog(m_Setup.nSlot, strLine);
}

void CGangSlot::OnRunIdentity(const JobIdentity& identity) { m_Observer.OnSlotBoard(m_Setup.nSlot, identity); }

void CGangSlot::OnJobLog(const std::string& strText) { m_Observer.OnSlotLog(m_Setup.nSlot, strText); }

void CGangSlot::OnJobDetail(const std::string& strText) { m_Observer.OnSlotDetail(m_Setup.nSlot, strText); }

void CGangSlot::OnJobProgress(const TransferProgress& progress) { m_Observer.OnSlotProgress(m_Setup.nSlot, progress); }

void CGangSlot::OnJobStage(JobStage stage) { m_Observer.OnSlotStage(m_Setup.nSlot, stage); }

// The slot reports the result itself once the wait has it, so its reports keep their order.
void CGangSlot::OnJobFinished(const JobResult& result) { (void)result; }
