#include "net/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int kSendTimeoutMs = 1000;   // a datagram send only waits for socket buffer space
constexpr int kCollectBuffer = CNet::REPLY_BUFFER - 1;

timeval ToTimeval(int nMs)
{
    timeval tv{};
    tv.tv_sec = nMs / 1000;
    tv.tv_usec = (nMs % 1000) * 1000;
    return tv;
}

bool ParseAddress(const std::string& strAddr, unsigned nPort, sockaddr_in& addr)
{
    if (nPort > 0xFFFF)
        return false;
    std::memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(nPort));
    return inet_pton(AF_INET, strAddr.c_str(), &addr.sin_addr) == 1;
}

}  // namespace

CNet::CNet() : m_pClock(&SystemClock()) {}

CNet::~CNet() { Close(); }

void CNet::KeepError(const char* szWhat, int nErrno)
{
    m_strError = szWhat;
    m_strError += ": ";
    m_strError += std::strerror(nErrno);
}

bool CNet::Create(unsigned nLocalPort, const std::string& strBind)
{
    Close();
    m_strError.clear();
    if (nLocalPort > 0xFFFF) {
        KeepError("bind", EINVAL);
        return false;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(static_cast<uint16_t>(nLocalPort));
    // Interface names never hold a dot; addresses always do.
    const bool bAddress = strBind.find('.') != std::string::npos;
    const bool bDevice = !strBind.empty() && !bAddress;
    const std::string strWhere = (bAddress ? "cannot bind to address " : "cannot bind to interface ") + strBind;
    if (bAddress && inet_pton(AF_INET, strBind.c_str(), &local.sin_addr) != 1) {
        m_strError = strWhere + ": not a dotted IPv4 address";
        return false;
    }
    if (bDevice && strBind.size() >= IFNAMSIZ) {
        m_strError = strWhere + ": longer than " + std::to_string(IFNAMSIZ - 1) + " characters";
        return false;
    }
    m_hSocket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_hSocket < 0) {
        KeepError("socket", errno);
        return false;
    }
    if (bDevice && setsockopt(m_hSocket, SOL_SOCKET, SO_BINDTODEVICE, strBind.c_str(),
                              static_cast<socklen_t>(strBind.size())) != 0) {
        int nErrno = errno;
        m_strError = strWhere + ": " + std::strerror(nErrno) + (nErrno == EPERM ? " (needs CAP_NET_RAW)" : "");
        Close();
        return false;
    }
    if (bind(m_hSocket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        int nErrno = errno;
        if (bAddress)
            m_strError = strWhere + " port " + std::to_string(nLocalPort) + ": " + std::strerror(nErrno);
        else
            KeepError("bind", nErrno);
        Close();
        return false;
    }
    timeval tv = ToTimeval(kSendTimeoutMs);
    setsockopt(m_hSocket, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    return true;
}

unsigned CNet::LocalPort() const
{
    sockaddr_in local{};
    socklen_t nLen = sizeof local;
    if (m_hSocket < 0 || getsockname(m_hSocket, reinterpret_cast<sockaddr*>(&local), &nLen) != 0)
        return 0;
    return ntohs(local.sin_port);
}

int CNet::SendTo(const void* pBuf, int nLen, unsigned nPort, const std::string& strAddr)
{
    sockaddr_in dest;
    if (!ParseAddress(strAddr, nPort, dest))
        return -1;
    return SendTo(pBuf, nLen, dest);
}

int CNet::SendTo(const void* pBuf, int nLen, const sockaddr_in& dest)
{
    if (m_hSocket < 0 || nLen < 0)
        return -1;
    ssize_t n = sendto(m_hSocket, pBuf, static_cast<size_t>(nLen), 0, reinterpret_cast<const sockaddr*>(&dest),
                       sizeof dest);
    if (n < 0)
        m_strError = std::string("sendto: ") + std::strerror(errno);
    return static_cast<int>(n);
}

namespace {

constexpr int kFineWaitMs = 20;   // shorter waits than this use poll

}  // namespace

// A blocking receive bounded by the socket's own time limit: the good case costs one system call.
// The limit is only set again when the caller asks for a different one.
bool CNet::SetReceiveTimeout(int nMs)
{
    if (nMs == m_nRecvTimeoutMs)
        return true;
    timeval tv = ToTimeval(nMs);
    if (setsockopt(m_hSocket, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0)
        return false;
    m_nRecvTimeoutMs = nMs;
    return true;
}

int CNet::ReceiveFrom(void* pBuf, int nCapacity, sockaddr_in& from, int nTimeoutMs)
{
    m_bTimedOut = false;
    if (m_hSocket < 0 || nCapacity < 0)
        return -1;
    int nFlags = MSG_TRUNC;   // gives the datagram's real length, so an oversized one is seen
    if (nTimeoutMs <= 0) {
        nFlags |= MSG_DONTWAIT;
    } else if (nTimeoutMs < kFineWaitMs) {
        // The socket's own limit counts in scheduler ticks (4 ms and more); a short wait, as a
        // measured reply limit on a fast link is, waits in poll, whose timer is finer.
        pollfd wait = {m_hSocket, POLLIN, 0};
        const int nReady = poll(&wait, 1, nTimeoutMs);
        if (nReady <= 0) {
            m_bTimedOut = nReady == 0 || errno == EINTR;
            return -1;
        }
        nFlags |= MSG_DONTWAIT;
    } else if (!SetReceiveTimeout(nTimeoutMs)) {
        return -1;
    }
    sockaddr_in source{};
    socklen_t nAddrLen = sizeof source;
    ssize_t n = recvfrom(m_hSocket, pBuf, static_cast<size_t>(nCapacity), nFlags,
                         reinterpret_cast<sockaddr*>(&source), &nAddrLen);
    if (n < 0)
        m_bTimedOut = errno == EAGAIN || errno == EWOULDBLOCK;
    if (n < 0 || n > nCapacity || nAddrLen < sizeof source || source.sin_family != AF_INET)
        return -1;
    from = source;
    return static_cast<int>(n);
}

int CNet::ReceiveFrom(void* pBuf, int nCapacity, std::string& strAddr, unsigned& nPort, int nTimeoutMs)
{
    sockaddr_in source{};
    int n = ReceiveFrom(pBuf, nCapacity, source, nTimeoutMs);
    if (n < 0)
        return n;
    char szAddr[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &source.sin_addr, szAddr, sizeof szAddr);
    strAddr = szAddr;
    nPort = ntohs(source.sin_port);
    return n;
}

void CNet::Close()
{
    if (m_hSocket >= 0)
        close(m_hSocket);
    m_hSocket = -1;
    m_nRecvTimeoutMs = 0;
    m_bConnected = false;
}

void CNet::SetServer(const std::string& strIP, unsigned nPort, int nWaitCount)
{
    m_strServerIP = strIP;
    m_nServerPort = nPort;
    m_nWaitCount = nWaitCount;
}

void CNet::SetPort(unsigned nPort) { m_nServerPort = nPort; }

bool CNet::ConnectServer(const std::string& strIP, unsigned nPort)
{
    if (m_bConnected)
        return true;
    m_bCreated = false;
    m_bConnectOk = false;
    sockaddr_in server;
    if (strIP.size() > MAX_IP_TEXT || !ParseAddress(strIP, nPort, server)) {
        KeepError("connect", EINVAL);
        return false;
    }
    if (m_hSocket >= 0) {   // the datagram socket of a transfer is not taken over
        KeepError("connect", EISCONN);
        return false;
    }
    m_hSocket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    m_bCreated = m_hSocket >= 0;
    if (!m_bCreated) {
        KeepError("socket", errno);
        return false;
    }
    // Connect without blocking, then wait a bounded time for the outcome.
    int nResult = connect(m_hSocket, reinterpret_cast<sockaddr*>(&server), sizeof server);
    int nError = nResult == 0 ? 0 : errno;
    if (nError == EINPROGRESS) {
        pollfd pfd{m_hSocket, POLLOUT, 0};
        int nReady = poll(&pfd, 1, m_nConnectTimeoutMs);
        socklen_t nLen = sizeof nError;
        if (nReady <= 0)
            nError = nReady == 0 ? ETIMEDOUT : errno;
        else if (getsockopt(m_hSocket, SOL_SOCKET, SO_ERROR, &nError, &nLen) != 0)
            nError = errno;
    }
    m_bConnectOk = nError == 0;
    if (!m_bConnectOk) {
        KeepError("connect", nError);
        Close();
        return false;
    }
    // Sends block, bounded by a time limit; reads never block (MSG_DONTWAIT).
    fcntl(m_hSocket, F_SETFL, fcntl(m_hSocket, F_GETFL) & ~O_NONBLOCK);
    timeval tv = ToTimeval(m_nConnectTimeoutMs);
    setsockopt(m_hSocket, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    m_bConnected = true;
    return true;
}

int CNet::SendAndReceive(char* pBuf, int nLen)
{
    if (pBuf == nullptr || nLen < 0 || !ConnectServer(m_strServerIP, m_nServerPort))
        return 0;
    for (int nSent = 0; nSent < nLen;) {
        ssize_t n = send(m_hSocket, pBuf + nSent, static_cast<size_t>(nLen - nSent), MSG_NOSIGNAL);
        if (n <= 0) {
            Close();
            return 0;
        }
        nSent += static_cast<int>(n);
    }
    int nReply = ReceiveReply(pBuf);
    if (nReply == -1 || m_bPeerClosed) {
        Close();   // the next call connects again
        return nReply == -1 ? 0 : nReply;
    }
    return nReply;
}

int CNet::ReceiveReply(char* pBuf)
{
    m_bPeerClosed = false;
    if (m_hSocket < 0 || pBuf == nullptr)
        return -1;
    char temp = 0;
    int nCount = m_nWaitCount;
    ssize_t n = recv(m_hSocket, &temp, 1, MSG_DONTWAIT);
    while (n != 1 && nCount > 0) {
        --nCount;
        m_pClock->SleepMs(1);
        n = recv(m_hSocket, &temp, 1, MSG_DONTWAIT);
    }
    if (nCount <= 0)   // also when the last poll did get the byte: the wait has run out
        return -1;

    char tempbuf[kCollectBuffer];
    int nTotal = 0;
    while (nTotal < kCollectBuffer) {
        n = recv(m_hSocket, tempbuf + nTotal, static_cast<size_t>(kCollectBuffer - nTotal), MSG_DONTWAIT);
        if (n == 0)
            m_bPeerClosed = true;
        if (n <= 0)
            break;
        nTotal += static_cast<int>(n);
    }
    if (nTotal == kCollectBuffer) {
        char cMore;
        if (recv(m_hSocket, &cMore, 1, MSG_DONTWAIT | MSG_PEEK) > 0)
            return -1;   // longer than the caller's buffer: no usable reply
    }
    if (nTotal == 0)
        return -1;   // a single byte is not a reply
    pBuf[0] = temp;
    std::memcpy(pBuf + 1, tempbuf, static_cast<size_t>(nTotal));
    return nTotal + 1;
}
