#include "sim/board_xmodem_receiver.h"

#include <algorithm>

#include "samba/xmodem.h"

namespace {

constexpr int MAX_ERRORS = 10;
constexpr int QUIET_TIMEOUTS = 10;  // a started session ends after this many byte timeouts of silence

}  // namespace

CBoardXmodemReceiver::CBoardXmodemReceiver(const MonitorConfig& config, StoreFn fnStore)
    : m_config(config), m_fnStore(std::move(fnStore))
{
    m_vecPacket.reserve(XMODEM_PACKET);
}

void CBoardXmodemReceiver::Start(uint64_t nNowMs, std::string& strOut)
{
    strOut += static_cast<char>(XMODEM_CRC_REQUEST);
    m_nPromptsLeft = std::max(m_config.nPrompts - 1, 0);
    m_nNextPromptMs = nNowMs + static_cast<uint64_t>(m_config.nPromptMs);
    m_nLastByteMs = nNowMs;
}

size_t CBoardXmodemReceiver::Receive(const uint8_t* pData, size_t nLength, uint64_t nNowMs, std::string& strOut)
{
    size_t i = 0;
    while (i < nLength && m_eState == XR_RUNNING) {
        uint8_t cByte = pData[i++];
        m_nLastByteMs = nNowMs;
        if (!m_vecPacket.empty()) {
            m_vecPacket.push_back(cByte);
            if (m_vecPacket.size() == XMODEM_PACKET)
                Evaluate(strOut);
        } else if (cByte == XMODEM_SOH) {
            m_vecPacket.push_back(cByte);
            m_bStarted = true;
        } else if (cByte == XMODEM_EOT) {
            strOut += static_cast<char>(XMODEM_ACK);
            m_eState = XR_DONE;
        } else if (cByte == XMODEM_CAN) {
            Abort("cancelled by the host");
        }  // anything else between packets is noise
    }
    return i;
}

void CBoardXmodemReceiver::Refuse(std::string& strOut)
{
    m_vecPacket.clear();
    if (++m_nErrors > MAX_ERRORS) {
        strOut += static_cast<char>(XMODEM_CAN);
        Abort("too many bad packets");
        return;
    }
    strOut += static_cast<char>(XMODEM_NAK);
}

void CBoardXmodemReceiver::Evaluate(std::string& strOut)
{
    if (!XmodemPacketOk(m_vecPacket.data())) {
        Refuse(strOut);
        return;
    }
    uint8_t cNumber = m_vecPacket[1];
    if (cNumber == (m_nExpected & 0xFF)) {
        if (m_config.nNaksPerPacket < 0 || m_nPolicyNaks < m_config.nNaksPerPacket) {
            ++m_nPolicyNaks;
            m_vecPacket.clear();
            strOut += static_cast<char>(XMODEM_NAK);
            return;
        }
        if (!m_fnStore((m_nExpected - 1) * XMODEM_DATA, m_vecPacket.data() + 3)) {
            m_vecPacket.clear();
            Abort("store refused");
            return;
        }
        ++m_nExpected;
        m_nPolicyNaks = 0;
        m_nErrors = 0;
        strOut += static_cast<char>(XMODEM_ACK);
    } else if (cNumber == ((m_nExpected - 1) & 0xFF)) {
        strOut += static_cast<char>(XMODEM_ACK);  // a repeat of the last packet: our ACK was lost
    } else {
        strOut += static_cast<char>(XMODEM_CAN);
        Abort("packet out of sequence");
    }
    m_vecPacket.clear();
}

void CBoardXmodemReceiver::Tick(uint64_t nNowMs, std::string& strOut)
{
    if (m_eState != XR_RUNNING)
        return;
    uint64_t nByteTimeout = static_cast<uint64_t>(m_config.nByteTimeoutMs);
    if (!m_bStarted) {
        if (nNowMs < m_nNextPromptMs)
            return;
        if (m_nPromptsLeft-- <= 0) {
            Abort("no packet came");
            return;
        }
        strOut += static_cast<char>(XMODEM_CRC_REQUEST);
        m_nNextPromptMs = nNowMs + static_cast<uint64_t>(m_config.nPromptMs);
    } else if (!m_vecPacket.empty() && nNowMs >= m_nLastByteMs + nByteTimeout) {
        m_nLastByteMs = nNowMs;
        Refuse(strOut);  // a packet cut short
    } else if (m_vecPacket.empty() && nNowMs >= m_nLastByteMs + QUIET_TIMEOUTS * nByteTimeout) {
        Abort("the sender went quiet");
    }
}

int CBoardXmodemReceiver::MsUntilNextEvent(uint64_t nNowMs) const
{
    if (m_eState != XR_RUNNING)
        return -1;
    uint64_t nByteTimeout = static_cast<uint64_t>(m_config.nByteTimeoutMs);
    uint64_t nAt = !m_bStarted                ? m_nNextPromptMs
                   : !m_vecPacket.empty()     ? m_nLastByteMs + nByteTimeout
                                              : m_nLastByteMs + QUIET_TIMEOUTS * nByteTimeout;
    return nAt > nNowMs ? static_cast<int>(std::min<uint64_t>(nAt - nNowMs, 1000000)) : 0;
}
