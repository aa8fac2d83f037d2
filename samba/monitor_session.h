#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "base/clock.h"
#include "samba/monitor_limits.h"
#include "serial/serial_line.h"

// One open boot monitor: its line and the commands of the monitor's normal (binary) mode.
// Results are monitor error words (0 = success). Calls on one session are serialised.
class CMonitorSession {
public:
    CMonitorSession(IClock& clock, const std::atomic<int>* pCancel, const MonitorLimits& limits);

    // Opens the line and makes sure a monitor answers in normal mode (one retry).
    int32_t Open(const std::string& strPath, std::string& strError);
    void Close();

    // nBytes 1, 2 or 4: the o, h or w command; the value is little-endian on the line.
    int32_t ReadValue(uint32_t nAddress, int nBytes, uint32_t& nValue);
    // nBytes 1, 2 or 4: the O, H or W command, which has no answer.
    int32_t WriteValue(uint32_t nAddress, int nBytes, uint32_t nValue);
    int32_t WriteBlock(uint32_t nAddress, const uint8_t* pData, int32_t nSize);
    int32_t ReadBlock(uint32_t nAddress, uint8_t* pData, int32_t nSize);
    // G<a>#, then the applet's 0x06 (or its time limit), then a word read proves the monitor is back.
    int32_t Jump(uint32_t nAddress);

private:
    bool Connect();
    // Throws away stale input, then sends a command.
    int32_t Command(const std::string& strCommand);
    // After a failed XMODEM session: cancel it and bring the monitor back to normal mode.
    void AbortTransfer();
    int32_t ReadValueLocked(uint32_t nAddress, int nBytes, uint32_t& nValue);

    std::mutex m_mutex;
    MonitorLimits m_limits;
    const std::atomic<int>* m_pCancel;
    CSerialLine m_line;
    bool m_bClosed = true;  // not opened, or Close ran: calls are on a handle that does not exist
};

// True when a block of nSize bytes at nAddress, padded to whole XMODEM packets, would touch the
// top 8 KB of internal SRAM (0x306000..0x307FFF), which the running monitor uses.
bool BlockReachesMonitorArea(uint32_t nAddress, uint64_t nSize);
