#pragma once
#include <netinet/in.h>

#include <string>

#include "base/clock.h"

// The tool's socket: a UDP socket for the image transfer and a small TCP client that sends a
// request and collects the reply within a bounded wait. One handle at a time; IPv4 only; address
// texts are dotted numbers (no name look-ups, which could block without bound).
class CNet {
public:
    static constexpr int REPLY_BUFFER = 4097;   // room SendAndReceive needs in pBuf
    static constexpr int MAX_IP_TEXT = 19;      // longest address text ConnectServer takes

    CNet();
    ~CNet();
    CNet(const CNet&) = delete;
    CNet& operator=(const CNet&) = delete;

    // Datagram operations.
    // Opens a UDP socket bound to nLocalPort (0: any free port). strBind says where: empty, all
    // interfaces; a dotted IPv4 address, that local address; anything else names an interface the
    // socket is tied to (SO_BINDTODEVICE), so its datagrams leave and arrive only there. On failure
    // the reason is kept in LastError(), for strBind as "cannot bind to interface X: reason" or
    // "cannot bind to address X: reason".
    bool Create(unsigned nLocalPort, const std::string& strBind = std::string());
    // Sends one datagram; the bytes sent, or -1 (also for an address text that is not dotted IPv4).
    int SendTo(const void* pBuf, int nLen, unsigned nPort, const std::string& strAddr);
    int SendTo(const void* pBuf, int nLen, const sockaddr_in& dest);
    // Takes one datagram of at most nCapacity bytes, waiting at most nTimeoutMs (0 or less: only
    // what is already there). Gives its length (0 for an empty datagram) and its source, or -1 when
    // nothing came in time, on error, or when the datagram was longer than nCapacity; the source
    // is then left unchanged.
    int ReceiveFrom(void* pBuf, int nCapacity, std::string& strAddr, unsigned& nPort, int nTimeoutMs);
    int ReceiveFrom(void* pBuf, int nCapacity, sockaddr_in& from, int nTimeoutMs);
    // The last ReceiveFrom gave -1 because nothing arrived within its time limit.
    bool ReceiveTimedOut() const { return m_bTimedOut; }
    // Closes whatever socket is open; a later Create or ConnectServer opens a new one.
    void Close();

    bool IsOpen() const { return m_hSocket >= 0; }
    int Handle() const { return m_hSocket; }     // -1 while closed
    unsigned LocalPort() const;                  // the bound port, 0 while closed
    const std::string& LastError() const { return m_strError; }

    // Stream client.
    void SetServer(const std::string& strIP, unsigned nPort, int nWaitCount);
    void SetPort(unsigned nPort);
    // Makes sure a connection is open; true at once while one is (the arguments are then unused).
    bool ConnectServer(const std::string& strIP, unsigned nPort);
    // Sends nLen bytes of pBuf and puts the reply into pBuf (room for REPLY_BUFFER bytes); the
    // reply length, or 0 on failure, after which the connection is dropped.
    int SendAndReceive(char* pBuf, int nLen);
    // Polls every 1 ms, m_nWaitCount times, for the first reply byte, then collects what is
    // waiting. The reply length, or -1 for none, a single byte, or more than REPLY_BUFFER bytes.
    int ReceiveReply(char* pBuf);

    // Time base of ReceiveReply's polls and limit of a connection attempt (and of each send).
    void SetClock(IClock& clock) { m_pClock = &clock; }
    void SetConnectTimeoutMs(int nMs) { m_nConnectTimeoutMs = nMs; }

    bool m_bCreated = false;
    bool m_bConnectOk = false;
    bool m_bConnected = false;
    std::string m_strServerIP;
    unsigned m_nServerPort = 0;
    int m_nWaitCount = 0;

private:
    bool SetReceiveTimeout(int nMs);
    void KeepError(const char* szWhat, int nErrno);

    int m_hSocket = -1;
    int m_nRecvTimeoutMs = 0;      // the receive time limit the socket currently has (0: none)
    bool m_bPeerClosed = false;    // the server closed the connection during the last collection
    bool m_bTimedOut = false;
    int m_nConnectTimeoutMs = 5000;
    IClock* m_pClock;
    std::string m_strError;
};
