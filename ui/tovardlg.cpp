#include "ui/tovardlg.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "line/record_options.h"
#include "station/config_loader.h"
#include "station/shift_plan.h"
#include "station/station_slots.h"
#include "ui/engineer_lock.h"
#include "ui/monitor_port_choices.h"
#include "ui/port_choice.h"
#include "ui/set.h"
#include "ui/window_state.h"

namespace {
constexpr const char* DEFAULT_MAC = "^587675010202^587675010203";
constexpr const char* DEFAULT_FACTORY = "12345678";
constexpr const char* DEFAULT_REG = "5A3C0001";
}  // namespace

CTovarDlg::CTovarDlg(ITovarView& view, At91BackendFactory fnBackendFactory, IClock& clock, TovarJobOptions options)
    : m_View(view),
      m_fnBackendFactory(std::move(fnBackendFactory)),
      m_Clock(clock),
      m_Options(std::move(options)),
      m_TransferStatus(clock)
{
}

TovarJobOptions MakeJobOptions(const StationSettings& station)
{
    TovarJobOptions options;
    options.station = station;
    options.fnPortResolver = station.portMap.Resolver();
    return options;
}

CTovarDlg::~CTovarDlg()
{
    if (m_pRun)
        m_pRun->Quit(m_Options.nExitWaitMs);
    m_pRun.reset();
    m_pReports.reset();
    m_pHeartbeat.reset();
}

void CTovarDlg::AppendLog(const std::string& strText)
{
    if (!strText.empty())
        m_View.AppendLog(strText);
}

void CTovarDlg::SetJobButtons(bool bDownload, bool bExit, bool bStop)
{
    m_bExitEnabled = bExit ? 1 : 0;
    m_View.EnableControl(IDOK, bDownload);
    m_View.EnableControl(IDCANCEL, bExit);
    m_View.EnableControl(IDC_STOP, bStop);
}

// The identity, the port and the Advanced options stay as they are while a job runs.
void CTovarDlg::EnableInputs(bool bEnable)
{
    for (int nId : {IDC_MAC, IDC_FACTORY, IDC_REG, IDC_PORT, IDC_MONITOR, IDC_SET, IDC_AUTONUM})
        m_View.EnableControl(nId, bEnable);
}

VerdictLook CTovarDlg::VerdictOf(const JobResult& result, std::string& strText)
{
    // Stored, but not a good board to ship: a value of another board, or a result that is lost.
    if (result.verdict == JobVerdict::Installed && HasFlag(result, kFlagConflict)) {
        strText = "号码冲突 — 此板的号码已在另一块板上, 请将电路板放到不良品区并联系工程师";
        return VerdictLook::Failure;
    }
    if (result.verdict == JobVerdict::Installed && HasFlag(result, kFlagUnrecorded)) {
        strText = "未记录 — 生产记录和备份都未保存此板, 请联系工程师";
        return VerdictLook::Failure;
    }
    if (result.verdict == JobVerdict::Installed && !HasFlag(result, kFlagPartial)) {
        strText = "成功";
        return VerdictLook::Success;
    }
    VerdictLook look = VerdictLook::Failure;
    const char* szHead = "失败";
    JobCause cause = result.cause;
    switch (result.verdict) {
    case JobVerdict::Installed:
        look = VerdictLook::Partial;
        szHead = "部分安装";
        cause = JobCause::Partial;
        break;
    case JobVerdict::Refused:
        look = VerdictLook::Refused;
        szHead = "未开始";
        break;
    case JobVerdict::Stopped:
        look = VerdictLook::Stopped;
        szHead = "已终止";
        break;
    case JobVerdict::Failed:
    case JobVerdict::ChipRejected:
        break;
    }
    const JobCauseText& text = CauseText(cause);
    if (cause == JobCause::None) {
        // A result from before causes were named: its stage is all the operator gets in their words.
        strText = std::string(szHead) + " — " + CStageClock::StageWord(result.stage);
        return look;
    }
    strText = std::string(szHead) + " — " + text.szOperator + "\n" + text.szNextStep;
    return look;
}

int CTovarDlg::PortNumberOfName(const char* szName)
{
    if (!szName || std::strlen(szName) < 4)
        return 0;
    char szDigits[3] = {szName[3], szName[4], '\0'};
    return std::atoi(szDigits);
}

int CTovarDlg::DeviceCount() const
{
    int n = 0;
    while (n < SCAN_MAX_DEVICES && m_szDevices[n] != nullptr)
        ++n;
    return n;
}

// Fresh buffers for every listing, then the scan; the entry after the last device is null.
void CTovarDlg::ListDevices()
{
    m_DeviceBuffers.assign(SCAN_MAX_DEVICES, std::vector<char>(DEVICE_NAME_SIZE, '\0'));
    for (int i = 0; i < SCAN_MAX_DEVICES; ++i)
        m_szDevices[i] = m_DeviceBuffers[i].data();
    if (m_pBootDll)
        m_pBootDll->ScanDevices(m_szDevices);
    else
        m_szDevices[0] = nullptr;
    SortDevices(DeviceCount());
}

// n passes of a bubble sort by port number; equal numbers keep their scan order.
void CTovarDlg::SortDevices(int nCount)
{
    std::vector<int> numbers(static_cast<size_t>(nCount));
    for (int i = 0; i < nCount; ++i)
        numbers[i] = PortNumberOfName(m_szDevices[i]);
    for (int nPass = 0; nPass < nCount; ++nPass) {
        for (int j = 0; j + 1 < nCount; ++j) {
            if (numbers[j] > numbers[j + 1]) {
                std::swap(numbers[j], numbers[j + 1]);
                std::swap(m_szDevices[j], m_szDevices[j + 1]);
            }
        }
    }
}

bool CTovarDlg::OnInitDialog()
{
    m_View.SetText(IDC_LOG, m_strLog);
    m_pBootDll = std::make_unique<CAt91BootDll>(m_fnBackendFactory);
    if (!m_pBootDll->IsBound())
        AppendLog("->引导监控接口不可用, 无法列出串口\r\n");
    ListDevices();
    // With a production record the fields start empty: a sample identity must never reach a board.
    const bool bRecord = m_Options.pRecord && m_Options.pRecord->Enabled();
    const JobIdentity& start = m_Options.startIdentity;
    m_View.SetText(IDC_MAC, bRecord ? start.strMac : DEFAULT_MAC);
    m_View.SetText(IDC_FACTORY, bRecord ? start.strFactory : DEFAULT_FACTORY);
    m_View.SetText(IDC_REG, bRecord ? start.strReg : DEFAULT_REG);
    m_View.SetText(IDC_AUTONUM, "自动编号");
    ShowTodayCount();
    m_View.SetText(IDC_FACTORY_LABEL, "出厂编号");
    m_View.SetText(IDC_REG_LABEL, "注册编号");
    m_View.SetText(IDC_SELECTCOM, "选择COM");
    m_View.SetText(IDOK, "开始下载");
    m_View.SetText(IDC_STOP, "终止");
    m_View.SetText(IDCANCEL, "退出");
    m_View.SetText(IDC_SET, "高级");
    const std::string& strDir = m_Options.station.strWorkDir;
    if (!strDir.empty() && strDir != ".") {
        m_strWorkDir = strDir;
    } else {
        char szDir[1000] = {};
        m_strWorkDir = getcwd(szDir, sizeof szDir) ? szDir : ".";
    }
    FillSelector();
    LoadConfiguration();
    m_Options.station.strWorkDir = m_strWorkDir;
    ListMonitorPorts();
    m_StageClock.SetConsoleBoundS(m_Options.station.nConsoleTimeoutS);
    HeartbeatSettings heartbeat;
    if (m_Options.pRecord && HeartbeatOf(m_Options.station, *m_Options.pRecord, heartbeat)) {
        m_pHeartbeat = std::make_unique<CHeartbeat>(heartbeat);
        m_pHeartbeat->Start();
    }
    m_pReports = std::make_unique<CRunHeartbeat>(static_cast<IBoardRunObserver&>(*this), m_pHeartbeat.get());
    m_pRun = std::make_unique<CBoardRun>(*m_pReports, m_Options.pRecord, m_fnBackendFactory,
                                         JobLogDir(m_Options.station), std::string(), m_Clock);
    return true;
}

// The [ports] entries first; the port last chosen in this working folder (or the only [ports]
// entry) starts selected.
void CTovarDlg::FillSelector()
{
    std::vector<std::string> names(m_szDevices, m_szDevices + DeviceCount());
    const CPortChoice choice(m_Options.station.portMap.Entries(), CWindowState(m_strWorkDir).Get("port"));
    m_strSelectorNames = choice.Order(names);
    for (const std::string& strName : m_strSelectorNames)
        m_View.AddDevice(strName);
    const int nStart = choice.StartIndex(m_strSelectorNames);
    if (nStart >= 0)
        m_View.SetCurSel(nStart);
}

void CTovarDlg::OnSelChangePort() { RememberPort(); }

void CTovarDlg::RememberPort()
{
    const int nSel = m_View.GetCurSel();
    if (nSel < 0 || nSel >= static_cast<int>(m_strSelectorNames.size()))
        return;
    const std::string strPort = CPortChoice::PortToRemember(m_strSelectorNames[static_cast<size_t>(nSel)]);
    if (!strPort.empty())
        CWindowState(m_strWorkDir).Set("port", strPort);
}

// Without a configuration every slot keeps its defaults; slots 0 to 3 start selected.
// Values that had to be cut or limited are reported once here.
void CTovarDlg::LoadConfiguration()
{
    std::vector<std::string> warnings;
    const std::string strPath = ConfigFilePath(m_strWorkDir);
    if (!LoadFileTable(strPath, m_Files, m_nFileCount, warnings)) {
        std::error_code error;
        m_strConfigProblem = std::string(std::filesystem::exists(strPath, error) ? "配置文件无法读取: " : "配置文件缺失: ") + strPath;
        AppendLog("->" + m_strConfigProblem + "\r\n");
    }
    for (const std::string& strWarning : warnings)
        AppendLog(strWarning);
}

// A station that wires the boot monitor's USB port names it in tovar.cfg; the operator then chooses
// it beside the console's port. The port exists only while a board sits in its ROM monitor, so what
// is plugged in at start-up does not decide whether the selector is there.
void CTovarDlg::ListMonitorPorts()
{
    std::vector<StationSlot> slots;
    std::string strWhy;
    if (!ReadStationSlots(m_strWorkDir, slots, strWhy))
        AppendLog("->" + strWhy + "\r\n");
    m_strMonitorPorts = MonitorPortChoices(m_Options.station, slots);
    if (!m_strMonitorPorts.empty())
        m_View.ShowMonitorPorts(m_strMonitorPorts);
}

// The images to install are the engineer's choice: with a PIN configured it is asked first.
bool CTovarDlg::UnlockEngineer()
{
    const CEngineerLock lock(m_Options.station.strEngineerPin);
    if (lock.Open())
        return true;
    std::string strPin;
    if (!m_View.AskPin(CEngineerLock::PROMPT, strPin))
        return false;
    if (lock.Unlock(strPin))
        return true;
    m_View.WarnBeep();
    m_View.ShowMessage(CEngineerLock::REFUSED);
    return false;
}

void CTovarDlg::OnSet()
{
    if (!UnlockEngineer())
        return;
    CSet dlg;
    dlg.PrepareFromFiles(m_Files);
    dlg.SetProblem(m_strConfigProblem);
    if (m_View.RunAdvanced(dlg))
        dlg.ApplyToFiles(m_Files);
}

// The device the operator chose, found again after a re-scan (it may stand at another index, or be gone).
bool CTovarDlg::ChosenDevice(std::string& strDevice, std::string& strProblem)
{
    int nSel = m_View.GetCurSel();
    if (nSel < 0 || nSel >= static_cast<int>(m_strSelectorNames.size())) {
        strProblem = "->未选择串口, 请选择电路板的 COM 口\r\n";
        return false;
    }
    if (!m_pBootDll) {
        m_pBootDll = std::make_unique<CAt91BootDll>(m_fnBackendFactory);
        ListDevices();
    }
    const std::string& strChosen = m_strSelectorNames[static_cast<size_t>(nSel)];
    for (int i = 0; i < DeviceCount(); ++i) {
        if (strChosen == m_szDevices[i]) {
            strDevice = m_szDevices[i];
            return true;
        }
    }
    strProblem = "->" + strChosen + " 已断开, 请插好串口线或重启 Tovar\r\n";
    return false;
}

void CTovarDlg::OnOK()
{
    m_View.ShowVerdict(VerdictLook::None, {});
    if (m_pRun->Running()) {
        const JobCauseText& text = CauseText(JobCause::Busy);
        AppendLog(m_pRun->Stage() == JobStage::BringUp ? std::string("->上一块板仍在启动中, 请等它启动完成后再开始\r\n")
                                                       : "->" + std::string(text.szOperator) + ", " + text.szNextStep + "\r\n");
        m_View.ShowVerdict(VerdictLook::Refused, std::string("未开始 — ") + text.szOperator + "\n" + text.szNextStep);
        return;
    }
    BoardRunRequest request;
    request.station = m_Options.station;
    request.identity = JobIdentity{m_View.GetText(IDC_MAC), m_View.GetText(IDC_FACTORY), m_View.GetText(IDC_REG)};
    std::string strDevice, strProblem;
    if (ChosenDevice(strDevice, strProblem)) {
        RememberPort();
        request.strPort = strDevice;
        request.nComPort = PortNumberOfName(strDevice.c_str());
        request.strDevice = strDevice;
        request.bPortListed = true;
        request.fnPortPath = m_Options.fnPortResolver;
    } else {
        request.strPortProblem = strProblem;
    }
    // As --monitor-port does for tovar flash; the first entry keeps the monitor on the chosen port.
    if (!m_strMonitorPorts.empty()) {
        const int nMonitor = m_View.GetMonitorSel();
        request.station.strMonitorPort = nMonitor >= 0 && nMonitor < static_cast<int>(m_strMonitorPorts.size())
                                             ? m_strMonitorPorts[static_cast<size_t>(nMonitor)]
                                             : std::string();
    }
    BoardFileTable table;
    std::copy(std::begin(m_Files), std::end(m_Files), std::begin(table.files));
    table.nFileCount = m_nFileCount;
    request.files = table;
    m_TransferStatus.Start();
    // Under the lock, so a job that ends at once cannot give the buttons back before they are taken.
    std::unique_lock<std::mutex> resultLock(m_ResultMutex);
    JobResult refused;
    // Before the start: the job's first stage report may come before Start returns.
    m_StageClock.Enter(JobStage::Prepare, m_Clock.NowMs());
    if (!m_pRun->Start(request, refused)) {
        m_StageClock.End();
        // Nothing reached the board: the last board's figures go, the refusal says what to do.
        m_View.SetStatusLine({});
        m_View.SetProgress(0);
        std::string strVerdict;
        m_View.ShowVerdict(VerdictOf(refused, strVerdict), strVerdict);
        m_View.WarnBeep();
        return;
    }
    m_View.SetStatusLine({});
    m_LastResult.reset();
    ++m_nJobsStarted;
    SetJobButtons(false, false, true);
    EnableInputs(false);
    resultLock.unlock();
    // The job has its own wrapper; the next press lists the devices anew.
    m_pBootDll.reset();
}

void CTovarDlg::OnStop()
{
    if (m_pRun)
        m_pRun->Stop();
    SetJobButtons(true, true, true);
}

void CTovarDlg::OnCancel()
{
    if (m_pRun)
        m_pRun->Quit(m_Options.nExitWaitMs);
    if (CanExit())
        m_View.EndDialog(IDCANCEL);
}

void CTovarDlg::OnClose()
{
    if (!CanExit())
        return;
    // The close command acts as Exit only while Exit is enabled, that is while no job runs.
    if (!m_bExitEnabled.load()) {
        m_View.WarnBeep();
        return;
    }
    OnCancel();
}

bool CTovarDlg::CanExit()
{
    if (m_pAutoProxy) {
        m_View.HideWindow();
        return false;
    }
    return true;
}

void CTovarDlg::OnJobLog(const std::string& strText) { AppendLog(strText); }

void CTovarDlg::OnJobDetail(const std::string& strText) { (void)strText; }

void CTovarDlg::OnJobProgress(const TransferProgress& progress)
{
    if (progress.nBytesTotal > 0)
        m_View.SetProgress(static_cast<int>(std::min(progress.nBytesDone, progress.nBytesTotal) * 100 / progress.nBytesTotal));
    if (m_TransferStatus.Update(progress))
        m_View.SetStatusLine(m_TransferStatus.Text());
}

void CTovarDlg::OnJobStage(JobStage stage) { m_StageClock.Enter(stage, m_Clock.NowMs()); }

// Every job gives the operator the buttons back when it ends, however it ended.
void CTovarDlg::OnJobFinished(const JobResult& result)
{
    std::lock_guard<std::mutex> lock(m_ResultMutex);
    m_StageClock.End();
    if (result.verdict == JobVerdict::Installed)
        m_View.SetProgress(100);
    // The line's last figures, then the verdict that cannot be missed.
    const std::string strStatus = m_TransferStatus.Text();
    if (!strStatus.empty())
        m_View.SetStatusLine(strStatus);
    std::string strVerdict;
    const VerdictLook look = VerdictOf(result, strVerdict);
    m_View.ShowVerdict(look, strVerdict);
    if (look == VerdictLook::Failure || look == VerdictLook::Partial)
        m_View.WarnBeep();
    // After the verdict, so a pool that ran out is what the banner shows last.
    if (m_Options.pRecord) {
        ShowTodayCount();
        // The next board gets the next identity; without the pools the fields are cleared after an
        // installed board, so its identity cannot go onto the next one by mistake.
        if (m_bAutoNumber.load()) {
            FillNextIdentity(true);
        } else if (result.verdict == JobVerdict::Installed) {
            for (int nId : {IDC_MAC, IDC_FACTORY, IDC_REG})
                m_View.SetTextLater(nId, "");
        }
    }
    SetJobButtons(true, true, true);
    EnableInputs(true);
    m_LastResult = result;
    m_ResultCond.notify_all();
}

bool CTovarDlg::ConfirmReflash(const JobIdentity& identity, const IdentityClaim& claim)
{
    return m_View.AskYesNo("此电路板已安装过 (出厂编号 " + identity.strFactory + ", 工位 " + claim.strInstalledStation +
                           ", " + claim.strInstalledAt + ")。\n确定要重新安装吗?");
}

void CTovarDlg::OnAutoNumber()
{
    m_bAutoNumber = m_View.IsChecked(IDC_AUTONUM) ? 1 : 0;
    if (m_bAutoNumber.load())
        FillNextIdentity(false);
}

void CTovarDlg::FillNextIdentity(bool bLater)
{
    JobIdentity identity;
    std::string strWhy;
    if (!m_Options.pRecord || !m_Options.pRecord->TakeNext(identity, strWhy)) {
        AppendLog("->自动编号: " + (strWhy.empty() ? std::string("没有生产记录") : strWhy) + "\r\n");
        // No identity may stay in the fields for the next board: they are cleared and the pools
        // are left until the engineer has added values.
        m_bAutoNumber = 0;
        m_View.SetCheckedLater(IDC_AUTONUM, false);
        for (int nId : {IDC_MAC, IDC_FACTORY, IDC_REG})
            bLater ? m_View.SetTextLater(nId, "") : m_View.SetText(nId, "");
        const JobCauseText& text = CauseText(m_Options.pRecord ? JobCause::PoolEmpty : JobCause::NoRecord);
        m_View.ShowVerdict(VerdictLook::Failure, std::string(text.szOperator) + "\n" + text.szNextStep);
        m_View.WarnBeep();
        return;
    }
    for (const auto& [nId, strText] : {std::pair<int, std::string>{IDC_MAC, identity.strMac},
                                       {IDC_FACTORY, identity.strFactory}, {IDC_REG, identity.strReg}})
        bLater ? m_View.SetTextLater(nId, strText) : m_View.SetText(nId, strText);
}

void CTovarDlg::ShowTodayCount()
{
    // The shift going on, as the record counts it for every station ([line] shifts=; none: today).
    LineCounts counts;
    if (m_Options.pRecord && m_Options.pRecord->ShiftCountsAt(m_Options.station.strShifts, WallNowMs(), counts))
        m_View.SetTextLater(IDC_TODAY, "本班 " + m_Options.pRecord->Station() + ": 成功 " +
                                           std::to_string(counts.nInstalled) + "  失败 " + std::to_string(counts.nFailed) +
                                           "  停止 " + std::to_string(counts.nStopped));
}

std::optional<JobResult> CTovarDlg::WaitJobResult(int nTimeoutMs)
{
    std::unique_lock<std::mutex> lock(m_ResultMutex);
    m_ResultCond.wait_for(lock, std::chrono::milliseconds(nTimeoutMs), [this] { return m_LastResult.has_value(); });
    return m_LastResult;
}
