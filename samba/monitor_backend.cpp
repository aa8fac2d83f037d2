#include "samba/monitor_backend.h"

#include <algorithm>
#include <cstdio>

#include "samba/monitor_error.h"
#include "samba/monitor_session.h"
#include "serial/device_wait.h"
#include "serial/monitor_port_path.h"

namespace {

constexpr int REOPEN_PAUSE_MS = 50;  // a fresh device node may not be open to us at once

}  // namespace

CMonitorBackend::CMonitorBackend(PortResolver fnResolve, ComPortScanner fnScan, IClock& clock,
                                 const std::atomic<int>* pCancel, const MonitorLimits& limits)
    : m_fnResolve(std::move(fnResolve)), m_fnScan(std::move(fnScan)), m_clock(clock), m_pCancel(pCancel),
      m_limits(limits)
{
}

CMonitorBackend::~CMonitorBackend() = default;

std::shared_ptr<CMonitorSession> CMonitorBackend::Session(int32_t hDevice)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_mapSessions.find(hDevice);
    return it == m_mapSessions.end() ? nullptr : it->second;
}

std::string CMonitorBackend::ErrorText(int32_t nError) const { return MonitorErrorText(nError); }

std::string CMonitorBackend::LastOpenError() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_strLastOpenError;
}

void CMonitorBackend::SetUsbLink(int nAppearWaitMs)
{
    m_link = MonitorLink::Usb;
    m_nUsbWaitMs = nAppearWaitMs;
}

std::string CMonitorBackend::WaitForUsbPort(const std::string& strName, uint64_t nDeadlineMs)
{
    CMonitorPortPath portPath(m_fnResolve);
    CDeviceWait wait(m_clock, m_pCancel);
    std::string strPath;
    uint64_t nNow = m_clock.NowMs();
    int nWaitMs = nDeadlineMs > nNow ? static_cast<int>(nDeadlineMs - nNow) : 0;
    CDeviceWait::Result result = wait.Wait([&] { return portPath.PathNow(strName); }, nWaitMs, strPath);
    if (result == CDeviceWait::WAIT_FOUND)
        return strPath;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_strLastOpenError = result == CDeviceWait::WAIT_CANCELLED
                             ? strName + ": the wait for the boot monitor's USB port was cancelled"
                             : strName + ": the boot monitor's USB port did not appear within " +
                                   std::to_string((m_nUsbWaitMs + 999) / 1000) + " s";
    return {};
}

std::shared_ptr<CMonitorSession> CMonitorBackend::OpenSession(const std::string& strPath, uint64_t nDeadlineMs)
{
    for (;;) {
        auto pSession = std::make_shared<CMonitorSession>(m_clock, m_pCancel, m_limits, m_link);
        std::string strError;
        int32_t nError = pSession->Open(strPath, strError);
        if (nError == 0)
            return pSession;
        bool bAgain = m_link == MonitorLink::Usb && nError == MON_ERR_NO_DEVICE && m_clock.NowMs() < nDeadlineMs &&
                      !(m_pCancel && m_pCancel->load());
        if (!bAgain) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_strLastOpenError = strError;
            return nullptr;
        }
        m_clock.SleepMs(REOPEN_PAUSE_MS);
    }
}

void CMonitorBackend::OpenDevice(const char* szName, int32_t& hDevice)
{
    hDevice = 0;
    const std::string strName = szName ? szName : "(null)";
    std::string strPath;
    const uint64_t nDeadlineMs = m_clock.NowMs() + static_cast<uint64_t>(std::max(m_nUsbWaitMs, 0));
    if (m_link == MonitorLink::Usb) {
        strPath = WaitForUsbPort(strName, nDeadlineMs);
        if (strPath.empty())
            return;
    } else {
        ComPortEntry entry;
        bool bNamed = szName && CComPortMap::ParseEntry(szName, entry);
        strPath = bNamed && m_fnResolve ? m_fnResolve(entry.nPort) : std::string();
        if (strPath.empty()) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_strLastOpenError = strName + ": no such serial port";
            return;
        }
    }
    auto pSession = OpenSession(strPath, nDeadlineMs);
    if (!pSession)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    while (m_nNextHandle <= 0 || m_mapSessions.count(m_nNextHandle))
        m_nNextHandle = m_nNextHandle <= 0 ? 1 : m_nNextHandle + 1;
    hDevice = m_nNextHandle++;
    m_mapSessions[hDevice] = pSession;
}

void CMonitorBackend::CloseDevice(int32_t hDevice)
{
    std::shared_ptr<CMonitorSession> pSession;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_mapSessions.find(hDevice);
        if (it == m_mapSessions.end())
            return;
        pSession = it->second;
        m_mapSessions.erase(it);
    }
    pSession->Close();  // waits for a call still running on another thread
}

void CMonitorBackend::WriteWord(int32_t hDevice, int32_t nValue, int32_t nAddress, int32_t& nError)
{
    auto pSession = Session(hDevice);
    nError = pSession ? pSession->WriteValue(static_cast<uint32_t>(nAddress), 4, static_cast<uint32_t>(nValue))
                      : MON_ERR_BAD_HANDLE;
}

void CMonitorBackend::WriteHalfWord(int32_t hDevice, int16_t nValue, int32_t nAddress, int32_t& nError)
{
    auto pSession = Session(hDevice);
    nError = pSession ? pSession->WriteValue(static_cast<uint32_t>(nAddress), 2, static_cast<uint16_t>(nValue))
                      : MON_ERR_BAD_HANDLE;
}

void CMonitorBackend::WriteByte(int32_t hDevice, uint8_t cValue, int32_t nAddress, int32_t& nError)
{
    auto pSession = Session(hDevice);
    nError = pSession ? pSession->WriteValue(static_cast<uint32_t>(nAddress), 1, cValue) : MON_ERR_BAD_HANDLE;
}

void CMonitorBackend::WriteBlock(int32_t hDevice, int32_t nAddress, const uint8_t* pBuffer, int32_t nSize,
                                 int32_t& nError)
{
    auto pSession = Session(hDevice);
    nError = pSession ? pSession->WriteBlock(static_cast<uint32_t>(nAddress), pBuffer, nSize) : MON_ERR_BAD_HANDLE;
}

// A 1-, 2- or 4-byte read; the value is stored only when the read succeeded.
template <typename T>
static void ReadTyped(CMonitorSession* pSession, int nBytes, T& value, int32_t nAddress, int32_t& nError)
{
    uint32_t nRead = 0;
    nError = pSession ? pSession->ReadValue(static_cast<uint32_t>(nAddress), nBytes, nRead) : MON_ERR_BAD_HANDLE;
    if (nError == 0)
        value = static_cast<T>(nRead);
}

void CMonitorBackend::ReadWord(int32_t hDevice, int32_t& nValue, int32_t nAddress, int32_t& nError)
{
    ReadTyped(Session(hDevice).get(), 4, nValue, nAddress, nError);
}

void CMonitorBackend::ReadHalfWord(int32_t hDevice, int16_t& nValue, int32_t nAddress, int32_t& nError)
{
    ReadTyped(Session(hDevice).get(), 2, nValue, nAddress, nError);
}

void CMonitorBackend::ReadByte(int32_t hDevice, uint8_t& cValue, int32_t nAddress, int32_t& nError)
{
    ReadTyped(Session(hDevice).get(), 1, cValue, nAddress, nError);
}

void CMonitorBackend::ReadBlock(int32_t hDevice, int32_t nAddress, uint8_t* pBuffer, int32_t nSize,
                                int32_t& nError)
{
    auto pSession = Session(hDevice);
    nError = pSession ? pSession->ReadBlock(static_cast<uint32_t>(nAddress), pBuffer, nSize) : MON_ERR_BAD_HANDLE;
}

void CMonitorBackend::Jump(int32_t hDevice, int32_t nAddress, int32_t& nError)
{
    auto pSession = Session(hDevice);
    nError = pSession ? pSession->Jump(static_cast<uint32_t>(nAddress)) : MON_ERR_BAD_HANDLE;
}

void CMonitorBackend::ScanDevices(char* szDevices[SCAN_MAX_DEVICES])
{
    std::vector<ComPortEntry> vecFound;
    if (m_fnScan)
        vecFound = m_fnScan();
    std::sort(vecFound.begin(), vecFound.end(), [](const ComPortEntry& a, const ComPortEntry& b) {
        return a.nPort != b.nPort ? a.nPort < b.nPort : a.strPath < b.strPath;
    });
    int nCount = 0;
    int nLastPort = 0;
    for (const ComPortEntry& entry : vecFound) {
        if (nCount == SCAN_MAX_DEVICES || !szDevices[nCount])
            break;
        if (entry.nPort < 1 || entry.nPort > COM_PORT_MAX || entry.nPort == nLastPort)
            continue;
        std::snprintf(szDevices[nCount++], DEVICE_NAME_SIZE, "%s", CComPortMap::FormatEntry(entry).c_str());
        nLastPort = entry.nPort;
    }
    if (nCount < SCAN_MAX_DEVICES)
        szDevices[nCount] = nullptr;
}
