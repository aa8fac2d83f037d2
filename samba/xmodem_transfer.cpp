#include "samba/xmodem_transfer.h"

#include <algorithm>
#include <cstring>

#include "samba/monitor_error.h"
#include "samba/xmodem.h"

namespace {

// Stray bytes tolerated while a session starts (left-overs of earlier traffic).
constexpr int MAX_STRAY_BYTES = 16;

}  // namespace

int32_t CXmodemTransfer::ErrorOf(CSerialLine::Result result)
{
    switch (result) {
    case CSerialLine::LINE_OK: return 0;
    case CSerialLine::LINE_TIMEOUT: return MON_ERR_TIMEOUT;
    case CSerialLine::LINE_CANCELLED: return MON_ERR_CANCELLED;
    default: return MON_ERR_LINE_LOST;
    }
}

int32_t CXmodemTransfer::WaitForStart()
{
    uint64_t nDeadline = m_line.Deadline(m_limits.nXmodemStartMs);
    for (int nStray = 0;;) {
        uint8_t cByte = 0;
        CSerialLine::Result result = m_line.ReadByte(cByte, nDeadline);
        if (result == CSerialLine::LINE_TIMEOUT && nStray > 0)
            return MON_ERR_BAD_ANSWER;  // it spoke, but not XMODEM
        if (result != CSerialLine::LINE_OK)
            return ErrorOf(result);
        if (cByte == XMODEM_CRC_REQUEST)
            break;
        if (cByte == XMODEM_CAN)
            return MON_ERR_XMODEM_CANCELLED;
        if (++nStray > MAX_STRAY_BYTES)
            return MON_ERR_BAD_ANSWER;
    }
    // The receiver repeats C until the first packet; those already queued mean nothing now.
    return ErrorOf(m_line.Discard());
}

int32_t CXmodemTransfer::SendUntilAcked(const uint8_t* pPacket, size_t nLength, bool bTolerateC)
{
    for (int nNaks = 0;;) {
        CSerialLine::Result result = m_line.Write(pPacket, nLength, m_line.Deadline(m_limits.nWriteMs));
        if (result != CSerialLine::LINE_OK)
            return ErrorOf(result);
        uint64_t nDeadline = m_line.Deadline(m_limits.nXmodemAckMs);
        uint8_t cAnswer = 0;
        do {
            result = m_line.ReadByte(cAnswer, nDeadline);
            if (result != CSerialLine::LINE_OK)
                return ErrorOf(result);
        } while (bTolerateC && cAnswer == XMODEM_CRC_REQUEST);
        if (cAnswer == XMODEM_ACK)
            return 0;
        if (cAnswer == XMODEM_CAN)
            return MON_ERR_XMODEM_CANCELLED;
        if (cAnswer != XMODEM_NAK)
            return MON_ERR_BAD_ANSWER;
        if (++nNaks > m_limits.nXmodemRetries)
            return MON_ERR_TOO_MANY_NAKS;
    }
}

int32_t CXmodemTransfer::Send(const uint8_t* pData, size_t nSize)
{
    int32_t nError = WaitForStart();
    if (nError != 0)
        return nError;
    uint8_t packet[XMODEM_PACKET];
    uint64_t nBlocks = XmodemBlocks(nSize);
    for (uint64_t nBlock = 1; nBlock <= nBlocks; ++nBlock) {
        size_t nOffset = static_cast<size_t>((nBlock - 1) * XMODEM_DATA);
        BuildXmodemPacket(packet, static_cast<uint32_t>(nBlock), pData + nOffset,
                          std::min<size_t>(XMODEM_DATA, nSize - nOffset));
        // A C sent before the receiver saw the first packet may still be on its way.
        nError = SendUntilAcked(packet, sizeof(packet), nBlock == 1);
        if (nError != 0)
            return nError;
    }
    const uint8_t cEot = XMODEM_EOT;
    return SendUntilAcked(&cEot, 1, nBlocks == 0);
}

int32_t CXmodemTransfer::ReceiveFirstByte(uint8_t& cByte)
{
    uint64_t nEnd = m_line.Deadline(m_limits.nXmodemStartMs);
    for (int nStray = 0;;) {
        const uint8_t cRequest = XMODEM_CRC_REQUEST;
        CSerialLine::Result result = m_line.Write(&cRequest, 1, m_line.Deadline(m_limits.nWriteMs));
        if (result != CSerialLine::LINE_OK)
            return ErrorOf(result);
        uint64_t nDeadline = std::min(nEnd, m_line.Deadline(m_limits.nXmodemAckMs));
        result = m_line.ReadByte(cByte, nDeadline);
        if (result == CSerialLine::LINE_TIMEOUT && m_line.Deadline(0) < nEnd)
            continue;
        if (result == CSerialLine::LINE_TIMEOUT && nStray > 0)
            return MON_ERR_BAD_ANSWER;
        if (result != CSerialLine::LINE_OK)
            return ErrorOf(result);
        if (cByte == XMODEM_SOH || cByte == XMODEM_EOT || cByte == XMODEM_CAN)
            return 0;
        if (++nStray > MAX_STRAY_BYTES)
            return MON_ERR_BAD_ANSWER;
    }
}

int32_t CXmodemTransfer::Receive(uint8_t* pData, size_t nSize)
{
    uint8_t packet[XMODEM_PACKET];
    int32_t nError = ReceiveFirstByte(packet[0]);
    if (nError != 0)
        return nError;
    uint64_t nBlocks = XmodemBlocks(nSize);
    uint64_t nExpected = 1;
    for (int nNaks = 0;;) {
        if (packet[0] == XMODEM_CAN)
            return MON_ERR_XMODEM_CANCELLED;
        const uint8_t cAck = XMODEM_ACK;
        if (packet[0] == XMODEM_EOT) {
            CSerialLine::Result result = m_line.Write(&cAck, 1, m_line.Deadline(m_limits.nWriteMs));
            if (result != CSerialLine::LINE_OK)
                return ErrorOf(result);
            return nExpected > nBlocks ? 0 : MON_ERR_BAD_ANSWER;
        }
        if (packet[0] != XMODEM_SOH)
            return MON_ERR_BAD_ANSWER;
        size_t nGot = 0;
        CSerialLine::Result result =
            m_line.Read(packet + 1, XMODEM_PACKET - 1, nGot, m_line.Deadline(m_limits.nXmodemAckMs));
        if (result != CSerialLine::LINE_OK)
            return ErrorOf(result);
        uint8_t cAnswer = XMODEM_ACK;
        if (!XmodemPacketOk(packet)) {
            if (++nNaks > m_limits.nXmodemRetries)
                return MON_ERR_TOO_MANY_NAKS;
            cAnswer = XMODEM_NAK;
        } else if (packet[1] == (nExpected & 0xFF)) {
            if (nExpected > nBlocks)
                return MON_ERR_BAD_ANSWER;  // more data than asked for
            size_t nOffset = static_cast<size_t>((nExpected - 1) * XMODEM_DATA);
            std::memcpy(pData + nOffset, packet + 3, std::min<size_t>(XMODEM_DATA, nSize - nOffset));
            ++nExpected;
            nNaks = 0;
        } else if (packet[1] != ((nExpected - 1) & 0xFF)) {
            return MON_ERR_BAD_ANSWER;  // neither the next packet nor a repeat of the last one
        }
        result = m_line.Write(&cAnswer, 1, m_line.Deadline(m_limits.nWriteMs));
        if (result == CSerialLine::LINE_OK)
            result = m_line.ReadByte(packet[0], m_line.Deadline(m_limits.nXmodemAckMs));
        if (result != CSerialLine::LINE_OK)
            return ErrorOf(result);
    }
}
