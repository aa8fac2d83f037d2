#include <cstdio>
#include <cstring>

#include "base/gbk_text.h"
#include "job/job.h"

namespace {
constexpr int SYNC_BURST_BYTES = 8;
constexpr int REPLY_BUFFER_BYTES = 100;
}  // namespace

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
    AppendLog(GbkToUtf8(rec) + ",  " + std::to_string(nCount) + "\r\n");
    m_bConsolePhase = 0;
    m_Serial.ClosePort();
    m_hEvents.Set(CJobEvents::EVENT_TRANSFER);
}
