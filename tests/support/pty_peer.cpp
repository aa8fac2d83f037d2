#include "support/pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

CPtyPeer::CPtyPeer()
{
    char szName[128];
    termios tio {};
    cfmakeraw(&tio);
    if (openpty(&m_nMaster, &m_nSlaveHolder, szName, &tio, nullptr) == 0)
        m_strSlavePath = szName;
    else
        m_nMaster = m_nSlaveHolder = -1;
}

CPtyPeer::~CPtyPeer()
{
    Stop();
    if (m_nSlaveHolder >= 0)
        ::close(m_nSlaveHolder);
    if (m_nMaster >= 0)
        ::close(m_nMaster);
}

void CPtyPeer::Start(Handler fnHandler)
{
    m_fnHandler = std::move(fnHandler);
    m_bStop = 0;
    m_thread = std::thread([this] { Run(); });
}

void CPtyPeer::Stop()
{
    m_bStop = 1;
    if (m_thread.joinable())
        m_thread.join();
}

void CPtyPeer::Run()
{
    char buffer[1024];
    while (!m_bStop.load()) {
        pollfd pfd {m_nMaster, POLLIN, 0};
        if (::poll(&pfd, 1, 10) <= 0)
            continue;
        ssize_t nRead = ::read(m_nMaster, buffer, sizeof(buffer));
        if (nRead <= 0)
            continue;
        std::string strReply = m_fnHandler(std::string(buffer, static_cast<size_t>(nRead)));
        if (!strReply.empty() && ::write(m_nMaster, strReply.data(), strReply.size()) < 0)
            break;
    }
}
