#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/board_config.h"

// The board's side of an S command: receives XMODEM-CRC packets, prompting with C until the first
// one comes. Driven by the bytes received and by the passing of time; what the board sends is
// appended to strOut.
class CBoardXmodemReceiver {
public:
    enum State { XR_RUNNING, XR_DONE, XR_ABORTED };
    // Stores the 128 bytes of a packet at nOffset of the block; false stops the session at once.
    using StoreFn = std::function<bool(uint64_t nOffset, const uint8_t* pData)>;

    CBoardXmodemReceiver(const MonitorConfig& config, StoreFn fnStore);

    void Start(uint64_t nNowMs, std::string& strOut);
    // Returns how many bytes it took; bytes after the end of the session are left to the caller.
    size_t Receive(const uint8_t* pData, size_t nLength, uint64_t nNowMs, std::string& strOut);
    void Tick(uint64_t nNowMs, std::string& strOut);
    int MsUntilNextEvent(uint64_t nNowMs) const;

    State GetState() const { return m_eState; }
    const std::string& Reason() const { return m_strReason; }
    uint64_t PacketsStored() const { return m_nExpected - 1; }

private:
    void Evaluate(std::string& strOut);
    void Refuse(std::string& strOut);
    void Abort(const char* szReason)
    {
        m_eState = XR_ABORTED;
        m_strReason = szReason;
    }

    const MonitorConfig& m_config;
    StoreFn m_fnStore;
    State m_eState = XR_RUNNING;
    std::string m_strReason;
    std::vector<uint8_t> m_vecPacket;
    uint64_t m_nExpected = 1;  // next packet, counted from 1 without wrapping
    int m_nPolicyNaks = 0;     // NAKs given to the current packet by the fault option
    int m_nErrors = 0;         // bad packets in a row
    bool m_bStarted = false;
    int m_nPromptsLeft = 0;
    uint64_t m_nNextPromptMs = 0;
    uint64_t m_nLastByteMs = 0;
};
