#include "support/udp_responder.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/transfer_frame.h"

CUdpResponder::CUdpResponder(Handler handler) : m_handler(std::move(handler))
{
    for (int i = 0; i < SOCKETS; ++i) {
        m_hSockets[i] = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_hSockets[i], reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t nLen = sizeof addr;
        getsockname(m_hSockets[i], reinterpret_cast<sockaddr*>(&addr), &nLen);
        m_nPorts[i] = ntohs(addr.sin_port);
    }
    m_thread = std::thread([this] { Serve(); });
}

CUdpResponder::~CUdpResponder()
{
    m_bQuit = true;
    m_thread.join();
    for (int hSocket : m_hSockets)
        close(hSocket);
}

std::vector<CUdpResponder::Datagram> CUdpResponder::Received()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

std::vector<uint8_t> CUdpResponder::ReplyTo(const std::vector<uint8_t>& answered, uint8_t cStatus)
{
    std::vector<uint8_t> reply(REPLY_SIZE);
    BuildReply(reply.data(), cStatus, answered.data());
    return reply;
}

void CUdpResponder::Serve()
{
    pollfd pfds[SOCKETS];
    for (int i = 0; i < SOCKETS; ++i)
        pfds[i] = {m_hSockets[i], POLLIN, 0};
    int nIndex = 0;
    while (!m_bQuit) {
        if (poll(pfds, SOCKETS, 10) <= 0)
            continue;
        for (int i = 0; i < SOCKETS; ++i) {
            if (!(pfds[i].revents & POLLIN))
                continue;
            uint8_t buf[2048];
            sockaddr_in from{};
            socklen_t nLen = sizeof from;
            ssize_t n = recvfrom(m_hSockets[i], buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &nLen);
            if (n < 0)
                continue;
            char szFrom[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &from.sin_addr, szFrom, sizeof szFrom);
            Datagram dgram{std::vector<uint8_t>(buf, buf + n), i, ntohs(from.sin_port), szFrom};
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_received.push_back(dgram);
            }
            SendFn send = [this, from](int nSocket, const std::vector<uint8_t>& bytes) {
                sendto(m_hSockets[nSocket], bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&from),
                       sizeof from);
            };
            ParsedFrame frame;
            if (m_handler)
                m_handler(dgram, nIndex, send);
            else if (n >= REPLY_SIZE && ParseFrame(buf, static_cast<int>(n), frame))
                send(i, ReplyTo(dgram.data));
            ++nIndex;
        }
    }
}
