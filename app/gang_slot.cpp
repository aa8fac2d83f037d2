#include "app/gang_slot.h"

#include <chrono>

#include "app/board_waiter.h"
#include "app/cli_job.h"
#include "app/job_preparation.h"
#include "app/job_wait.h"
#include "app/monitor_probe.h"
#include "app/station_probes.h"
#include "base/gbk_text.h"
#include "console/config_loader.h"

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
      m_fnEnded(std::move(fnEnded)),
      m_Manifest(SlotFolder(setup))
{
    At91BackendFactory fnFactory = m_Hooks.fnBackend ? m_Hooks.fnBackend(m_Setup)
                                                     : MakeMonitorBackendFactory(m_Setup.options, nullptr);
    m_pLogFile = std::make_unique<CJobLogFile>(static_cast<IJobObserver&>(*this), JobLogDir(m_Setup.options));
    m_pJob = std::make_unique<CJob>(*m_pLogFile, fnFactory);
}

CGangSlot::~CGangSlot()
{
    Stop();
    if (m_Thread.joinable())
        m_Thread.join();
    m_pJob.reset();
    m_pLogFile.reset();
}

void CGangSlot::Start()
{
    m_Thread = std::thread(&CGangSlot::Run, this);
}

void CGangSlot::Stop()
{
    m_bStop = 1;
    m_pJob->Stop();
}

void CGangSlot::Run()
{
    std::unique_ptr<IBoardProbe> pProbe;
    if (m_Settings.bLoop) {
        pProbe = m_Hooks.fnProbe ? m_Hooks.fnProbe(m_Setup, &m_bStop)
                                 : std::make_unique<CMonitorProbe>(
                                       [map = m_Setup.options.portMap, n = m_Setup.nComPort] { return map.PathForPort(n); },
                                       m_Hooks.pClock ? *m_Hooks.pClock : SystemClock(), &m_bStop);
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
            Log("->Waiting for the next board on " + m_Setup.strPort + ".\r\n");
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
    JobRequest request;
    request.strStation = m_Record.Station();
    request.port = {m_Setup.nComPort, m_Setup.options.portMap.PathForPort(m_Setup.nComPort)};
    request.strDevice = CComPortMap::FormatEntry(request.port);
    IdentityClaim claim;
    std::string strWhy;
    auto refuse = [&](const std::string& strReason) {
        Refuse(request, claim, strReason);
        strEndWhy = "refused: " + strReason;
        return false;
    };
    if (m_Settings.identity) {
        request.identity = *m_Settings.identity;
    } else {
        if (!m_Record.TakeNext(request.identity, strWhy))
            return refuse(strWhy);
        Log("->Identity from the pools: " + request.identity.strMac + " " + request.identity.strFactory + " " +
            request.identity.strReg + "\r\n");
    }
    m_Observer.OnSlotBoard(m_Setup.nSlot, request.identity);
    std::string strMac, strFactory, strReg;
    if (!Utf8ToGbk(request.identity.strMac, strMac) || !Utf8ToGbk(request.identity.strFactory, strFactory) ||
        !Utf8ToGbk(request.identity.strReg, strReg))
        return refuse("the identity holds characters that code page 936 cannot carry");
    // The form, then no value installed on another board or held by another running job.
    if (!m_Record.Guard(request.identity, m_Setup.strPort, claim, strWhy)) {
        Log(strWhy);
        return refuse("the identity was refused (see the log)");
    }
    if (claim.bReflash)
        Log("->The same board again with the same identity: recorded as a re-flash.\r\n");
    std::string strLog;
    FileEntry files[FILE_TABLE_SLOTS];
    bool bPrepared = PrepareStationRequest(m_Setup.options, m_Settings.select, request, files, strWhy, strLog) &&
                     CheckImageSums(m_Setup.options, request, strWhy, strLog);
    request.strStation = m_Record.Station();
    Log(strLog);
    if (!bPrepared)
        return refuse(strWhy);
    // The slot's own interface or local address; empty: the shared --bind.
    if (!m_Setup.strBind.empty())
        request.transfer.strBind = m_Setup.strBind;
    if (request.port.strPath.empty())
        return refuse(m_Setup.strPort + " has no serial device");
    if (!ProbeSerialPort(request.port.strPath, strWhy))
        return refuse(m_Setup.strPort + " cannot be opened: " + strWhy);
    // The board must never get another board's identity: no manifest, no job. The slot sends its
    // own ins.txt; the other images are read from the shared folder.
    if (!m_Manifest.Write(ImageFolderPath(m_Setup.options.strWorkDir), strFactory, strReg, strMac, files,
                          [this](const std::string& strLine) { Log(strLine); }, m_ManifestLock))
        return refuse("the slot's ins.txt was not written; nothing was sent");
    PointInsTxtAt(request.images, m_Manifest.InsPath());

    JobResult result;
    bool bEngineEnded = !RunJob(request, result);
    m_ManifestLock.Release();
    Report(result, claim);
    // A board whose bring-up failed still answers its monitor: it must be taken away first.
    bGoneFirst = result.stage == JobStage::BringUp;
    if (bEngineEnded) {
        strEndWhy = "the job engine did not end after its job was stopped";
        return false;
    }
    return true;
}

bool CGangSlot::RunJob(const JobRequest& request, JobResult& result)
{
    {
        std::lock_guard<std::mutex> lock(m_ResultMutex);
        m_Result.reset();
    }
    std::string strWhy;
    if (!m_pJob->Start(request, strWhy)) {
        result = ResultOfRequest(request);
        result.verdict = JobVerdict::Refused;
        result.strReason = strWhy;
        return m_pJob->WorkerRunning();
    }
    // A stop that came before the start reaches the job too.
    if (m_bStop.load())
        m_pJob->Stop();
    bool bEngineGivenUp = false;
    result = AwaitJobResult(
        *m_pJob, request, [this](int nMs) { return WaitResult(nMs); }, m_bStop, m_Settings.nJobTimeoutS,
        bEngineGivenUp);
    return !bEngineGivenUp;
}

void CGangSlot::Refuse(const JobRequest& request, const IdentityClaim& claim, const std::string& strReason)
{
    JobResult result = ResultOfRequest(request);
    result.strStation = m_Record.Station();
    result.verdict = JobVerdict::Refused;
    result.strReason = strReason;
    Report(result, claim);
}

void CGangSlot::Report(const JobResult& result, const IdentityClaim& claim)
{
    std::string strWarning;
    m_Record.Record(result, claim, strWarning);
    Log(strWarning);
    m_Observer.OnSlotResult(m_Setup.nSlot, result);
}

std::optional<JobResult> CGangSlot::WaitResult(int nMs)
{
    std::unique_lock<std::mutex> lock(m_ResultMutex);
    m_ResultCond.wait_for(lock, std::chrono::milliseconds(nMs), [this] { return m_Result.has_value(); });
    return m_Result;
}

void CGangSlot::Log(const std::string& strLine)
{
    if (!strLine.empty())
        m_Observer.OnSlotLog(m_Setup.nSlot, strLine);
}

void CGangSlot::OnJobLog(const std::string& strText) { m_Observer.OnSlotLog(m_Setup.nSlot, strText); }

void CGangSlot::OnJobDetail(const std::string& strText) { m_Observer.OnSlotDetail(m_Setup.nSlot, strText); }

void CGangSlot::OnJobProgress(const TransferProgress& progress) { m_Observer.OnSlotProgress(m_Setup.nSlot, progress); }

void CGangSlot::OnJobStage(JobStage stage) { m_Observer.OnSlotStage(m_Setup.nSlot, stage); }

void CGangSlot::OnJobFinished(const JobResult& result)
{
    std::lock_guard<std::mutex> lock(m_ResultMutex);
    m_Result = result;
    m_ResultCond.notify_all();
}
