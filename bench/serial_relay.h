#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <string>
#include <thread>

#include "sim/board_pty.h"

// A serial line in software, for benchmarks: a relay between a pseudo-terminal of its own (the
// near end, which the tool opens) and another device (the far end, a virtual board's port). Every
// byte takes its time on the wire, one after the other in each direction (nBytesPerS). Bytes from
// the far end then wait in the adapter, as a USB-serial adapter holds them until nPacketBytes have
// come or its latency timer runs out (every nLatencyMs after it last sent); 0 passes them on at once.
struct LineTiming {
    int nBytesPerS = 11520;   // 115200 baud, 8N1: ten bits a byte
    int nLatencyMs = 0;
    int nPacketBytes = 62;
};

class CSerialRelay {
public:
    CSerialRelay(std::string strFarPath, const LineTiming& timing);
    ~CSerialRelay();
    CSerialRelay(const CSerialRelay&) = delete;
    CSerialRelay& operator=(const CSerialRelay&) = delete;

    bool Start(std::string& strError);
    void Stop();
    const std::string& NearPath() const { return m_nearPty.SlavePath(); }

    // Bytes carried each way, and how often the latency timer (not a full packet) let bytes go.
    uint64_t BytesOut() const { return m_nBytes[0].load(); }
    uint64_t BytesIn() const { return m_nBytes[1].load(); }
    uint64_t TimerFlushes() const { return m_nTimerFlushes.load(); }
    // The least time those bytes need on the wire, with what the adapter's timer held them: the limit.
    double WireLimitS() const;

private:
    struct Pending {
        int64_t nDueNs;   // when the byte is at the other end of the wire
        uint8_t cByte;
    };
    void Run();
    // Takes what a side has sent onto its wire.
    bool Take(int nFd, int nDirection, int64_t nNowNs);
    // Hands on what is due; returns the next time something will be, or -1.
    int64_t Deliver(int nDirection, int64_t nNowNs);
    bool WriteAll(int nFd, const uint8_t* pData, size_t nLength);

    std::string m_strFarPath;
    LineTiming m_timing;
    int64_t m_nByteNs;
    CBoardPty m_nearPty;
    int m_nFar = -1;
    std::deque<Pending> m_queue[2];    // 0: near to far, 1: far to near
    int64_t m_nWireFreeNs[2] = {0, 0};
    std::atomic<uint64_t> m_nBytes[2] {{0}, {0}};
    std::atomic<uint64_t> m_nTimerFlushes {0};
    std::atomic<int64_t> m_nAdapterWaitNs {0};
    int64_t m_nTimerBaseNs = 0;
    std::atomic<int> m_bStop {0};
    std::thread m_thread;
};
