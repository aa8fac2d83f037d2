#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "base/clock.h"
#include "samba/at91_backend.h"
#include "samba/monitor_limits.h"
#include "serial/serial_line.h"

// One open boot monitor: its line and the commands of the monitor's normal (binary) mode.
// Results are monitor error words (0 = success). Calls on one session are serialised.
// On the serial link blocks go as XMODEM and an applet ends with 0x06; on the USB link a block's
// bytes follow its command raw (S and R carry the length) and an applet ends silently.
class CMonitorSession {
public:
    CMonitorSession(IClock& clock, const std::atomic<int>* pCancel, const MonitorLimits& limits,
                    MonitorLink link = MonitorLink::Serial);

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
    int32_t ReadValueLocked(uint32_t nAddress, int nBytes, uint32_t& nValue, int nReplyMs);
    int32_t WriteRawBlock(uint32_t nAddress, const uint8_t* pData, int32_t nSize);
    int32_t ReadRawBlock(uint32_t nAddress, uint8_t* pData, int32_t nSize);
    // The time one raw block of nSize bytes may take on the line.
    int RawBlockMs(int32_t nSize) const;

    std::mutex m_mutex;
    MonitorLimits m_limits;
    MonitorLink m_link;
    const std::atomic<int>* m_pCancel;
    CSerialLine m_line;
    bool m_bClosed = true;  // not opened, or Close ran: calls are on a handle that does not exist
};

// True when a block of nSize bytes at nAddress, padded to whole XMODEM packets (bPadded), would
// touch the top 8 KB of internal SRAM (0x306000..0x307FFF), which the running monitor uses.
bool BlockReachesMonitorArea(uint32_t nAddress, uint64_t nSize, bool bPadded = true);

// The reads a raw block read of nSize bytes is made of: the ROM's USB stack mishandles a read whose
// length is a power of two above 32 bytes, so such a length is read as its first n-1 bytes and its last.
std::vector<int32_t> UsbReadPieces(int32_t nSize);
