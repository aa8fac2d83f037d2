#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A board stand-in for the transfer tests: a thread serving three UDP sockets on 127.0.0.1 (0: the
// board's own port, 1: another port of the board, 2: a stray sender). Every datagram received is
// recorded, then handed to the handler, which answers through Send. Without a handler every
// well-formed frame or store command gets a success reply from the socket it arrived on.
class CUdpResponder {
public:
    static constexpr int SOCKETS = 3;

    struct Datagram {
        std::vector<uint8_t> data;
        int nSocket = 0;   // which socket it arrived on
        int nFromPort = 0; // the sender's port
        std::string strFromIp; // the sender's address
    };
    // Sends bytes from socket nSocket to the tool (the source of the latest datagram).
    using SendFn = std::function<void(int nSocket, const std::vector<uint8_t>& bytes)>;
    // Called on the responder thread for each datagram; nIndex counts from 0.
    using Handler = std::function<void(const Datagram& dgram, int nIndex, const SendFn& send)>;

    explicit CUdpResponder(Handler handler = nullptr);
    ~CUdpResponder();

    int Port(int nSocket = 0) const { return m_nPorts[nSocket]; }
    std::vector<Datagram> Received();

    // A success (or failure) reply to a datagram, as the board builds it.
    static std::vector<uint8_t> ReplyTo(const std::vector<uint8_t>& answered, uint8_t cStatus = 0);

private:
    void Serve();

    int m_hSockets[SOCKETS] = {-1, -1, -1};
    int m_nPorts[SOCKETS] = {};
    Handler m_handler;
    std::mutex m_mutex;
    std::vector<Datagram> m_received;
    std::atomic<bool> m_bQuit{false};
    std::thread m_thread;
};
