#include "sim/board_monitor.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

namespace {

constexpr size_t MAX_READ_BLOCK = 16u << 20;

std::string Hex(uint32_t nValue, int nDigits)
{
    char szText[16];
    std::snprintf(szText, sizeof(szText), "0x%0*X", nDigits, nValue);
    return szText;
}

int HexDigit(uint8_t cByte)
{
    if (cByte >= '0' && cByte <= '9')
        return cByte - '0';
    if (cByte >= 'a' && cByte <= 'f')
        return cByte - 'a' + 10;
    if (cByte >= 'A' && cByte <= 'F')
        return cByte - 'A' + 10;
    return -1;
}

}  // namespace

CBoardMonitor::CBoardMonitor(const MonitorConfig& config)
    : m_config(config), m_memory(config.nChipId, config.nChipIdExt), m_console(m_config)
{
}

CBoardMonitor::~CBoardMonitor() = default;

void CBoardMonitor::Log(const std::string& strLine)
{
    if (m_fnLog)
        m_fnLog(strLine);
}

void CBoardMonitor::Crash(const std::string& strReason)
{
    m_eMode = Mode::Crashed;
    m_strCrash = strReason;
    Log("monitor crashed: " + strReason);
}

void CBoardMonitor::Receive(const uint8_t* pData, size_t nLength, uint64_t nNowMs, std::string& strOut)
{
    Tick(nNowMs, strOut);
    size_t i = 0;
    while (i < nLength) {
        switch (m_eMode) {
        case Mode::Crashed:
            return;
        case Mode::Console:
            m_console.Receive(pData + i, nLength - i, strOut);
            return;
        case Mode::XmodemIn:
            i += m_pReceiver->Receive(pData + i, nLength - i, nNowMs, strOut);
            FinishTransfer(strOut);
            break;
        case Mode::XmodemOut:
            i += m_pSender->Receive(pData + i, nLength - i, nNowMs, strOut);
            FinishTransfer(strOut);
            break;
        case Mode::RawIn:
            i += ReceiveRaw(pData + i, nLength - i);
            break;
        default:
            ParseByte(pData[i++], nNowMs, strOut);
            break;
        }
    }
}

void CBoardMonitor::Tick(uint64_t nNowMs, std::string& strOut)
{
    if (m_eMode == Mode::XmodemIn) {
        m_pReceiver->Tick(nNowMs, strOut);
        FinishTransfer(strOut);
    } else if (m_eMode == Mode::XmodemOut) {
        m_pSender->Tick(nNowMs, strOut);
        FinishTransfer(strOut);
    }
    bool bMonitorMode = m_eMode == Mode::Terminal || m_eMode == Mode::Normal;
    if (m_bBootDone && bMonitorMode && nNowMs >= m_nConsoleAtMs) {
        m_eMode = Mode::Console;
        Log("boot loader console up");
    }
}

int CBoardMonitor::MsUntilNextEvent(uint64_t nNowMs) const
{
    if (m_eMode == Mode::XmodemIn)
        return m_pReceiver->MsUntilNextEvent(nNowMs);
    if (m_eMode == Mode::XmodemOut)
        return m_pSender->MsUntilNextEvent(nNowMs);
    if (m_bBootDone && (m_eMode == Mode::Terminal || m_eMode == Mode::Normal))
        return m_nConsoleAtMs > nNowMs ? static_cast<int>(m_nConsoleAtMs - nNowMs) : 0;
    return -1;
}

void CBoardMonitor::ParseByte(uint8_t cByte, uint64_t nNowMs, std::string& strOut)
{
    if (cByte == '#') {
        Execute(nNowMs, strOut);
        m_cOp = 0;
        m_nNumber = 0;
        m_bComma = false;
        return;
    }
    if (m_cOp == 0) {
        if (std::isalpha(cByte))
            m_cOp = static_cast<char>(cByte);
        return;
    }
    if (cByte == ',') {
        m_nCommaAddress = m_nNumber;
        m_nNumber = 0;
        m_bComma = true;
    } else if (int nDigit = HexDigit(cByte); nDigit >= 0) {
        m_nNumber = (m_nNumber << 4) | static_cast<uint32_t>(nDigit);
    }  // other characters are ignored
}

void CBoardMonitor::Execute(uint64_t nNowMs, std::string& strOut)
{
    // Without a comma the number is the value and the address of the previous command stays.
    if (m_bComma)
        m_nAddress = m_nCommaAddress;
    uint32_t nValue = m_nNumber;
    bool bTerminal = m_eMode == Mode::Terminal;
    if (m_bBootDone)
        m_nConsoleAtMs = nNowMs + static_cast<uint64_t>(m_config.nBootDelayMs);
    int nSize = 0;
    switch (m_cOp) {
    case 'N':
        m_eMode = Mode::Normal;
        strOut += "\n\r";
        return;
    case 'T':
        m_eMode = Mode::Terminal;
        strOut += "\n\r>";
        return;
    case 'V':
        strOut += "v1.0 virtual board\n\r";
        break;
    case 'O': case 'H': case 'W':
        nSize = m_cOp == 'W' ? 4 : m_cOp == 'H' ? 2 : 1;
        if (!m_memory.Write(m_nAddress, nSize, nValue)) {
            Crash("write into the monitor's memory at " + Hex(m_nAddress, 8));
            return;
        }
        break;
    case 'o': case 'h': case 'w': {
        nSize = m_cOp == 'w' ? 4 : m_cOp == 'h' ? 2 : 1;
        uint32_t nRead = m_memory.Read(m_nAddress, nSize);
        if (bTerminal) {
            strOut += Hex(nRead, 2 * nSize);
        } else {
            for (int i = 0; i < nSize; ++i)
                strOut += static_cast<char>((nRead >> (8 * i)) & 0xFF);
        }
        break;
    }
    case 'S':
        if (m_config.bUsbLink) {
            m_nTransferAddress = m_nAddress;
            m_nRawLeft = nValue;
            m_nRawDone = 0;
            m_eReturnMode = m_eMode;
            if (nValue > 0)
                m_eMode = Mode::RawIn;
            return;
        }
        m_nTransferAddress = m_nAddress;
        m_eReturnMode = m_eMode;
        m_eMode = Mode::XmodemIn;
        m_pReceiver = std::make_unique<CBoardXmodemReceiver>(
            m_config, [this](uint64_t nOffset, const uint8_t* pData) { return StorePacket(nOffset, pData); });
        m_pReceiver->Start(nNowMs, strOut);
        return;
    case 'R': {
        if (nValue > MAX_READ_BLOCK)
            break;
        std::vector<uint8_t> vecData(nValue);
        m_memory.ReadBytes(m_nAddress, vecData.data(), vecData.size());
        if (m_config.bUsbLink) {
            strOut.append(vecData.begin(), vecData.end());
            return;
        }
        m_eReturnMode = m_eMode;
        m_eMode = Mode::XmodemOut;
        m_pSender = std::make_unique<CBoardXmodemSender>(m_config, std::move(vecData));
        m_pSender->Start(nNowMs);
        return;
    }
    case 'G':
        Run(nValue, nNowMs, strOut);
        if (m_eMode == Mode::Crashed)
            return;
        break;
    default:
        break;  // unknown or empty command
    }
    if (bTerminal)
        strOut += "\n\r>";
}

bool CBoardMonitor::StorePacket(uint64_t nOffset, const uint8_t* pData)
{
    uint64_t nAddress = uint64_t {m_nTransferAddress} + nOffset;
    if (nAddress > 0xFFFFFFFFu || !m_memory.WriteBytes(static_cast<uint32_t>(nAddress), pData, 128)) {
        Crash("XMODEM packet into the monitor's memory at " + Hex(static_cast<uint32_t>(nAddress), 8));
        return false;
    }
    ++m_nPacketsStored;
    if (m_config.nHangUpAfterPackets >= 0 && m_nPacketsStored >= static_cast<uint64_t>(m_config.nHangUpAfterPackets)) {
        m_bHangUp = true;
        Log("line hung up after " + std::to_string(m_nPacketsStored) + " packets");
        return false;
    }
    return true;
}

size_t CBoardMonitor::ReceiveRaw(const uint8_t* pData, size_t nLength)
{
    size_t nTake = std::min<size_t>(nLength, m_nRawLeft);
    uint64_t nAddress = uint64_t {m_nTransferAddress} + m_nRawDone;
    if (nAddress + nTake > 0x100000000ull || !m_memory.WriteBytes(static_cast<uint32_t>(nAddress), pData, nTake)) {
        Crash("raw block into the monitor's memory at " + Hex(static_cast<uint32_t>(nAddress), 8));
        return nLength;
    }
    // The hang-up fault counts the raw bytes in packets of 128, as the serial line's.
    uint64_t nPacketsBefore = m_nRawDone / 128;
    m_nRawDone += static_cast<uint32_t>(nTake);
    m_nRawLeft -= static_cast<uint32_t>(nTake);
    m_nPacketsStored += m_nRawDone / 128 - nPacketsBefore;
    if (m_config.nHangUpAfterPackets >= 0 && m_nPacketsStored >= static_cast<uint64_t>(m_config.nHangUpAfterPackets)) {
        m_bHangUp = true;
        Log("line hung up after " + std::to_string(m_nPacketsStored) + " packets");
        return nLength;
    }
    if (m_nRawLeft == 0) {
        if (m_nTransferAddress == RUN_ADDRESS)
            m_bLoaded = true;
        Log("raw block received at " + Hex(m_nTransferAddress, 8) + ", " + std::to_string(m_nRawDone) + " bytes");
        m_eMode = m_eReturnMode;
    }
    return nTake;
}

void CBoardMonitor::FinishTransfer(std::string& strOut)
{
    if (m_eMode == Mode::XmodemIn && m_pReceiver->GetState() != CBoardXmodemReceiver::XR_RUNNING) {
        bool bDone = m_pReceiver->GetState() == CBoardXmodemReceiver::XR_DONE;
        if (bDone && m_nTransferAddress == RUN_ADDRESS)
            m_bLoaded = true;
        Log((bDone ? "block received at " : "block transfer aborted (" + m_pReceiver->Reason() + ") at ") +
            Hex(m_nTransferAddress, 8) + ", " + std::to_string(m_pReceiver->PacketsStored()) + " packets");
        if (m_eMode != Mode::Crashed)
            m_eMode = m_eReturnMode;
    } else if (m_eMode == Mode::XmodemOut && m_pSender->GetState() != CBoardXmodemSender::XS_RUNNING) {
        m_eMode = m_eReturnMode;
    } else {
        return;
    }
    if (m_eMode == Mode::Terminal)
        strOut += "\n\r>";
}

void CBoardMonitor::Run(uint32_t nTarget, uint64_t nNowMs, std::string& strOut)
{
    if (nTarget != RUN_ADDRESS) {
        Crash("call to " + Hex(nTarget, 8));
        return;
    }
    if (!m_bLoaded) {
        Crash("call to " + Hex(nTarget, 8) + " with nothing loaded there");
        return;
    }
    // Until a low-level init has succeeded, what runs is the low-level init applet.
    bool bBootLoader = m_bLowLevelDone;
    uint32_t nStatus = bBootLoader ? m_config.nBootStatus : m_config.nAppletStatus;
    uint32_t nCommand = m_memory.Read(MAILBOX_COMMAND, 4);
    uint32_t nArg0 = m_memory.Read(MAILBOX_ARG0, 4);
    m_memory.Write(MAILBOX_STATUS, 4, nStatus);
    m_memory.Write(MAILBOX_COMMAND, 4, ~nCommand);
    ++m_nRuns;
    m_bLoaded = false;
    if (!bBootLoader && nStatus == 0)
        m_bLowLevelDone = true;
    if (bBootLoader && nStatus == 0) {
        m_bBootDone = true;
        m_nConsoleAtMs = nNowMs + static_cast<uint64_t>(m_config.nBootDelayMs);
    }
    Log(std::string(bBootLoader ? "boot loader" : "low-level init applet") + " ran, status " + Hex(nStatus, 8));
    if (nArg0 == 1 && !m_config.bUsbLink)
        strOut += '\x06';  // the DBGU link's end-of-applet byte
}
