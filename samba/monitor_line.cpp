#include "samba/monitor_line.h"

#include <fcntl.h>
#include <sys/file.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Longest single poll, so that a cancel request is seen soon.
constexpr int POLL_SLICE_MS = 20;

}  // namespace

CMonitorLine::CMonitorLine(IClock& clock, const std::atomic<int>* pCancel) : m_clock(clock), m_pCancel(pCancel) {}

CMonitorLine::~CMonitorLine() { Close(); }

bool CMonitorLine::Open(const std::string& strPath, std::string& strError)
{
    Close();
    int nFd = ::open(strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (nFd < 0) {
        strError = strPath + ": " + std::strerror(errno);
        return false;
    }
    // The console handshake holds this lock while it keeps the line open: the monitor must not
    // talk into the boot loader's console.
    if (flock(nFd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        strError = strPath + ": in use by another port";
        ::close(nFd);
        return false;
    }
    termios tio {};
    if (!isatty(nFd) || tcgetattr(nFd, &tio) != 0) {
        strError = strPath + ": not a terminal";
        ::close(nFd);
        return false;
    }
    cfmakeraw(&tio);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    // VMIN 1 makes an empty non-blocking read fail with EAGAIN, so a read of 0 bytes means hang-up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    if (tcsetattr(nFd, TCSANOW, &tio) != 0) {
        strError = strPath + ": cannot set the line: " + std::strerror(errno);
        ::close(nFd);
        return false;
    }
    tcflush(nFd, TCIOFLUSH);
    m_nFd = nFd;
    return true;
}

void CMonitorLine::Close()
{
    if (m_nFd >= 0) {
        ::close(m_nFd);
        m_nFd = -1;
    }
}

uint64_t CMonitorLine::Deadline(int nMs) const { return m_clock.NowMs() + static_cast<uint64_t>(std::max(nMs, 0)); }

CMonitorLine::Result CMonitorLine::Wait(short nEvents, uint64_t nDeadlineMs)
{
    for (;;) {
        if (Cancelled())
            return LINE_CANCELLED;
        uint64_t nNow = m_clock.NowMs();
        uint64_t nLeft = nDeadlineMs > nNow ? nDeadlineMs - nNow : 0;
        pollfd pfd {m_nFd, nEvents, 0};
        int nReady = ::poll(&pfd, 1, static_cast<int>(std::min<uint64_t>(nLeft, POLL_SLICE_MS)));
        if (nReady < 0 && errno != EINTR)
            return LINE_LOST;
        if (nReady > 0) {
            if (pfd.revents & nEvents)
                return LINE_OK;
            if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL))
                return LINE_LOST;
        }
        if (nLeft == 0)
            return LINE_TIMEOUT;
    }
}

CMonitorLine::Result CMonitorLine::Write(const void* pData, size_t nLength, uint64_t nDeadlineMs)
{
    if (m_nFd < 0)
        return LINE_LOST;
    const auto* pBytes = static_cast<const uint8_t*>(pData);
    size_t nDone = 0;
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
            return LINE_LOST;
        Result result = Wait(POLLOUT, nDeadlineMs);
        if (result != LINE_OK)
            return result;
    }
    return LINE_OK;
}

bool CMonitorLine::WriteNow(const void* pData, size_t nLength)
{
    if (m_nFd < 0)
        return false;
    ssize_t nWritten = ::write(m_nFd, pData, nLength);
    return nWritten == static_cast<ssize_t>(nLength);
}

CMonitorLine::Result CMonitorLine::Read(uint8_t* pBuffer, size_t nWant, size_t& nGot, uint64_t nDeadlineMs)
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
            return LINE_LOST;  // hang-up
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN)
            return LINE_LOST;
        Result result = Wait(POLLIN, nDeadlineMs);
        if (result != LINE_OK)
            return result;
    }
    return LINE_OK;
}

CMonitorLine::Result CMonitorLine::ReadByte(uint8_t& cByte, uint64_t nDeadlineMs)
{
    size_t nGot = 0;
    return Read(&cByte, 1, nGot, nDeadlineMs);
}

CMonitorLine::Result CMonitorLine::Discard(size_t* pCount)
{
    if (pCount)
        *pCount = 0;
    if (m_nFd < 0)
        return LINE_LOST;
    uint8_t buffer[256];
    for (;;) {
        ssize_t nRead = ::read(m_nFd, buffer, sizeof(buffer));
        if (nRead > 0) {
            if (pCount)
                *pCount += static_cast<size_t>(nRead);
            continue;
        }
        if (nRead < 0 && errno == EINTR)
            continue;
        if (nRead < 0 && errno == EAGAIN)
            return LINE_OK;
        return LINE_LOST;
    }
}

CMonitorLine::Result CMonitorLine::Drain(int nQuietMs, int nMaxMs)
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
