#include "sim/board_console.h"

#include <algorithm>

void CBoardConsole::Receive(const uint8_t* pData, size_t nLength, std::string& strOut)
{
    if (std::find(pData, pData + nLength, static_cast<uint8_t>('Y')) == pData + nLength)
        return;
    if (++m_nBursts <= m_config.nAnswerAfter || m_config.bSilentConsole)
        return;
    ++m_nAnswers;
    strOut += m_config.strBanner;
}
