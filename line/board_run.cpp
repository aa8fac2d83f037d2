#include "line/board_run.h"

#include <chrono>

#include "base/gbk_text.h"
#include "base/log_text.h"
#include "record/identity_format.h"
#include "station/config_loader.h"
#include "station/selected_images.h"

namespace {

constexpr size_t MAC_TEXT_BYTES = 26;
constexpr int kWaitSliceMs = 200;  // the stop flag is looked at this often; a stopped job ends the wait at once
constexpr int kStopGraceMs = 5000;   // a stopped job reports within about a second; this is the bound
constexpr const char* kSeeLog = "the identity was refused (see the log)";

}  // namespace

CBoardRun::CBoardRun(IBoardRunObserver& observer, CStationRecord* pRecord, At91BackendFactory fnFactory,
                     const std::string& strLogDir, std::string strSlotFolder, IClock& clock)
    : m_Observer(observer), m_pRecord(pRecord), m_strSlotFolder(std::move(strSlotFolder))
{
    if (!m_strSlotFolder.empty())
        m_pSlotManifest = std::make_unique<CSlotManifest>(m_strSlotFolder);
    m_pLogFile = std::make_unique<CJobLogFile>(static_cast<IJobObserver&>(*this), strLogDir);
    m_pJob = std::make_unique<CJob>(*m_pLogFile, std::move(fnFactory), clock);
}

CBoardRun::~CBoardRun()
{
    m_pJob->Quit(kStopGraceMs);
    m_pJob.reset();
    m_pLogFile.reset();
}

JobResult CBoardRun::ResultOfRequest(const JobRequest& request)
{
    JobResult result;
    result.identity = request.identity;
    result.strStation = request.strStation;
    result.nComPort = request.port.nPort;
    result.strDevicePath = request.port.strPath;
    result.strStartTime = result.strEndTime = IsoTimeNow();
    for (const TransferImage& image : request.images)
        result.images.push_back({image.nSlot, image.nId, image.strName, 0, {}, 0, 0, false});
    return result;
}

void CBoardRun::Log(const std::string& strText)
{
    if (strText.empty())
        return;
    m_strEarlierLog += strText;
    m_Observer.OnJobLog(strText);
}

bool CBoardRun::Refuse(const JobRequest& job, JobCause cause, const std::string& strReason, JobResult& refused)
{
    refused = ResultOfRequest(job);
    refused.verdict = JobVerdict::Refused;
    refused.stage = JobStage::Prepare;
    refused.strReason = strReason;
    refused.cause = cause;
    if (!job.bBringUp)
        AddFlag(refused, kFlagTransfer);
    if (m_pRecord) {
        // A record that did not answer is a station fault: a loop waits for it instead of ending.
        const bool bAway = (cause == JobCause::IdentityRefused || cause == JobCause::PoolEmpty) && m_pRecord->Away();
        if (bAway) {
            AddFlag(refused, kFlagRecordAway);
            refused.cause = JobCause::RecordAway;
        }
        // A loop retries every few seconds while the record stays away: the outage is recorded
        // once, not once a retry (each would only fill the spool).
        if (!(bAway && m_bAwayRefused)) {
            std::string strWarning;
            m_pRecord->Record(refused, m_Claim, strWarning);
            Log(strWarning);
        }
        m_bAwayRefused = bAway;
    }
    m_Claim = IdentityClaim{};
    return false;
}

bool CBoardRun::Start(const BoardRunRequest& request, JobResult& refused)
{
    m_strEarlierLog.clear();
    m_Claim = IdentityClaim{};
    const StationSettings& station = request.station;
    JobRequest job;
    job.strStation = m_pRecord && m_pRecord->Enabled() ? m_pRecord->Station() : station.strStation;
    job.strWorkDir = station.strWorkDir;
    job.transfer = TransferOf(station);
    job.bBringUp = request.bBringUp;
    job.nConsoleFallbackMs = station.nConsoleTimeoutS * 1000;
    job.strMonitorPort = station.strMonitorPort;
    job.nMonitorWaitMs = station.nMonitorWaitS * 1000;
    job.port.nPort = request.nComPort > 0 ? request.nComPort : CComPortMap::PortFromName(request.strPort);
    job.strDevice = request.strDevice;
    if (m_pJob->Running())
        return Refuse(job, JobCause::Busy, "the previous job has not ended yet", refused);
    // What the record could not take back from its spool is said once, where the operator looks.
    if (m_pRecord)
        Log(m_pRecord->TakeWarnings());

    std::string strMac, strFactory, strReg, strWhy;
    // A transfer alone writes the manifest only for an identity given for this board.
    const bool bIdentity = request.bBringUp || request.identity.has_value();
    if (bIdentity) {
        if (request.identity) {
            job.identity = *request.identity;
        } else {
            if (!m_pRecord || !m_pRecord->TakeNext(job.identity, strWhy)) {
                Log("->" + (strWhy.empty() ? std::string("identities from the pools need the production record") : strWhy) +
                    "\r\n");
                return Refuse(job, m_pRecord ? JobCause::PoolEmpty : JobCause::NoRecord,
                              strWhy.empty() ? "no production record" : strWhy, refused);
            }
            Log("->从号码池取得身份 / Identity from the pools: " + job.identity.strMac + " " + job.identity.strFactory + " " +
                job.identity.strReg + "\r\n");
        }
        m_Observer.OnRunIdentity(job.identity);
        // The board receives code page 936 bytes; lengths are counted in them.
        if (!Utf8ToGbk(job.identity.strMac, strMac)) {
            Log("->MAC ID含有无法转换的字符，请重新输入!\r\n");
            return Refuse(job, JobCause::IdentityChars, "the identity holds characters that code page 936 cannot carry", refused);
        }
        if (strMac.size() != MAC_TEXT_BYTES) {
            Log("请输入正确的macid  \r\n");
            return Refuse(job, JobCause::IdentityForm, kSeeLog, refused);
        }
        if (!Utf8ToGbk(job.identity.strFactory, strFactory) || !Utf8ToGbk(job.identity.strReg, strReg)) {
            Log("->出厂编号或注册编号含有无法转换的字符，请重新输入!\r\n");
            return Refuse(job, JobCause::IdentityChars, "the identity holds characters that code page 936 cannot carry", refused);
        }
        std::string strFieldError;
        if (!CheckManifestFields(strFactory, strReg, strFieldError)) {
            Log(strFieldError);
            return Refuse(job, JobCause::IdentityForm, kSeeLog, refused);
        }
        // The form; with a record, no value installed on another board or held by another running job.
        IdentityValues values;
        bool bGuarded = m_pRecord ? m_pRecord->Guard(job.identity, request.strPort, m_Claim, strWhy)
                                  : CheckIdentityFormat(job.identity, values, strWhy);
        Log(m_Claim.strNotice);
        if (!bGuarded) {
            Log(strWhy);
            return Refuse(job, JobCause::IdentityRefused, kSeeLog, refused);
        }
        if (m_Claim.bReflash) {
            if (!m_Observer.ConfirmReflash(job.identity, m_Claim)) {
                Log("->此板已安装过, 未确认重新安装 / The board was installed before; the re-flash was not confirmed.\r\n");
                return Refuse(job, JobCause::ReflashDeclined, "a re-flash of board " + job.identity.strFactory + " was not confirmed", refused);
            }
            Log("->同一块板以同一身份再次安装, 记为重新安装 / The same board again with the same identity: recorded as a re-flash.\r\n");
        }
    }

    BoardFileTable table;
    std::string strLog, strEntryLog;
    bool bFiles = LoadBoardFiles(station, request.files, request.select, table, strLog, strEntryLog, strWhy);
    Log(strLog);
    if (!bFiles) {
        Log(strEntryLog.empty() ? "->" + strWhy + "\r\n" : strEntryLog);
        return Refuse(job, JobCause::BoardFiles, strWhy, refused);
    }
    const std::string strImageFolder = ImageFolderPath(station.strWorkDir);
    job.images = SelectedImages(table.files, table.nFileCount, strImageFolder);
    job.nConfiguredImages = table.nFileCount;
    ImageSumsReport sums;
    strLog.clear();
    bool bSums = CheckImageDigests(station, job.images, sums, strLog, strWhy);
    Log(strLog);
    if (!bSums) {
        Log("->" + strWhy + "\r\n");
        return Refuse(job, JobCause::ImageDigest, strWhy, refused);
    }

    if (!bIdentity && SendsManifest(job.images)) {
        strWhy = "ins.txt is among the selected images: a transfer sends it only with this board's identity "
                 "(--mac, --factory, --reg), or leave it out with --select";
        Log("->" + strWhy + "\r\n");
        return Refuse(job, JobCause::ManifestIdentity, strWhy, refused);
    }
    if (request.bBringUp) {
        if (!request.strPortProblem.empty()) {
            Log(request.strPortProblem);
            return Refuse(job, JobCause::Port, FirstLineAsWords(request.strPortProblem), refused);
        }
        if (!ResolveBoardPort(station, request.strPort, job.port.nPort, request.bPortListed, request.fnPortPath,
                              job.port, strWhy)) {
            Log("->" + strWhy + "\r\n");
            return Refuse(job, JobCause::Port, strWhy, refused);
        }
        if (job.strDevice.empty())
            job.strDevice = CComPortMap::FormatEntry(job.port);
    }
    if (bIdentity) {
        // The board must never get another board's identity: no manifest, no job. A gang slot
        // sends its own ins.txt; the other images are read from the shared folder.
        auto log = [this](const std::string& strLine) { Log(strLine); };
        const bool bWritten =
            m_pSlotManifest
                ? m_pSlotManifest->Write(strImageFolder, strFactory, strReg, strMac, table.files, log, m_ManifestLock)
                : m_Manifest.Write(strImageFolder, strFactory, strReg, strMac, table.files, log, m_ManifestLock);
        if (!bWritten) {
            Log("->未写入身份信息，未开始下载。\r\n");
            return Refuse(job, JobCause::ManifestWrite, "ins.txt was not written; nothing was sent", refused);
        }
        // The images were measured before the manifest changed ins.txt.
        PointInsTxtAt(job.images, m_pSlotManifest ? m_pSlotManifest->InsPath() : strImageFolder + "/ins.txt");
    }
    // A missing or unreadable image is found now, not after the bring-up and the images before it.
    if (!CheckImagesReadable(job.images, strWhy)) {
        m_ManifestLock.Release();
        Log("->" + strWhy + "\r\n");
        return Refuse(job, JobCause::ImageUnreadable, strWhy, refused);
    }

    job.strEarlierLog = m_strEarlierLog;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Request = job;
        m_nJobTimeoutS = request.nJobTimeoutS;
        m_bTimedOut = 0;
        m_bConcluded = false;
        m_Result.reset();
    }
    if (!m_pJob->Start(job, strWhy)) {
        m_ManifestLock.Release();
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_bConcluded = true;
        }
        Log("->" + strWhy + ".\r\n");
        return Refuse(job, JobCause::Engine, strWhy, refused);
    }
    m_bAwayRefused = false;
    return true;
}

void CBoardRun::Stop() { m_pJob->Stop(); }

bool CBoardRun::Quit(int nWaitMs) { return m_pJob->Quit(nWaitMs); }

JobResult CBoardRun::Wait(const std::atomic<int>& bStop)
{
    const auto tStart = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(m_Mutex);
    auto done = [this] { return m_Result.has_value(); };
    while (!m_Cond.wait_for(lock, std::chrono::milliseconds(kWaitSliceMs), done)) {
        const auto nElapsedMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - tStart).count();
        const bool bTimeUp = m_nJobTimeoutS > 0 && nElapsedMs >= m_nJobTimeoutS * 1000LL;
        if (bStop.load() || bTimeUp) {
            m_bTimedOut = bStop.load() ? 0 : 1;
            lock.unlock();
            m_pJob->Stop();
            lock.lock();
            m_Cond.wait_for(lock, std::chrono::milliseconds(kStopGraceMs), done);
            break;
        }
    }
    if (!m_Result) {
        // The job did not report within its bound after the stop: give the engine up.
        lock.unlock();
        m_pJob->Quit(kStopGraceMs);
        JobResult result = ResultOfRequest(m_Request);
        result.verdict = JobVerdict::Stopped;
        result.strReason = "the job did not end after it was stopped";
        result.cause = JobCause::StopUnanswered;
        Conclude(result);
        lock.lock();
    }
    return *m_Result;
}

// Once per started job: the time limit's verdict, the record, then the front end.
void CBoardRun::Conclude(JobResult result)
{
    IdentityClaim claim;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_bConcluded)
            return;
        m_bConcluded = true;
        claim = m_Claim;
    }
    if (m_bTimedOut.load() && result.verdict == JobVerdict::Stopped) {
        result.verdict = JobVerdict::Failed;
        result.strReason = "the job did not finish within " + std::to_string(m_nJobTimeoutS) + " s";
        result.cause = JobCause::TimeLimit;
    }
    // Fewer images than the configuration names: installed, but not what the line means by a board.
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (result.verdict == JobVerdict::Installed &&
            static_cast<int>(m_Request.images.size()) < m_Request.nConfiguredImages)
            AddFlag(result, kFlagPartial);
    }
    m_ManifestLock.Release();
    if (!m_Request.bBringUp)
        AddFlag(result, kFlagTransfer);
    if (m_pRecord) {
        std::string strWarning;
        m_pRecord->Record(result, claim, strWarning);
        if (!strWarning.empty())
            m_Observer.OnJobLog(strWarning);
    }
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Result = result;
        m_Cond.notify_all();
    }
    m_Observer.OnJobFinished(result);
}

void CBoardRun::OnJobStarted(const JobRequest& request) { m_Observer.OnJobStarted(request); }

void CBoardRun::OnJobLog(const std::string& strText) { m_Observer.OnJobLog(strText); }

void CBoardRun::OnJobDetail(const std::string& strText) { m_Observer.OnJobDetail(strText); }

void CBoardRun::OnJobProgress(const TransferProgress& progress) { m_Observer.OnJobProgress(progress); }

void CBoardRun::OnJobStage(JobStage stage) { m_Observer.OnJobStage(stage); }

void CBoardRun::OnJobFinished(const JobResult& result) { Conclude(result); }
