#include "console/tovardlg.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/config_loader.h"
#include "console/gbk_text.h"
#include "console/manifest.h"
#include "console/set.h"

namespace {
constexpr size_t MAC_TEXT_BYTES = 26;
constexpr const char* DEFAULT_MAC = "^587675010202^587675010203";
constexpr const char* DEFAULT_FACTORY = "12345678";
constexpr const char* DEFAULT_REG = "5A3C0001";
}  // namespace

CTovarDlg::CTovarDlg(ITovarView& view, At91BackendFactory fnBackendFactory, IClock& clock, TovarJobOptions options)
    : m_View(view), m_fnBackendFactory(std::move(fnBackendFactory)), m_Clock(clock), m_Options(std::move(options))
{
    if (m_Options.fnPortResolver)
        m_Serial.SetPortResolver(m_Options.fnPortResolver);
}

CTovarDlg::~CTovarDlg()
{
    if (m_hThread.joinable()) {
        m_bQuit = 1;
        m_hEvents.Set(CJobEvents::EVENT_QUIT);
        if (WaitForWorkerEnd()) {
            m_hThread.join();
        } else {
            m_bWorkerAbandoned = true;
            m_hThread.detach();
        }
    }
    if (m_bWorkerAbandoned && !WaitForWorkerEnd()) {
        // The worker still uses this object and nothing can stop it from outside: end the process,
        // as the application would right after the dialog anyway.
        std::fputs("tovar: the download worker did not stop; ending the process\n", stderr);
        std::_Exit(3);
    }
}

void CTovarDlg::AppendLog(const std::string& strText) { m_View.AppendLog(strText); }

void CTovarDlg::SetJobButtons(bool bDownload, bool bExit, bool bStop)
{
    m_bExitEnabled = bExit ? 1 : 0;
    m_View.EnableButton(IDOK, bDownload);
    m_View.EnableButton(IDCANCEL, bExit);
    m_View.EnableButton(IDC_STOP, bStop);
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
        AppendLog("->Boot monitor interface not available; no device can be listed.\r\n");
    ListDevices();
    m_SerialSettings.BaudRate = 115200;
    m_SerialSettings.ByteSize = 8;
    m_SerialSettings.Parity = 0;
    m_SerialSettings.StopBits = 0;
    m_bPortErrorShown = 0;
    for (int i = 0; i < DeviceCount(); ++i) {
        m_strSelectorNames.emplace_back(m_szDevices[i]);
        m_View.AddDevice(m_szDevices[i]);
    }
    m_View.SetText(IDC_MAC, DEFAULT_MAC);
    m_View.SetText(IDC_FACTORY, DEFAULT_FACTORY);
    m_View.SetText(IDC_REG, DEFAULT_REG);
    m_View.SetText(IDC_FACTORY_LABEL, "出厂编号");
    m_View.SetText(IDC_REG_LABEL, "注册编号");
    m_View.SetText(IDC_SELECTCOM, "选择COM");
    m_View.SetText(IDOK, "开始下载");
    m_View.SetText(IDC_STOP, "终止");
    m_View.SetText(IDCANCEL, "退出");
    m_View.SetText(IDC_SET, "高级");
    if (!m_Options.strWorkDir.empty()) {
        m_szWorkDir = m_Options.strWorkDir;
    } else {
        char szDir[1000] = {};
        m_szWorkDir = getcwd(szDir, sizeof szDir) ? szDir : ".";
    }
    LoadConfiguration();
    m_nThreadId = 0;
    m_bWorkerEnded = 0;
    m_hThread = std::thread(&CTovarDlg::DownloadThreadProc, this);
    return true;
}

// Without a configuration every slot keeps its defaults; slots 0 to 3 start selected.
// Values that had to be cut or limited are reported once here.
void CTovarDlg::LoadConfiguration()
{
    std::vector<std::string> warnings;
    LoadFileTable(ConfigFilePath(m_szWorkDir), m_Files, m_nFileCount, warnings);
    for (const std::string& strWarning : warnings)
        AppendLog(strWarning);
}

void CTovarDlg::OnSet()
{
    CSet dlg;
    dlg.PrepareFromFiles(m_Files);
    if (m_View.RunAdvanced(dlg))
        dlg.ApplyToFiles(m_Files);
}

void CTovarDlg::OnOK()
{
    std::string strMac;
    if (!Utf8ToGbk(m_View.GetText(IDC_MAC), strMac)) {
        AppendLog("->MAC ID含有无法转换的字符，请重新输入!\r\n");
        return;
    }
    if (strMac.size() != MAC_TEXT_BYTES) {
        AppendLog("请输入正确的macid  \r\n");
        return;
    }
    std::string strFactory;
    std::string strReg;
    if (!Utf8ToGbk(m_View.GetText(IDC_FACTORY), strFactory) || !Utf8ToGbk(m_View.GetText(IDC_REG), strReg)) {
        AppendLog("->出厂编号或注册编号含有无法转换的字符，请重新输入!\r\n");
        return;
    }
    std::string strFieldError;
    if (!CheckManifestFields(strFactory, strReg, strFieldError)) {
        AppendLog(strFieldError);
        return;
    }
    if (m_bBringUpPending.load()) {
        AppendLog("->The previous board is still being brought up; press again when it has finished.\r\n");
        return;
    }
    if (m_bTransferRunning.load()) {
        AppendLog("->The previous transfer has not ended yet; press again when it has.\r\n");
        return;
    }
    int nSel = m_View.GetCurSel();
    if (nSel < 0 || nSel >= static_cast<int>(m_strSelectorNames.size())) {
        AppendLog("->No serial device selected.\r\n");
        return;
    }
    if (!m_pBootDll) {
        m_pBootDll = std::make_unique<CAt91BootDll>(m_fnBackendFactory);
        ListDevices();
        m_bPortErrorShown = 0;
    }
    // The operator chose a name; after a re-scan it may stand at another index, or be gone.
    const std::string& strChosen = m_strSelectorNames[static_cast<size_t>(nSel)];
    const char* szDevice = nullptr;
    for (int i = 0; i < DeviceCount(); ++i)
        if (strChosen == m_szDevices[i])
            szDevice = m_szDevices[i];
    if (!szDevice) {
        AppendLog("->" + strChosen + " is no longer connected; connect it or restart Tovar.\r\n");
        return;
    }
    m_bStop = 0;
    m_pBootDll->OpenDevice(szDevice, m_hDevice);
    m_nComPort = PortNumberOfName(szDevice);
    WriteManifest(ImageFolderPath(m_szWorkDir), strFactory, strReg, strMac, m_Files,
                  [this](const std::string& strLine) { AppendLog(strLine); });
    m_bBringUpPending = 1;
    {
        std::lock_guard<std::mutex> lock(m_WorkerMutex);
        m_LastOutcome = JobOutcome::None;
    }
    ++m_nJobsStarted;
    m_hEvents.Set(CJobEvents::EVENT_START);
    SetJobButtons(false, false, true);
}

void CTovarDlg::OnStop()
{
    m_bStop = 1;
    SetJobButtons(true, true, true);
}

void CTovarDlg::OnCancel()
{
    m_bStop = 1;
    m_bQuit = 1;
    m_hEvents.Set(CJobEvents::EVENT_QUIT);
    if (m_hThread.joinable()) {
        if (WaitForWorkerEnd()) {
            m_hThread.join();
        } else {
            m_bWorkerAbandoned = true;
            m_hThread.detach();
        }
    }
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

// Notifies under the lock, so a waiter that then destroys the dialog finds the worker done with it.
void CTovarDlg::WorkerEnded()
{
    std::lock_guard<std::mutex> lock(m_WorkerMutex);
    m_bWorkerEnded = 1;
    m_WorkerCond.notify_all();
}

void CTovarDlg::ReportJobOutcome(JobOutcome outcome)
{
    std::lock_guard<std::mutex> lock(m_WorkerMutex);
    m_LastOutcome = outcome;
    m_WorkerCond.notify_all();
}

JobOutcome CTovarDlg::WaitJobOutcome(int nTimeoutMs)
{
    std::unique_lock<std::mutex> lock(m_WorkerMutex);
    m_WorkerCond.wait_for(lock, std::chrono::milliseconds(nTimeoutMs),
                          [this] { return m_LastOutcome != JobOutcome::None || m_bWorkerEnded.load() != 0; });
    JobOutcome outcome = m_LastOutcome;
    m_LastOutcome = JobOutcome::None;
    return outcome;
}

bool CTovarDlg::WaitForWorkerEnd()
{
    std::unique_lock<std::mutex> lock(m_WorkerMutex);
    return m_WorkerCond.wait_for(lock, std::chrono::milliseconds(m_Options.nExitWaitMs),
                                 [this] { return m_bWorkerEnded.load() != 0; });
}
