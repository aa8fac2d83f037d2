#include "serial/serial.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "serial/com_port_map.h"
#include "serial/line_settings.h"

namespace {

// errno values that mean the device itself is gone or hung up, not just busy.
bool DeviceGone(int nError)
{
    return nError == EIO || nError == ENXIO || nError == ENODEV || nError == EBADF;
}

} // namespace

CSerial::CSerial() = default;

CSerial::CSerial(PortResolver resolver) : m_Resolver(std::move(resolver)) {}

CSerial::~CSerial()
{
    ClosePort();
}

bool CSerial::ApplySettings(const DCB& settings)
{
    termios tio {};
    if (tcgetattr(m_hPort, &tio) != 0 || !DcbToTermios(settings, tio))
        return false;
    return tcsetattr(m_hPort, TCSANOW, &tio) == 0;
}

void CSerial::EnableRtsOnSend()
{
    // RTS raised while sending and dropped after, where the driver can do it. Pseudo-terminals
    // and most USB adapters refuse; the line then works without it.
    serial_rs485 rs485 {};
    m_bRs485Saved = ioctl(m_hPort, TIOCGRS485, &rs485) == 0;
    if (!m_bRs485Saved)
        rs485 = serial_rs485 {};
    m_SavedRs485 = rs485;
    rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND | SER_RS485_RX_DURING_TX;
    rs485.flags &= ~static_cast<uint32_t>(SER_RS485_RTS_AFTER_SEND);
    (void)ioctl(m_hPort, TIOCSRS485, &rs485);
}

int CSerial::OpenPort(int nPort, DCB settings)
{
    if (m_bOpen)
        return 1;

    const std::string strPath = m_Resolver ? m_Resolver(nPort) : GetDefaultComPortMap().PathForPort(nPort);
    if (strPath.empty())
        return 0;

    m_hPort = open(strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_hPort < 0)
        return 0;

    bool bOk = isatty(m_hPort) != 0;
    if (bOk && flock(m_hPort, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        bOk = false;  // another program holds the line; other flock failures are no reason to refuse
    if (bOk)
        bOk = ApplySettings(settings);
    if (!bOk) {
        close(m_hPort);
        m_hPort = -1;
        return 0;
    }

    EnableRtsOnSend();
    m_bOpen = true;
    tcflush(m_hPort, TCIOFLUSH);
    return 1;
}

int CSerial::ClosePort()
{
    if (!m_bOpen || m_hPort < 0)
        return 1;
    // The driver keeps the RS-485 mode after close: give the next user of the port its old mode.
    if (m_bRs485Saved)
        (void)ioctl(m_hPort, TIOCSRS485, &m_SavedRs485);
    m_bRs485Saved = false;
    close(m_hPort);
    m_hPort = -1;
    m_bOpen = false;
    return 1;
}

void CSerial::DropIfGone(int nError)
{
    if (DeviceGone(nError))
        ClosePort();
}

int CSerial::WriteData(const void* pBuffer, int nLength)
{
    if (!m_bOpen || m_hPort < 0 || pBuffer == nullptr || nLength <= 0)
        return 0;

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_nWriteTimeoutMs);
    const auto* pBytes = static_cast<const uint8_t*>(pBuffer);
    int nDone = 0;
    while (nDone < nLength) {
        ssize_t nWritten = write(m_hPort, pBytes + nDone, static_cast<size_t>(nLength - nDone));
        if (nWritten > 0) {
            nDone += static_cast<int>(nWritten);
            continue;
        }
        if (nWritten < 0 && errno == EINTR)
            continue;
        if (nWritten < 0 && errno != EAGAIN) {
            DropIfGone(errno);
            break;
        }
        // The output queue is full: wait for room, but never past the time limit.
        auto nLeft = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (nLeft <= 0)
            break;
        pollfd pfd {m_hPort, POLLOUT, 0};
        int nReady = poll(&pfd, 1, static_cast<int>(nLeft));
        if (nReady < 0 && errno == EINTR)
            continue;
        if (nReady <= 0)
            break;
        if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            ClosePort();
            break;
        }
    }
    return nDone;
}

int CSerial::SendByte(uint8_t cValue)
{
    WriteData(&cValue, 1);
    return 1;
}

int CSerial::BytesWaiting()
{
    if (!m_bOpen || m_hPort < 0)
        return 0;
    int nCount = 0;
    if (ioctl(m_hPort, FIONREAD, &nCount) != 0) {
        DropIfGone(errno);
        return 0;
    }
    return nCount > 0 ? nCount : 0;
}

int CSerial::ReadData(void* pBuffer, int nLimit)
{
    if (!m_bOpen || m_hPort < 0 || pBuffer == nullptr || nLimit <= 0)
        return 0;
    int nCount = BytesWaiting();
    if (nCount <= 0)
        return 0;
    if (nLimit < nCount)
        nCount = nLimit;
    ssize_t nRead;
    do {
        nRead = read(m_hPort, pBuffer, static_cast<size_t>(nCount));
    } while (nRead < 0 && errno == EINTR);
    if (nRead < 0) {
        DropIfGone(errno);
        return 0;
    }
    return static_cast<int>(nRead);
}
