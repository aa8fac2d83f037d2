#include "samba/monitor_session.h"

#include <cstdio>
#include <cstring>

#include "samba/monitor_error.h"
#include "samba/xmodem.h"
#include "samba/xmodem_transfer.h"

namespace {

constexpr uint64_t MONITOR_AREA_START = 0x306000;
constexpr uint64_t MONITOR_AREA_END = 0x308000;  // one past the end
constexpr uint32_t CHIP_ID_ADDRESS = 0xFFFFF240;

// The monitor's DBGU: 115200 8N1. A CDC port has no rate: its speed is left as it is.
DCB MonitorLineSettings(MonitorLink link)
{
    DCB settings;
    settings.BaudRate = link == MonitorLink::Usb ? 0 : 115200;
    settings.ByteSize = 8;
    return settings;
}

// Raw blocks are counted at no less than 100 KB/s (a full-speed USB port does ten times that).
constexpr int RAW_BYTES_PER_MS = 100;

std::string Format(const char* szFormat, uint32_t nFirst, uint32_t nSecond = 0)
{
    char szText[40];
    std::snprintf(szText, sizeof(szText), szFormat, nFirst, nSecond);
    return szText;
}

}  // namespace

bool BlockReachesMonitorArea(uint32_t nAddress, uint64_t nSize, bool bPadded)
{
    uint64_t nStart = nAddress;
    uint64_t nEnd = nStart + (bPadded ? XmodemBlocks(nSize) * XMODEM_DATA : nSize);
    return nStart < MONITOR_AREA_END && nEnd > MONITOR_AREA_START;
}

std::vector<int32_t> UsbReadPieces(int32_t nSize)
{
    if (nSize <= 0)
        return {};
    bool bPowerOfTwo = (nSize & (nSize - 1)) == 0;
    if (bPowerOfTwo && nSize > 32)
        return {nSize - 1, 1};
    return {nSize};
}

CMonitorSession::CMonitorSession(IClock& clock, const std::atomic<int>* pCancel, const MonitorLimits& limits,
                                 MonitorLink link)
    : m_limits(limits), m_link(link), m_pCancel(pCancel), m_line(clock, pCancel)
{
}

int32_t CMonitorSession::Open(const std::string& strPath, std::string& strError)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_line.Open(strPath, MonitorLineSettings(m_link), strError))
        return MON_ERR_NO_DEVICE;
    for (int nTry = 0; nTry < 2; ++nTry) {
        if (Connect()) {
            m_bClosed = false;
            return 0;
        }
    }
    m_line.Close();
    if (m_pCancel && m_pCancel->load()) {
        strError = strPath + ": the connect was cancelled";
        return MON_ERR_CANCELLED;
    }
    strError = strPath + ": no boot monitor answers";
    return MON_ERR_TIMEOUT;
}

void CMonitorSession::Close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bClosed = true;
    m_line.Close();
}

bool CMonitorSession::Connect()
{
    // '#' ends whatever half command the monitor holds; N# switches it to normal mode.
    if (m_line.Drain(m_limits.nDrainQuietMs, m_limits.nDrainMaxMs) != CSerialLine::LINE_OK ||
        m_line.Write("#", m_line.Deadline(m_limits.nWriteMs)) != CSerialLine::LINE_OK ||
        m_line.Drain(m_limits.nDrainQuietMs, m_limits.nDrainMaxMs) != CSerialLine::LINE_OK ||
        m_line.Write("N#", m_line.Deadline(m_limits.nWriteMs)) != CSerialLine::LINE_OK)
        return false;
    uint8_t answer[2] = {0, 0};
    size_t nGot = 0;
    if (m_line.Read(answer, 2, nGot, m_line.Deadline(m_limits.nConnectMs)) != CSerialLine::LINE_OK)
        return false;
    if (answer[0] != '\n' || answer[1] != '\r')
        return false;
    // Exactly those two bytes: anything after them is a console or noise, not the monitor.
    uint8_t cExtra = 0;
    return m_line.ReadByte(cExtra, m_line.Deadline(m_limits.nDrainQuietMs)) == CSerialLine::LINE_TIMEOUT;
}

int32_t CMonitorSession::Command(const std::string& strCommand)
{
    // A line that went away is closed by the line itself; its calls then report it lost.
    if (m_bClosed)
        return MON_ERR_BAD_HANDLE;
    if (m_pCancel && m_pCancel->load())
        return MON_ERR_CANCELLED;
    int32_t nError = CXmodemTransfer::ErrorOf(m_line.Discard());
    if (nError == 0)
        nError = CXmodemTransfer::ErrorOf(m_line.Write(strCommand, m_line.Deadline(m_limits.nWriteMs)));
    return nError;
}

int32_t CMonitorSession::ReadValue(uint32_t nAddress, int nBytes, uint32_t& nValue)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return ReadValueLocked(nAddress, nBytes, nValue, m_limits.nReplyMs);
}

int32_t CMonitorSession::ReadValueLocked(uint32_t nAddress, int nBytes, uint32_t& nValue, int nReplyMs)
{
    char cOp = nBytes == 4 ? 'w' : nBytes == 2 ? 'h' : 'o';
    if (nBytes != 1 && nBytes != 2 && nBytes != 4)
        return MON_ERR_BAD_ARGUMENT;
    int32_t nError = Command(Format("%c%08X,#", static_cast<uint32_t>(cOp), nAddress));
    if (nError != 0)
        return nError;
    uint8_t bytes[4] = {0, 0, 0, 0};
    size_t nGot = 0;
    nError = CXmodemTransfer::ErrorOf(
        m_line.Read(bytes, static_cast<size_t>(nBytes), nGot, m_line.Deadline(nReplyMs)));
    if (nError != 0)
        return nError;
    // More bytes than the value means the line does not speak the monitor's normal mode.
    size_t nExtra = 0;
    nError = CXmodemTransfer::ErrorOf(m_line.Discard(&nExtra));
    if (nError != 0)
        return nError;
    if (nExtra > 0)
        return MON_ERR_BAD_ANSWER;
    nValue = 0;
    for (int i = nBytes - 1; i >= 0; --i)
        nValue = (nValue << 8) | bytes[i];
    return 0;
}

int32_t CMonitorSession::WriteValue(uint32_t nAddress, int nBytes, uint32_t nValue)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (nBytes == 4)
        return Command(Format("W%08X,%08X#", nAddress, nValue));
    if (nBytes == 2)
        return Command(Format("H%08X,%04X#", nAddress, nValue & 0xFFFF));
    if (nBytes == 1)
        return Command(Format("O%08X,%02X#", nAddress, nValue & 0xFF));
    return MON_ERR_BAD_ARGUMENT;
}

int32_t CMonitorSession::WriteBlock(uint32_t nAddress, const uint8_t* pData, int32_t nSize)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (nSize < 0 || (nSize > 0 && !pData))
        return MON_ERR_BAD_ARGUMENT;
    if (m_link == MonitorLink::Usb)
        return WriteRawBlock(nAddress, pData, nSize);
    // S carries no length, so the board stores the padding of the last packet too.
    if (BlockReachesMonitorArea(nAddress, static_cast<uint64_t>(nSize)))
        return MON_ERR_MONITOR_AREA;
    int32_t nError = Command(Format("S%08X,#", nAddress));
    if (nError != 0)
        return nError;
    nError = CXmodemTransfer(m_line, m_limits).Send(pData, static_cast<size_t>(nSize));
    if (nError != 0)
        AbortTransfer();
    return nError;
}

int32_t CMonitorSession::ReadBlock(uint32_t nAddress, uint8_t* pData, int32_t nSize)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (nSize < 0 || (nSize > 0 && !pData))
        return MON_ERR_BAD_ARGUMENT;
    if (m_link == MonitorLink::Usb)
        return ReadRawBlock(nAddress, pData, nSize);
    int32_t nError = Command(Format("R%08X,%08X#", nAddress, static_cast<uint32_t>(nSize)));
    if (nError != 0)
        return nError;
    nError = CXmodemTransfer(m_line, m_limits).Receive(pData, static_cast<size_t>(nSize));
    if (nError != 0)
        AbortTransfer();
    return nError;
}

int CMonitorSession::RawBlockMs(int32_t nSize) const { return m_limits.nWriteMs + nSize / RAW_BYTES_PER_MS; }

int32_t CMonitorSession::WriteRawBlock(uint32_t nAddress, const uint8_t* pData, int32_t nSize)
{
    // S carries the length: exactly those bytes are stored, no padding.
    if (BlockReachesMonitorArea(nAddress, static_cast<uint64_t>(nSize), false))
        return MON_ERR_MONITOR_AREA;
    if (nSize == 0)
        return m_bClosed ? MON_ERR_BAD_HANDLE : 0;
    // The command and its data in separate writes: the ROM reads the command on its own first.
    int32_t nError = Command(Format("S%08X,%08X#", nAddress, static_cast<uint32_t>(nSize)));
    if (nError == 0)
        nError = CXmodemTransfer::ErrorOf(
            m_line.Write(pData, static_cast<size_t>(nSize), m_line.Deadline(RawBlockMs(nSize))));
    return nError;
}

int32_t CMonitorSession::ReadRawBlock(uint32_t nAddress, uint8_t* pData, int32_t nSize)
{
    if (nSize == 0)
        return m_bClosed ? MON_ERR_BAD_HANDLE : 0;
    int32_t nDone = 0;
    for (int32_t nPiece : UsbReadPieces(nSize)) {
        int32_t nError = Command(Format("R%08X,%08X#", nAddress + static_cast<uint32_t>(nDone),
                                        static_cast<uint32_t>(nPiece)));
        size_t nGot = 0;
        if (nError == 0)
            nError = CXmodemTransfer::ErrorOf(m_line.Read(pData + nDone, static_cast<size_t>(nPiece), nGot,
                                                          m_line.Deadline(m_limits.nReplyMs + nPiece / RAW_BYTES_PER_MS)));
        if (nError != 0)
            return nError;
        nDone += nPiece;
    }
    return 0;
}

void CMonitorSession::AbortTransfer()
{
    const uint8_t cancel[3] = {XMODEM_CAN, XMODEM_CAN, XMODEM_CAN};
    if (!m_line.WriteNow(cancel, sizeof(cancel)) || (m_pCancel && m_pCancel->load()))
        return;
    Connect();  // best effort; the next command shows whether it worked
}

int32_t CMonitorSession::Jump(uint32_t nAddress)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // No comma: with one the monitor would take the address as a value and call 0.
    int32_t nError = Command(Format("G%08X#", nAddress));
    if (nError != 0)
        return nError;
    uint32_t nValue = 0;
    // On USB the applet ends without a byte: the monitor's answer to a read, once it is back, says so.
    if (m_link == MonitorLink::Usb)
        return ReadValueLocked(CHIP_ID_ADDRESS, 4, nValue, m_limits.nJumpAckMs);
    // Wait for the applet's 0x06 without sending anything: it may be re-programming the line.
    // Some applets return without it, so its absence alone is no failure.
    uint64_t nDeadline = m_line.Deadline(m_limits.nJumpAckMs);
    for (;;) {
        uint8_t cByte = 0;
        CSerialLine::Result result = m_line.ReadByte(cByte, nDeadline);
        if (result == CSerialLine::LINE_TIMEOUT || (result == CSerialLine::LINE_OK && cByte == XMODEM_ACK))
            break;
        if (result != CSerialLine::LINE_OK)
            return CXmodemTransfer::ErrorOf(result);
    }
    return ReadValueLocked(CHIP_ID_ADDRESS, 4, nValue, m_limits.nReplyMs);
}
