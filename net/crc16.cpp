#include "net/crc16.h"

#include <array>

namespace {

constexpr std::array<uint16_t, 256> MakeTable()
{
    std::array<uint16_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        uint16_t reg = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 1) ? static_cast<uint16_t>((reg >> 1) ^ 0xA001) : static_cast<uint16_t>(reg >> 1);
        table[i] = reg;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kCrcTable = MakeTable();

}  // namespace

int CalcCrc16(const unsigned char* pData, int nLength)
{
    uint16_t reg = 0xFFFF;
    for (int i = 0; i < nLength; ++i)
        reg = static_cast<uint16_t>((reg >> 8) ^ kCrcTable[(reg ^ pData[i]) & 0xFF]);
    return reg;
}

int CalcCrc16Bitwise(const unsigned char* pData, int nLength)
{
    uint16_t reg = 0xFFFF;
    for (int i = 0; i < nLength; ++i) {
        reg ^= pData[i];
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 1) ? static_cast<uint16_t>((reg >> 1) ^ 0xA001) : static_cast<uint16_t>(reg >> 1);
    }
    return reg;
}
