#include "samba/monitor_backend.h"

#include <algorithm>
#include <cstdio>

#include "samba/monitor_error.h"
#include "samba/monitor_session.h"

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

void CMonitorBackend::OpenDevice(const char* szName, int32_t& hDevice)
{
    hDevice = 0;
    ComPortEntry entry;
    bool bNamed = szName && CComPortMap::ParseEntry(szName, entry);
    std::string strPath = bNamed && m_fnResolve ? m_fnResolve(entry.nPort) : std::string();
    std::string strError;
    if (strPath.empty()) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_strLastOpenError = std::string(szName ? szName : "(null)") + ": no such serial port";
        return;
    }
    auto pSession = std::make_shared<CMonitorSession>(m_clock, m_pCancel, m_limits);
    int32_t nError = pSession->Open(strPath, strError);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (nError != 0) {
        m_strLastOpenError = strError;
        return;
    }
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
