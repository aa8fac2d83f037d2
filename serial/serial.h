#pragma once
#include <linux/serial.h>

#include <cstdint>
#include <functional>
#include <string>

#include "serial/dcb.h"

// Time a write may take before it gives up and reports what went out.
constexpr int SERIAL_WRITE_TIMEOUT_MS = 5000;

// Gives the device path for port number N, or an empty text when there is none.
using PortResolver = std::function<std::string(int)>;

// One serial port, opened by number, on POSIX termios. Works on real ttys and pseudo-terminals.
// Every outcome is a return value; nothing is logged or thrown. One thread at a time.
//
// The device is opened non-blocking: reads never wait, and a write waits for room at most the
// write time limit. An advisory flock(LOCK_EX) keeps two cooperating programs (two instances
// of this tool, say) off one line; TIOCEXCL is not used because it outlives our descriptor on
// the tty and does not stop root anyway.
//
// When the device goes away while open (adapter pulled, other end of a pseudo-terminal
// closed) the next call that notices it closes the port and returns 0, so a later OpenPort
// opens the device anew instead of holding on to a dead one.
class CSerial {
public:
    // Resolves port numbers through the process-wide map (see GetDefaultComPortMap) at each open.
    CSerial();
    explicit CSerial(PortResolver resolver);
    virtual ~CSerial();
    CSerial(const CSerial&) = delete;
    CSerial& operator=(const CSerial&) = delete;

    // 1 when the port is open afterwards; at once 1, changing nothing, when it was open.
    // Applies BaudRate, ByteSize (5..8), Parity (0 none, 1 odd, 2 even, 3 mark, 4 space) and
    // StopBits (0 one, 1 one and a half: 5 data bits only, 2 two) in raw mode without flow
    // control, asks the driver for RTS-on-send where it has it, and empties both queues.
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

    bool IsOpen() const { return m_bOpen; }
    void SetPortResolver(PortResolver resolver) { m_Resolver = std::move(resolver); }
    void SetWriteTimeoutMs(int nMs) { m_nWriteTimeoutMs = nMs; }

private:
    bool ApplySettings(const DCB& settings);
    void EnableRtsOnSend();
    // Closes the port when errno says the device has gone away.
    void DropIfGone(int nError);

    int m_hPort = -1;
    bool m_bRs485Saved = false;     // m_SavedRs485 holds the port's mode from before the open
    serial_rs485 m_SavedRs485 {};
    bool m_bOpen = false;
    PortResolver m_Resolver;
    int m_nWriteTimeoutMs = SERIAL_WRITE_TIMEOUT_MS;
};
