#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/board_config.h"

// The board's side of an R command: waits for the host's C, then sends the data as XMODEM-CRC
// packets, resending on NAK or silence, and ends with EOT.
class CBoardXmodemSender {
public:
    enum State { XS_RUNNING, XS_DONE, XS_ABORTED };

    CBoardXmodemSender(const MonitorConfig& config, std::vector<uint8_t> vecData);

    void Start(uint64_t nNowMs);
    size_t Receive(const uint8_t* pData, size_t nLength, uint64_t nNowMs, std::string& strOut);
    void Tick(uint64_t nNowMs, std::string& strOut);
    int MsUntilNextEvent(uint64_t nNowMs) const;
    State GetState() const { return m_eState; }

private:
    void SendCurrent(uint64_t nNowMs, std::string& strOut);

    const MonitorConfig& m_config;
    std::vector<uint8_t> m_vecData;
    State m_eState = XS_RUNNING;
    bool m_bStarted = false;
    uint64_t m_nCurrent = 1;  // packet being sent; past the last one it is the EOT
    int m_nResends = 0;
    uint64_t m_nDeadlineMs = 0;
};
