#include "sim/board_xmodem_sender.h"

#include <algorithm>

#include "samba/xmodem.h"

namespace {

constexpr int MAX_RESENDS = 10;

}  // namespace

CBoardXmodemSender::CBoardXmodemSender(const MonitorConfig& config, std::vector<uint8_t> vecData)
    : m_config(config), m_vecData(std::move(vecData))
{
}

void CBoardXmodemSender::Start(uint64_t nNowMs)
{
    m_nDeadlineMs = nNowMs + static_cast<uint64_t>(m_config.nPrompts) * static_cast<uint64_t>(m_config.nPromptMs);
}

void CBoardXmodemSender::SendCurrent(uint64_t nNowMs, std::string& strOut)
{
    if (m_nCurrent > XmodemBlocks(m_vecData.size())) {
        strOut += static_cast<char>(XMODEM_EOT);
    } else {
        uint8_t packet[XMODEM_PACKET];
        size_t nOffset = static_cast<size_t>((m_nCurrent - 1) * XMODEM_DATA);
        BuildXmodemPacket(packet, static_cast<uint32_t>(m_nCurrent), m_vecData.data() + nOffset,
                          std::min<size_t>(XMODEM_DATA, m_vecData.size() - nOffset));
        strOut.append(reinterpret_cast<const char*>(packet), sizeof(packet));
    }
    m_nDeadlineMs = nNowMs + static_cast<uint64_t>(m_config.nByteTimeoutMs);
}

size_t CBoardXmodemSender::Receive(const uint8_t* pData, size_t nLength, uint64_t nNowMs, std::string& strOut)
{
    size_t i = 0;
    while (i < nLength && m_eState == XS_RUNNING) {
        uint8_t cByte = pData[i++];
        if (cByte == XMODEM_CAN) {
            m_eState = XS_ABORTED;
        } else if (!m_bStarted) {
            if (cByte == XMODEM_CRC_REQUEST) {
                m_bStarted = true;
                SendCurrent(nNowMs, strOut);
            }
        } else if (cByte == XMODEM_ACK) {
            if (m_nCurrent > XmodemBlocks(m_vecData.size())) {
                m_eState = XS_DONE;
                break;
            }
            ++m_nCurrent;
            m_nResends = 0;
            SendCurrent(nNowMs, strOut);
        } else if (cByte == XMODEM_NAK) {
            if (++m_nResends > MAX_RESENDS)
                m_eState = XS_ABORTED;
            else
                SendCurrent(nNowMs, strOut);
        }  // a late C or noise: ignored
    }
    return i;
}

void CBoardXmodemSender::Tick(uint64_t nNowMs, std::string& strOut)
{
    if (m_eState != XS_RUNNING || nNowMs < m_nDeadlineMs)
        return;
    if (!m_bStarted || ++m_nResends > MAX_RESENDS)
        m_eState = XS_ABORTED;
    else
        SendCurrent(nNowMs, strOut);
}

int CBoardXmodemSender::MsUntilNextEvent(uint64_t nNowMs) const
{
    if (m_eState != XS_RUNNING)
        return -1;
    return m_nDeadlineMs > nNowMs ? static_cast<int>(std::min<uint64_t>(m_nDeadlineMs - nNowMs, 1000000)) : 0;
}
