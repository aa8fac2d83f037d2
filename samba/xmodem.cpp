#include "samba/xmodem.h"

#include <cstring>

uint16_t XmodemCrc(const uint8_t* pData, size_t nLength)
{
    uint16_t nCrc = 0;
    for (size_t i = 0; i < nLength; ++i) {
        nCrc = static_cast<uint16_t>(nCrc ^ (pData[i] << 8));
        for (int nBit = 0; nBit < 8; ++nBit)
            nCrc = static_cast<uint16_t>((nCrc & 0x8000) ? (nCrc << 1) ^ 0x1021 : nCrc << 1);
    }
    return nCrc;
}

void BuildXmodemPacket(uint8_t* pOut, uint32_t nBlock, const uint8_t* pData, size_t nLength)
{
    if (nLength > XMODEM_DATA)
        nLength = XMODEM_DATA;
    pOut[0] = XMODEM_SOH;
    pOut[1] = static_cast<uint8_t>(nBlock & 0xFF);
    pOut[2] = static_cast<uint8_t>(~nBlock & 0xFF);
    std::memset(pOut + 3, 0, XMODEM_DATA);
    if (nLength > 0)
        std::memcpy(pOut + 3, pData, nLength);
    uint16_t nCrc = XmodemCrc(pOut + 3, XMODEM_DATA);
    pOut[3 + XMODEM_DATA] = static_cast<uint8_t>(nCrc >> 8);
    pOut[4 + XMODEM_DATA] = static_cast<uint8_t>(nCrc & 0xFF);
}

bool XmodemPacketOk(const uint8_t* pPacket)
{
    if (pPacket[0] != XMODEM_SOH || static_cast<uint8_t>(pPacket[1] + pPacket[2]) != 0xFF)
        return false;
    uint16_t nCrc = XmodemCrc(pPacket + 3, XMODEM_DATA);
    return pPacket[3 + XMODEM_DATA] == (nCrc >> 8) && pPacket[4 + XMODEM_DATA] == (nCrc & 0xFF);
}
