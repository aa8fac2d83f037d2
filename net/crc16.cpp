#include "net/crc16.h"

#include <array>
#include <bit>
#include <cstring>

namespace {

constexpr int kSlices = 16;
using CrcTables = std::array<std::array<uint16_t, 256>, kSlices>;

// Table k gives the checksum contribution of a byte followed by k zero bytes, so sixteen bytes
// can be folded into the register with sixteen independent look-ups (slicing-by-16).
constexpr CrcTables MakeTables()
{
    CrcTables tables{};
    for (int i = 0; i < 256; ++i) {
        uint16_t reg = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 1) ? static_cast<uint16_t>((reg >> 1) ^ 0xA001) : static_cast<uint16_t>(reg >> 1);
        tables[0][i] = reg;
    }
    for (int k = 1; k < kSlices; ++k)
        for (int i = 0; i < 256; ++i) {
            uint16_t prev = tables[k - 1][i];
            tables[k][i] = static_cast<uint16_t>((prev >> 8) ^ tables[0][prev & 0xFF]);
        }
    return tables;
}

alignas(64) constexpr CrcTables kTables = MakeTables();

inline uint64_t LoadLittle64(const unsigned char* p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap64(v);
    return v;
}

inline uint16_t Byte(uint64_t v, int n) { return static_cast<uint16_t>((v >> (8 * n)) & 0xFF); }

}  // namespace

int CalcCrc16(const unsigned char* pData, int nLength)
{
    uint32_t reg = 0xFFFF;
    int i = 0;
    for (; i + kSlices <= nLength; i += kSlices) {
        uint64_t a = LoadLittle64(pData + i) ^ reg;
        uint64_t b = LoadLittle64(pData + i + 8);
        reg = kTables[15][Byte(a, 0)] ^ kTables[14][Byte(a, 1)] ^ kTables[13][Byte(a, 2)] ^
              kTables[12][Byte(a, 3)] ^ kTables[11][Byte(a, 4)] ^ kTables[10][Byte(a, 5)] ^
              kTables[9][Byte(a, 6)] ^ kTables[8][Byte(a, 7)] ^ kTables[7][Byte(b, 0)] ^
              kTables[6][Byte(b, 1)] ^ kTables[5][Byte(b, 2)] ^ kTables[4][Byte(b, 3)] ^
              kTables[3][Byte(b, 4)] ^ kTables[2][Byte(b, 5)] ^ kTables[1][Byte(b, 6)] ^
              kTables[0][Byte(b, 7)];
    }
    for (; i < nLength; ++i)
        reg = (reg >> 8) ^ kTables[0][(reg ^ pData[i]) & 0xFF];
    return static_cast<int>(reg);
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
