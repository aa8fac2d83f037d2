#include "support/pty_pair.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

CPtyPair::CPtyPair()
{
    char szName[128] = {};
    if (openpty(&m_hMaster, &m_hSlave, szName, nullptr, nullptr) != 0) {
        m_hMaster = m_hSlave = -1;
        return;
    }
    m_strSlavePath = szName;
    // The master must not turn the board's bytes into anything else either.
    termios tio {};
    if (tcgetattr(m_hSlave, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(m_hSlave, TCSANOW, &tio);
    }
    fcntl(m_hMaster, F_SETFL, fcntl(m_hMaster, F_GETFL) | O_NONBLOCK);
}

CPtyPair::~CPtyPair()
{
    CloseMaster();
    if (m_hSlave >= 0)
        close(m_hSlave);
}

bool CPtyPair::SendFromBoard(const std::string& strBytes)
{
    return write(m_hMaster, strBytes.data(), strBytes.size()) == static_cast<ssize_t>(strBytes.size());
}

bool CPtyPair::WaitSlaveQueued(int nCount, int nTimeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;) {
        int nQueued = 0;
        if (ioctl(m_hSlave, FIONREAD, &nQueued) == 0 && nQueued >= nCount)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        pollfd pfd {m_hSlave, POLLIN, 0};
        poll(&pfd, 1, 5);
    }
}

std::string CPtyPair::ReceiveOnBoard(size_t nMax, int nTimeoutMs)
{
    std::string strReceived;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    while (strReceived.size() < nMax) {
        char buf[4096];
        size_t nWant = std::min(sizeof buf, nMax - strReceived.size());
        ssize_t n = read(m_hMaster, buf, nWant);
        if (n > 0) {
            strReceived.append(buf, static_cast<size_t>(n));
            continue;
        }
        auto nLeft = std::chrono::duration_cast<std::chrono::milliseconds>(
                         deadline - std::chrono::steady_clock::now()).count();
        if (nLeft <= 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
            break;
        pollfd pfd {m_hMaster, POLLIN, 0};
        poll(&pfd, 1, static_cast<int>(nLeft));
    }
    return strReceived;
}

void CPtyPair::CloseMaster()
{
    if (m_hMaster >= 0)
        close(m_hMaster);
    m_hMaster = -1;
}
