#pragma once
#include <linux/serial.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/clock.h"
#include "serial/dcb.h"

// One serial line on POSIX termios, opened by device path, raw, non-blocking. Works on real
// ttys and pseudo-terminals. Every wait ends at a deadline on the given clock, or early when
// the cancel flag is set. Every outcome is a return value; nothing is logged or thrown. One
// thread at a time.
//
// An advisory flock(LOCK_EX) keeps two cooperating programs (the console handshake and the
// boot monitor of another instance, say) off one line; TIOCEXCL is not used because it
// outlives our descriptor on the tty and does not stop root anyway.
//
// When the device goes away while open (adapter pulled, other end of a pseudo-terminal
// closed) the call that notices it closes the line, so a later Open opens the device anew.
class CSerialLine {
public:
    enum Result { LINE_OK, LINE_TIMEOUT, LINE_LOST, LINE_CANCELLED };
    // RTS_ON_SEND: RTS raised while sending and dropped after, where the driver can do it; the
    // driver's previous mode comes back at Close.
    enum RtsMode { RTS_AS_IS, RTS_ON_SEND };

    explicit CSerialLine(IClock& clock, const std::atomic<int>* pCancel = nullptr);
    ~CSerialLine();
    CSerialLine(const CSerialLine&) = delete;
    CSerialLine& operator=(const CSerialLine&) = delete;

    // Closes what was open, then opens a terminal device with the four line settings (see
    // DcbToTermios; BaudRate 0 leaves the speed as it is) in raw mode without flow control, and
    // empties both queues. On failure strError says why: "<path>: busy: ...", "permission
    // denied ...", "not a terminal",
    // "no such device", or the system's text.
    bool Open(const std::string& strPath, const DCB& settings, std::string& strError,
              RtsMode rts = RTS_AS_IS);
    void Close();
    bool IsOpen() const { return m_nFd >= 0; }

    // The absolute time nMs from now, for the calls below.
    uint64_t Deadline(int nMs) const;

    // Writes all bytes by the deadline; nDone says how many went out. LINE_LOST on a closed line.
    Result Write(const void* pData, size_t nLength, size_t& nDone, uint64_t nDeadlineMs);
    Result Write(const void* pData, size_t nLength, uint64_t nDeadlineMs);
    Result Write(const std::string& strText, uint64_t nDeadlineMs)
    {
        return Write(strText.data(), strText.size(), nDeadlineMs);
    }
    // Reads exactly nWant bytes; nGot says how many came before a failure.
    Result Read(uint8_t* pBuffer, size_t nWant, size_t& nGot, uint64_t nDeadlineMs);
    Result ReadByte(uint8_t& cByte, uint64_t nDeadlineMs);
    // One attempt to hand bytes to the line, without waiting and whatever the cancel flag says
    // (for abort sequences); true when all were taken.
    bool WriteNow(const void* pData, size_t nLength);
    // Throws away what has already arrived, without waiting; LINE_LOST when the line is gone.
    Result Discard(size_t* pCount = nullptr);
    // Throws away input until the line has been quiet for nQuietMs, nMaxMs at most.
    Result Drain(int nQuietMs, int nMaxMs);
    // Received bytes waiting in the input queue; 0 on a closed line.
    size_t BytesWaiting();
    // Reads at most nLimit of the bytes already waiting; never waits.
    size_t ReadAvailable(void* pBuffer, size_t nLimit);

private:
    Result Wait(short nEvents, uint64_t nDeadlineMs);
    // LINE_LOST, closing the line first when nError says the device is gone.
    Result Failed(int nError);
    // The device hung up: close the line.
    Result HungUp();
    void EnableRtsOnSend();
    bool Cancelled() const { return m_pCancel && m_pCancel->load() != 0; }

    IClock& m_clock;
    const std::atomic<int>* m_pCancel;
    int m_nFd = -1;
    bool m_bRs485Saved = false;  // m_SavedRs485 holds the driver's mode from before the open
    serial_rs485 m_SavedRs485 {};
};
