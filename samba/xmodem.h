#pragma once
#include <cstddef>
#include <cstdint>

// XMODEM-CRC as the boot monitor uses it for its S and R commands: 128-byte blocks, block numbers
// from 1 (wrapping 0xFF to 0x00), CRC-16 with polynomial 0x1021 and initial value 0, high byte first.
constexpr uint8_t XMODEM_SOH = 0x01;
constexpr uint8_t XMODEM_EOT = 0x04;
constexpr uint8_t XMODEM_ACK = 0x06;
constexpr uint8_t XMODEM_NAK = 0x15;
constexpr uint8_t XMODEM_CAN = 0x18;
constexpr uint8_t XMODEM_CRC_REQUEST = 'C';
constexpr int XMODEM_DATA = 128;
constexpr int XMODEM_PACKET = 3 + XMODEM_DATA + 2;  // SOH, number, complement, data, CRC

uint16_t XmodemCrc(const uint8_t* pData, size_t nLength);

// Writes one packet for block nBlock (1-based) carrying nLength (at most 128) bytes, padded with 0x00.
void BuildXmodemPacket(uint8_t* pOut, uint32_t nBlock, const uint8_t* pData, size_t nLength);

// A packet's header and CRC are sound; its block number is pPacket[1].
bool XmodemPacketOk(const uint8_t* pPacket);

// Number of blocks that carry nSize bytes.
inline uint64_t XmodemBlocks(uint64_t nSize) { return (nSize + XMODEM_DATA - 1) / XMODEM_DATA; }
