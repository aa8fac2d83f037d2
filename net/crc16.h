#pragma once
#include <cstdint>

// CRC-16/MODBUS (reflected polynomial 0xA001, initial 0xFFFF, no final XOR); sent low byte first.
// A length of 0 or less gives 0xFFFF.
int CalcCrc16(const unsigned char* pData, int nLength);

// The bit-by-bit definition, kept as the reference the fast version is checked against.
int CalcCrc16Bitwise(const unsigned char* pData, int nLength);
