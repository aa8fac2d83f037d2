#include "serial/serial_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "serial/line_settings.h"

namespace {

// Longest single poll, so that a cancel request is seen soon.
constexpr int POLL_SLICE_MS = 20;

// errno values that mean the device itself is gone or hung up, not just busy.
bool DeviceGone(int nError)
{
    return nError == EIO || nError == ENXIO || nError == ENODEV || nError == EBADF;
}

std::string OpenFailure(int nError)
{
    switch (nError) {
    case ENOENT:
    case ENODEV:
    case ENXIO: return "no such device";
    case EACCES:
    case EPERM: return "permission denied (is the user in the dialout group?)";
    case EBUSY: return "busy: in use by another process";
    default: return std::strerror(nError);
    }
}

}  // namespace

CSerialLine::CSerialLine(IClock& clock, const std::atomic<int>* pCancel) : m_clock(clock), m_pCancel(pCancel) {}

CSerialLine::~CSerialLine() { Close(); }

bool CSerialLine::Open(const std::string& strPath, const DCB& settings, std::string& strError, RtsMode rts)
{
    Close();
    int nFd = ::open(strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (nFd < 0) {
        strError = strPath + ": " + OpenFailure(errno);
        return false;
    }
    std::string strWhy;
    termios tio {};
    if (!isatty(nFd) || tcgetattr(nFd, &tio) != 0)
        strWhy = "not a terminal";
    else if (flock(nFd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        strWhy = OpenFailure(EBUSY);  // other flock failures are no reason to refuse
    else if (settings.BaudRate == 0 ? !DcbFramingToTermios(settings, tio) : !DcbToTermios(settings, tio))
        strWhy = "line settings not supported";
    if (strWhy.empty()) {
        // VMIN 1 makes an empty non-blocking read fail with EAGAIN, so a read of 0 bytes means hang-up.
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        if (tcsetattr(nFd, TCSANOW, &tio) != 0)
            strWhy = std::string("cannot set the line: ") + std::strerror(errno);
    }
    if (!strWhy.empty()) {
        strError = strPath + ": " + strWhy;
        ::close(nFd);
        return false;
    }
    m_nFd = nFd;
    if (rts == RTS_ON_SEND)
        EnableRtsOnSend();
    tcflush(m_nFd, TCIOFLUSH);
    return true;
}

void CSerialLine::EnableRtsOnSend()
{
    // Pseudo-terminals and most USB adapters refuse; the line then works without it.
    serial_rs485 rs485 {};
    m_bRs485Saved = ioctl(m_nFd, TIOCGRS485, &rs485) == 0;
    if (!m_bRs485Saved)
        rs485 = serial_rs485 {};
    m_SavedRs485 = rs485;
    rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND | SER_RS485_RX_DURING_TX;
    rs485.flags &= ~static_cast<uint32_t>(SER_RS485_RTS_AFTER_SEND);
    (void)ioctl(m_nFd, TIOCSRS485, &rs485);
}

void CSerialLine::Close()
{
    if (m_nFd < 0)
        return;
    // The driver keeps the RS-485 mode after close: give the next user of the port its old mode.
    if (m_bRs485Saved)
        (void)ioctl(m_nFd, TIOCSRS485, &m_SavedRs485);
    m_bRs485Saved = false;
    ::close(m_nFd);
    m_nFd = -1;
}

CSerialLine::Result CSerialLine::Failed(int nError)
{
    if (DeviceGone(nError))
        Close();
    return LINE_LOST;
}

CSerialLine::Result CSerialLine::HungUp()
{
    Close();
    return LINE_LOST;
}

uint64_t CSerialLine::Deadline(int nMs) const { return m_clock.NowMs() + static_cast<uint64_t>(std::max(nMs, 0)); }

CSerialLine::Result CSerialLine::Wait(short nEvents, uint64_t nDeadlineMs)
{
    for (;;) {
        if (Cancelled())
            return LINE_CANCELLED;
        uint64_t nNow = m_clock.NowMs();
        uint64_t nLeft = nDeadlineMs > nNow ? nDeadlineMs - nNow : 0;
        pollfd pfd {m_nFd, nEvents, 0};
        int nReady = ::poll(&pfd, 1, static_cast<int>(std::min<uint64_t>(nLeft, POLL_SLICE_MS)));
        if (nReady < 0 && errno != EINTR)
            return Failed(errno);
        if (nReady > 0) {
            if (pfd.revents & nEvents)
                return LINE_OK;
            if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL))
                return HungUp();
        }
        if (nLeft == 0)
            return LINE_TIMEOUT;
    }
}

CSerialLine::Result CSerialLine::Write(const void* pData, size_t nLength, size_t& nDone, uint64_t nDeadlineMs)
{
    nDone = 0;
    if (m_nFd < 0)
        return LINE_LOST;
    const auto* pBytes = static_cast<const uint8_t*>(pData);
    while (nDone < nLength) {
        if (Cancelled())
            return LINE_CANCELLED;
        ssize_t nWritten = ::write(m_nFd, pBytes + nDone, nLength - nDone);
        if (nWritten > 0) {
            nDone += static_cast<size_t>(nWritten);
            continue;
        }
        if (nWritten < 0 && errno == EINTR)
            continue;
        if (nWritten < 0 && errno != EAGAIN)
            return Failed(errno);
        // The output queue is full: wait for room, but never past the deadline.
        Result result = Wait(POLLOUT, nDeadlineMs);
        if (result != LINE_OK)
            return result;
    }
    return LINE_OK;
}

CSerialLine::Result CSerialLine::Write(const void* pData, size_t nLength, uint64_t nDeadlineMs)
{
    size_t nDone = 0;
    return Write(pData, nLength, nDone, nDeadlineMs);
}

bool CSerialLine::WriteNow(const void* pData, size_t nLength)
{
    if (m_nFd < 0)
        return false;
    ssize_t nWritten = ::write(m_nFd, pData, nLength);
    if (nWritten < 0)
        Failed(errno);
    return nWritten == static_cast<ssize_t>(nLength);
}

CSerialLine::Result CSerialLine::Read(uint8_t* pBuffer, size_t nWant, size_t& nGot, uint64_t nDeadlineMs)
{
    nGot = 0;
    if (m_nFd < 0)
        return LINE_LOST;
    while (nGot < nWant) {
        ssize_t nRead = ::read(m_nFd, pBuffer + nGot, nWant - nGot);
        if (nRead > 0) {
            nGot += static_cast<size_t>(nRead);
            continue;
        }
        if (nRead == 0)
            return HungUp();
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN)
            return Failed(errno);
        Result result = Wait(POLLIN, nDeadlineMs);
        if (result != LINE_OK)
            return result;
    }
    return LINE_OK;
}

CSerialLine::Result CSerialLine::ReadByte(uint8_t& cByte, uint64_t nDeadlineMs)
{
    size_t nGot = 0;
    return Read(&cByte, 1, nGot, nDeadlineMs);
}

size_t CSerialLine::ReadAvailable(void* pBuffer, size_t nLimit)
{
    if (m_nFd < 0 || pBuffer == nullptr || nLimit == 0)
        return 0;
    for (;;) {
        ssize_t nRead = ::read(m_nFd, pBuffer, nLimit);
        if (nRead > 0)
            return static_cast<size_t>(nRead);
        if (nRead == 0)
            HungUp();
        else if (errno == EINTR)
            continue;
        else if (errno != EAGAIN)
            Failed(errno);
        return 0;
    }
}

CSerialLine::Result CSerialLine::Discard(size_t* pCount)
{
    if (pCount)
        *pCount = 0;
    uint8_t buffer[256];
    while (m_nFd >= 0) {
        ssize_t nRead = ::read(m_nFd, buffer, sizeof(buffer));
        if (nRead > 0) {
            if (pCount)
                *pCount += static_cast<size_t>(nRead);
            continue;
        }
        if (nRead == 0)
            return HungUp();
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN)
            return LINE_OK;
        return Failed(errno);
    }
    return LINE_LOST;
}

CSerialLine::Result CSerialLine::Drain(int nQuietMs, int nMaxMs)
{
    uint64_t nEnd = Deadline(nMaxMs);
    for (;;) {
        Result result = Discard();
        if (result != LINE_OK)
            return result;
        uint64_t nQuietEnd = std::min(Deadline(nQuietMs), nEnd);
        result = Wait(POLLIN, nQuietEnd);
        if (result == LINE_TIMEOUT)
            return LINE_OK;
        if (result != LINE_OK)
            return result;
        if (m_clock.NowMs() >= nEnd)
            return Discard();
    }
}

size_t CSerialLine::BytesWaiting()
{
    if (m_nFd < 0)
        return 0;
    int nCount = 0;
    if (ioctl(m_nFd, FIONREAD, &nCount) != 0) {
        Failed(errno);
        return 0;
    }
    return nCount > 0 ? static_cast<size_t>(nCount) : 0;
}
