#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/gbk_text.h"
#include "job/job.h"

namespace {
constexpr int SYNC_BURST_BYTES = 8;
constexpr int REPLY_BUFFER_BYTES = 100;

// The bytes as C-style text: printable ASCII as is, everything else escaped.
std::string Escaped(const char* pData, int nLength)
{
    std::string strOut;
    for (int i = 0; i < nLength; ++i) {
        unsigned char c = static_cast<unsigned char>(pData[i]);
        char szByte[8];
        if (c == '\r') {
            strOut += "\\r";
        } else if (c == '\n') {
            strOut += "\\n";
        } else if (c == '"' || c == '\\') {
            strOut += '\\';
            strOut += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            strOut += static_cast<char>(c);
        } else {
            std::snprintf(szByte, sizeof szByte, "\\x%02X", c);
            strOut += szByte;
        }
    }
    return strOut;
}

}  // namespace

// Ends the job once the console wait is over: after a bring-up that broke off at the fallback bound,
// with the bring-up's cause; else at the request's console bound (0: none). True when it ended.
bool CJob::ConsoleTimeUp()
{
    int nLimitMs = m_bBringUpBrokenOff ? m_Request.nConsoleFallbackMs : m_Request.nConsoleTimeoutMs;
    if (!m_bBringUpBrokenOff && nLimitMs <= 0)
        return false;
    if (m_Clock.NowMs() - m_nConsoleStartMs < static_cast<uint64_t>(std::max(nLimitMs, 0)))
        return false;
    m_Serial.ClosePort();
    AppendLog("->控制台无应答 / COM" + std::to_string(m_nComPort) + ": no answer from the boot loader's console within " +
              std::to_string(nLimitMs / 1000) + " s.\r\n");
    if (m_bBringUpBrokenOff)
        Finish(JobVerdict::Failed, JobCause::BringUp, m_strBringUpCause, JobStage::BringUp);
    else
        Finish(JobVerdict::Failed, JobCause::Console, "the boot loader's console did not answer");
    return true;
}

// One attempt: send a burst of Y and take whatever reply is already waiting. The port stays
// open between attempts until the board answers.
void CJob::ConsoleHandshake()
{
    char buf[10] = "YYYYYYYYY";
    char rec[REPLY_BUFFER_BYTES];
    std::memset(rec, 0, sizeof rec);
    if (!m_Serial.OpenPort(m_nComPort, m_SerialSettings)) {
        if (!m_bPortErrorShown) {
            char szLine[64];
            std::snprintf(szLine, sizeof szLine, "COM%d:     串口打开失败!\r\n", m_nComPort);
            AppendLog(szLine);
            AppendLog("->" + m_Serial.LastError() + "; Tovar keeps trying until the board answers or Stop.\r\n");
            m_bPortErrorShown = 1;
        }
        return;
    }
    int32_t nCount = ++m_nHandshakeCount;
    m_Serial.WriteData(buf, SYNC_BURST_BYTES);
    int nWaiting = m_Serial.BytesWaiting();
    if (nWaiting <= 0)
        return;
    // Leave room for the terminating zero; a longer reply is cut, the rest is dropped with the port.
    int nRead = m_Serial.ReadData(rec, std::min(nWaiting, REPLY_BUFFER_BYTES - 1));
    rec[nRead > 0 ? nRead : 0] = '\0';
    // The raw reply for the detailed log: the pane shows it decoded and cut at a zero byte.
    AppendDetail("->Console COM" + std::to_string(m_nComPort) + " answered burst " + std::to_string(nCount) + ": " +
                 std::to_string(nWaiting) + " byte(s) waiting, " + std::to_string(std::max(nRead, 0)) + " read: \"" +
                 Escaped(rec, std::max(nRead, 0)) + "\"\r\n");
    AppendLog(GbkToUtf8(rec) + ",  " + std::to_string(nCount) + "\r\n");
    m_bConsolePhase = 0;
    m_Serial.ClosePort();
    m_hEvents.Set(CJobEvents::EVENT_TRANSFER);
}
