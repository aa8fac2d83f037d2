#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "net/net.h"

namespace {

// Polls pass without sleeping; the count shows how long the wait would have been.
struct CountingClock : IClock {
    int nSleeps = 0;
    uint64_t NowMs() override { return static_cast<uint64_t>(nSleeps); }
    void SleepMs(int) override
    {
        ++nSleeps;
        std::this_thread::yield();
    }
};

// A plain UDP peer on 127.0.0.1.
struct Peer {
    int hSocket = socket(AF_INET, SOCK_DGRAM, 0);
    unsigned nPort = 0;
    Peer()
    {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(hSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t nLen = sizeof addr;
        getsockname(hSocket, reinterpret_cast<sockaddr*>(&addr), &nLen);
        nPort = ntohs(addr.sin_port);
    }
    ~Peer() { close(hSocket); }
    void SendTo(unsigned nToPort, const std::vector<uint8_t>& data) const
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(static_cast<uint16_t>(nToPort));
        sendto(hSocket, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
};

TEST(NetDatagram, RoundTripGivesTheSourceAndRejectsOversizedDatagrams)
{
    CNet net;
    ASSERT_TRUE(net.Create(0));
    ASSERT_NE(net.LocalPort(), 0u);
    Peer peer;

    EXPECT_EQ(net.SendTo("hello", 5, peer.nPort, "127.0.0.1"), 5);
    char szGot[16] = {};
    EXPECT_EQ(recv(peer.hSocket, szGot, sizeof szGot, 0), 5);
    EXPECT_STREQ(szGot, "hello");
    EXPECT_EQ(net.SendTo("x", 1, peer.nPort, "localhost"), -1) << "names are not looked up";
    EXPECT_EQ(net.SendTo("x", 1, 70000, "127.0.0.1"), -1);

    std::string strAddr = "unchanged";
    unsigned nPort = 7;
    uint8_t buf[10] = {};
    peer.SendTo(net.LocalPort(), std::vector<uint8_t>(9, 0xAA));   // one byte too long
    EXPECT_EQ(net.ReceiveFrom(buf, 8, strAddr, nPort, 1000), -1);
    EXPECT_EQ(strAddr, "unchanged");
    EXPECT_EQ(nPort, 7u);
    EXPECT_EQ(buf[8], 0) << "nothing written past the capacity";

    peer.SendTo(net.LocalPort(), {1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(net.ReceiveFrom(buf, 8, strAddr, nPort, 1000), 8) << "the long datagram was consumed";
    EXPECT_EQ(strAddr, "127.0.0.1");
    EXPECT_EQ(nPort, peer.nPort);
    EXPECT_EQ(buf[7], 8);

    peer.SendTo(net.LocalPort(), {});
    EXPECT_EQ(net.ReceiveFrom(buf, 8, strAddr, nPort, 1000), 0);
    EXPECT_EQ(net.ReceiveFrom(buf, 8, strAddr, nPort, 20), -1) << "nothing arrives: the wait ends";
    EXPECT_EQ(net.ReceiveFrom(buf, 8, strAddr, nPort, 0), -1);

    net.Close();
    EXPECT_FALSE(net.IsOpen());
    EXPECT_EQ(net.LocalPort(), 0u);
    EXPECT_EQ(net.SendTo("x", 1, peer.nPort, "127.0.0.1"), -1);
    EXPECT_EQ(net.ReceiveFrom(buf, 8, strAddr, nPort, 10), -1);
}

TEST(NetDatagram, BindFailureKeepsTheReason)
{
    Peer busy;
    CNet net;
    // The peer holds 127.0.0.1:port; binding all interfaces on that port collides.
    EXPECT_FALSE(net.Create(busy.nPort));
    EXPECT_FALSE(net.IsOpen());
    EXPECT_NE(net.LastError().find("Address already in use"), std::string::npos) << net.LastError();
    EXPECT_FALSE(net.Create(65536));
    EXPECT_TRUE(net.Create(0));
    EXPECT_TRUE(net.LastError().empty());
}

// A TCP server on 127.0.0.1 driven step by step from the test.
class Server {
public:
    Server()
    {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_hListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(m_hListen, 4);
        socklen_t nLen = sizeof addr;
        getsockname(m_hListen, reinterpret_cast<sockaddr*>(&addr), &nLen);
        nPort = ntohs(addr.sin_port);
    }
    ~Server()
    {
        CloseClient();
        close(m_hListen);
    }
    // Takes the next connection; false when none is waiting.
    bool Accept()
    {
        pollfd pfd{m_hListen, POLLIN, 0};
        if (poll(&pfd, 1, 2000) != 1)
            return false;
        CloseClient();
        m_hClient = accept(m_hListen, nullptr, nullptr);
        return m_hClient >= 0;
    }
    bool AnotherConnectionWaiting()
    {
        pollfd pfd{m_hListen, POLLIN, 0};
        return poll(&pfd, 1, 0) == 1;
    }
    void Send(const std::string& strData) { send(m_hClient, strData.data(), strData.size(), 0); }
    std::string Receive()
    {
        char buf[256];
        pollfd pfd{m_hClient, POLLIN, 0};
        if (poll(&pfd, 1, 2000) != 1)
            return {};
        ssize_t n = recv(m_hClient, buf, sizeof buf, 0);
        return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
    }
    void CloseClient()
    {
        if (m_hClient >= 0)
            close(m_hClient);
        m_hClient = -1;
    }
    unsigned nPort = 0;

private:
    int m_hListen = socket(AF_INET, SOCK_STREAM, 0);
    int m_hClient = -1;
};

class NetStream : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_net.SetClock(m_clock);
        m_net.SetServer("127.0.0.1", m_server.nPort, 1000);
    }
    // Waits until a reply the server has just sent has reached the client's socket.
    void Settle()
    {
        pollfd pfd{m_net.Handle(), POLLIN, 0};
        poll(&pfd, 1, 2000);
    }

    CountingClock m_clock;
    Server m_server;
    CNet m_net;
    char m_buf[CNet::REPLY_BUFFER + 16] = {};
};

TEST_F(NetStream, ConnectsOnceAndKeepsTheConnection)
{
    ASSERT_TRUE(m_net.ConnectServer("127.0.0.1", m_server.nPort));
    EXPECT_TRUE(m_net.m_bCreated);
    EXPECT_TRUE(m_net.m_bConnectOk);
    ASSERT_TRUE(m_server.Accept());
    EXPECT_TRUE(m_net.ConnectServer("127.0.0.2", 1)) << "already connected: the arguments are not used";
    EXPECT_FALSE(m_server.AnotherConnectionWaiting());
    m_net.Close();
    EXPECT_FALSE(m_net.m_bConnected);
}

TEST_F(NetStream, RefusesLongAddressTextsAndFailedConnections)
{
    EXPECT_FALSE(m_net.ConnectServer("127.000.000.001.0000", m_server.nPort));   // 20 characters
    EXPECT_FALSE(m_net.ConnectServer("board.local", m_server.nPort));
    EXPECT_FALSE(m_net.IsOpen());
    unsigned nDeadPort = 0;
    {
        Server gone;
        nDeadPort = gone.nPort;
    }
    EXPECT_FALSE(m_net.ConnectServer("127.0.0.1", nDeadPort));
    EXPECT_TRUE(m_net.m_bCreated);
    EXPECT_FALSE(m_net.m_bConnectOk);
    EXPECT_FALSE(m_net.m_bConnected);
    EXPECT_FALSE(m_net.IsOpen());
    m_net.SetServer("127.0.0.1", nDeadPort, 5);
    std::strcpy(m_buf, "ping");
    EXPECT_EQ(m_net.SendAndReceive(m_buf, 4), 0);
}

TEST_F(NetStream, ReplyOfSeveralBytesComesBackInOrder)
{
    ASSERT_TRUE(m_net.ConnectServer("127.0.0.1", m_server.nPort));
    ASSERT_TRUE(m_server.Accept());
    m_server.Send("0123456789");
    Settle();
    EXPECT_EQ(m_net.ReceiveReply(m_buf), 10);
    EXPECT_EQ(std::string(m_buf, 10), "0123456789");
}

TEST_F(NetStream, ShortWaitsAndSingleBytesGiveNoReply)
{
    ASSERT_TRUE(m_net.ConnectServer("127.0.0.1", m_server.nPort));
    ASSERT_TRUE(m_server.Accept());
    m_net.m_nWaitCount = 0;
    m_server.Send("ab");
    Settle();
    EXPECT_EQ(m_net.ReceiveReply(m_buf), -1) << "a wait count of 0 never gives a reply";
    EXPECT_EQ(m_clock.nSleeps, 0);

    m_net.m_nWaitCount = 1000;
    EXPECT_EQ(m_net.ReceiveReply(m_buf), -1) << "the 'b' left over is a one-byte reply";

    m_net.m_nWaitCount = 5;
    m_clock.nSleeps = 0;
    EXPECT_EQ(m_net.ReceiveReply(m_buf), -1) << "the server is silent";
    EXPECT_EQ(m_clock.nSleeps, 5);
}

TEST_F(NetStream, SendAndReceiveDropsTheConnectionWhenNoReplyComes)
{
    m_net.SetServer("127.0.0.1", m_server.nPort, 5);
    std::strcpy(m_buf, "ping");
    EXPECT_EQ(m_net.SendAndReceive(m_buf, 4), 0);
    EXPECT_FALSE(m_net.m_bConnected);
    ASSERT_TRUE(m_server.Accept());
    EXPECT_EQ(m_server.Receive(), "ping");

    // The next call connects again; this time the answer is already waiting.
    m_net.SetServer("127.0.0.1", m_server.nPort, 1000);
    ASSERT_TRUE(m_net.ConnectServer("127.0.0.1", m_server.nPort));
    ASSERT_TRUE(m_server.Accept());
    m_server.Send("pong!");
    Settle();
    std::strcpy(m_buf, "ping");
    EXPECT_EQ(m_net.SendAndReceive(m_buf, 4), 5);
    EXPECT_EQ(std::string(m_buf, 5), "pong!");
    EXPECT_TRUE(m_net.m_bConnected);
}

TEST_F(NetStream, ServerClosingEndsTheCollection)
{
    ASSERT_TRUE(m_net.ConnectServer("127.0.0.1", m_server.nPort));
    ASSERT_TRUE(m_server.Accept());
    m_server.Send("bye");
    m_server.CloseClient();
    Settle();
    EXPECT_EQ(m_net.SendAndReceive(m_buf, 0), 3);
    EXPECT_EQ(std::string(m_buf, 3), "bye");
    EXPECT_FALSE(m_net.m_bConnected) << "a closed connection is not kept";
}

TEST_F(NetStream, RepliesBeyondTheBufferAreRefusedWithoutOverflow)
{
    ASSERT_TRUE(m_net.ConnectServer("127.0.0.1", m_server.nPort));
    ASSERT_TRUE(m_server.Accept());
    m_server.Send(std::string(CNet::REPLY_BUFFER, 'x'));
    Settle();
    std::memset(m_buf, 0, sizeof m_buf);
    EXPECT_EQ(m_net.ReceiveReply(m_buf), CNet::REPLY_BUFFER) << "exactly the buffer fits";
    EXPECT_EQ(m_buf[CNet::REPLY_BUFFER], 0);

    m_server.Send(std::string(CNet::REPLY_BUFFER + 100, 'y'));
    Settle();
    std::memset(m_buf, 0, sizeof m_buf);
    EXPECT_EQ(m_net.SendAndReceive(m_buf, 0), 0);
    EXPECT_EQ(m_buf[CNet::REPLY_BUFFER], 0);
    EXPECT_FALSE(m_net.m_bConnected);
}

}  // namespace
