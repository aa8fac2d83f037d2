#pragma once
#include <cstdint>
#include <string>

#include "serial/com_port_map.h"
#include "serial/dcb.h"
#include "serial/serial_line.h"

// Time a write may take before it gives up and reports what went out.
constexpr int SERIAL_WRITE_TIMEOUT_MS = 5000;

// One serial port, opened by number through its port resolver, on a CSerialLine. Every
// outcome is a return value; nothing is logged or thrown. One thread at a time.
//
// Reads never wait, and a write waits for room at most the write time limit. The port asks
// the driver for RTS-on-send where it has it. When the device goes away while open, the next
// call that notices it closes the port and returns 0, so a later OpenPort opens the device anew.
class CSerial {
public:
    // Without a resolver no port number names a device: OpenPort fails until SetPortResolver.
    CSerial();
    explicit CSerial(PortResolver resolver);
    virtual ~CSerial();
    CSerial(const CSerial&) = delete;
    CSerial& operator=(const CSerial&) = delete;

    // 1 when the port is open afterwards; at once 1, changing nothing, when it was open.
    // Applies BaudRate, ByteSize (5..8), Parity (0 none, 1 odd, 2 even, 3 mark, 4 space) and
    // StopBits (0 one, 1 one and a half: 5 data bits only, 2 two) in raw mode without flow
    // control and empties both queues.
    int OpenPort(int nPort, DCB settings);
    int ClosePort();
    // Bytes written, 0 on a closed port or a length of 0 or less.
    int WriteData(const void* pBuffer, int nLength);
    // Writes one byte; always 1.
    int SendByte(uint8_t cValue);
    // Received bytes waiting in the input queue; 0 on a closed port.
    int BytesWaiting();
    // Reads at most nLimit of the bytes already waiting; never waits.
    int ReadData(void* pBuffer, int nLimit);

    bool IsOpen() const { return m_Line.IsOpen(); }
    // Why the last OpenPort failed, in words.
    const std::string& LastError() const { return m_strLastError; }
    void SetPortResolver(PortResolver resolver) { m_Resolver = std::move(resolver); }
    void SetWriteTimeoutMs(int nMs) { m_nWriteTimeoutMs = nMs; }

private:
    CSerialLine m_Line;
    std::string m_strLastError;
    PortResolver m_Resolver;
    int m_nWriteTimeoutMs = SERIAL_WRITE_TIMEOUT_MS;
};
