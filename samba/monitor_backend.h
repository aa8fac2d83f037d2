#pragma once
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/clock.h"
#include "samba/at91_backend.h"
#include "samba/monitor_error.h"
#include "samba/monitor_limits.h"
#include "serial/com_port_map.h"

class CMonitorSession;

// The serial devices that exist now.
using ComPortScanner = std::function<std::vector<ComPortEntry>()>;

// The real backend of the boot-monitor wrapper: the ROM monitor's protocol on a serial line.
// Device names are "COMn (path)" (CComPortMap::FormatEntry); the port number selects the device,
// through the resolver. After SetUsbLink the name is the monitor's USB port (CMonitorPortPath),
// waited for and spoken to in the USB dialect. Handles are small
// positive numbers. Every call is bounded by the limits and ends early when the cancel flag is set;
// failures give the MON_ERR_* words of samba/monitor_error.h.
class CMonitorBackend : public IAt91Backend {
public:
    CMonitorBackend(PortResolver fnResolve, ComPortScanner fnScan, IClock& clock,
                    const std::atomic<int>* pCancel = nullptr, const MonitorLimits& limits = MonitorLimits());
    ~CMonitorBackend() override;

    void CloseDevice(int32_t hDevice) override;
    void OpenDevice(const char* szName, int32_t& hDevice) override;
    void WriteWord(int32_t hDevice, int32_t nValue, int32_t nAddress, int32_t& nError) override;
    void WriteHalfWord(int32_t hDevice, int16_t nValue, int32_t nAddress, int32_t& nError) override;
    void WriteByte(int32_t hDevice, uint8_t cValue, int32_t nAddress, int32_t& nError) override;
    void WriteBlock(int32_t hDevice, int32_t nAddress, const uint8_t* pBuffer, int32_t nSize,
                    int32_t& nError) override;
    void ReadWord(int32_t hDevice, int32_t& nValue, int32_t nAddress, int32_t& nError) override;
    void ReadHalfWord(int32_t hDevice, int16_t& nValue, int32_t nAddress, int32_t& nError) override;
    void ReadByte(int32_t hDevice, uint8_t& cValue, int32_t nAddress, int32_t& nError) override;
    void ReadBlock(int32_t hDevice, int32_t nAddress, uint8_t* pBuffer, int32_t nSize, int32_t& nError) override;
    void Jump(int32_t hDevice, int32_t nAddress, int32_t& nError) override;
    void ScanDevices(char* szDevices[SCAN_MAX_DEVICES]) override;

    // Why the last OpenDevice gave no handle, for a log line.
    std::string LastOpenError() const override;
    void SetCancelFlag(const std::atomic<int>* pCancel) override { m_pCancel = pCancel; }
    void SetUsbLink(int nAppearWaitMs) override;
    std::string ErrorText(int32_t nError) const override;

private:
    std::shared_ptr<CMonitorSession> Session(int32_t hDevice);
    // The USB port's device once it is there, or empty with m_strLastOpenError set.
    std::string WaitForUsbPort(const std::string& strName, uint64_t nDeadlineMs);
    // Opens and connects; on USB tries again until the deadline while the new node cannot be opened yet.
    std::shared_ptr<CMonitorSession> OpenSession(const std::string& strPath, uint64_t nDeadlineMs);

    PortResolver m_fnResolve;
    ComPortScanner m_fnScan;
    IClock& m_clock;
    const std::atomic<int>* m_pCancel;
    MonitorLimits m_limits;
    MonitorLink m_link = MonitorLink::Serial;
    int m_nUsbWaitMs = 0;

    mutable std::mutex m_mutex;
    std::map<int32_t, std::shared_ptr<CMonitorSession>> m_mapSessions;
    int32_t m_nNextHandle = 1;
    std::string m_strLastOpenError;
};
