#include <cstdio>
#include <cstring>

#include "console/gbk_text.h"
#include "console/tovardlg.h"

std::atomic<int32_t> g_nHandshakeCount{0};

namespace {
constexpr int SYNC_BURST_BYTES = 8;
constexpr int REPLY_BUFFER_BYTES = 100;
}  // namespace

// One attempt: send a burst of Y and take whatever reply is already waiting. The port stays
// open between attempts until the board answers.
void CTovarDlg::ConsoleHandshake()
{
    char buf[10] = "YYYYYYYYY";
    char rec[REPLY_BUFFER_BYTES];
    std::memset(rec, 0, sizeof rec);
    const int nComPort = m_nComPort.load();
    if (!m_Serial.OpenPort(nComPort, m_SerialSettings)) {
        if (!m_bPortErrorShown.load()) {
            char szLine[64];
            std::snprintf(szLine, sizeof szLine, "COM%d:     串口打开失败!\r\n", nComPort);
            AppendLog(szLine);
            m_bPortErrorShown = 1;
        }
        return;
    }
    int32_t nCount = ++g_nHandshakeCount;
    m_Serial.WriteData(buf, SYNC_BURST_BYTES);
    int nWaiting = m_Serial.BytesWaiting();
    if (nWaiting <= 0)
        return;
    // Leave room for the terminating zero; a longer reply is cut, the rest is dropped with the port.
    int nRead = m_Serial.ReadData(rec, std::min(nWaiting, REPLY_BUFFER_BYTES - 1));
    rec[nRead > 0 ? nRead : 0] = '\0';
    std::string strLine = GbkToUtf8(rec) + ",  " + std::to_string(nCount) + "\r\n";
    AppendLog(strLine);
    m_bConsolePhase = 0;
    m_Serial.ClosePort();
    m_hEvents.Set(CJobEvents::EVENT_TRANSFER);
}
