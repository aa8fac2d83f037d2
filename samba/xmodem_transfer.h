#pragma once
#include <cstddef>
#include <cstdint>

#include "samba/monitor_limits.h"
#include "serial/serial_line.h"

// The host's side of one XMODEM-CRC session on the monitor's line, once the S or R command has
// been sent. Results are monitor error words (0 = success); the caller aborts and resyncs on failure.
class CXmodemTransfer {
public:
    CXmodemTransfer(CSerialLine& line, const MonitorLimits& limits) : m_line(line), m_limits(limits) {}

    // Sends nSize bytes as 128-byte packets, the last padded with 0x00; nSize 0 sends only EOT.
    int32_t Send(const uint8_t* pData, size_t nSize);
    // Receives packets until EOT and keeps the first nSize bytes.
    int32_t Receive(uint8_t* pData, size_t nSize);

    static int32_t ErrorOf(CSerialLine::Result result);

private:
    int32_t WaitForStart();
    // Sends a packet (or EOT) until it is acknowledged.
    int32_t SendUntilAcked(const uint8_t* pPacket, size_t nLength, bool bTolerateC);
    int32_t ReceiveFirstByte(uint8_t& cByte);

    CSerialLine& m_line;
    const MonitorLimits& m_limits;
};
