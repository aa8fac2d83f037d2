#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

// The board's address space as the monitor sees it: the debug unit's identifier registers,
// 32 KB of internal SRAM at 0x300000 (the top 8 KB belong to the monitor) and a bounded sparse
// store for any other address. Unwritten memory reads 0.
class CBoardMemory {
public:
    static constexpr uint32_t SRAM_BASE = 0x300000;
    static constexpr uint32_t SRAM_SIZE = 0x8000;
    static constexpr uint32_t MONITOR_AREA = 0x306000;
    static constexpr uint32_t CHIP_ID_ADDRESS = 0xFFFFF240;
    static constexpr uint32_t CHIP_ID_EXT_ADDRESS = 0xFFFFF244;

    CBoardMemory(uint32_t nChipId, uint32_t nChipIdExt);

    // nBytes 1, 2 or 4, little-endian.
    uint32_t Read(uint32_t nAddress, int nBytes) const;
    // False (and nothing written) when the range touches the monitor's own SRAM.
    bool Write(uint32_t nAddress, int nBytes, uint32_t nValue);
    bool WriteBytes(uint32_t nAddress, const uint8_t* pData, size_t nLength);
    void ReadBytes(uint32_t nAddress, uint8_t* pData, size_t nLength) const;

    static bool TouchesMonitorArea(uint32_t nAddress, size_t nLength);

private:
    static constexpr uint32_t PAGE_SIZE = 4096;
    static constexpr size_t MAX_PAGES = 4096;  // 16 MB beyond the SRAM; later writes are dropped

    uint8_t ByteAt(uint32_t nAddress) const;
    void SetByte(uint32_t nAddress, uint8_t cValue);

    uint32_t m_nChipId;
    uint32_t m_nChipIdExt;
    std::vector<uint8_t> m_vecSram;
    std::map<uint32_t, std::array<uint8_t, PAGE_SIZE>> m_mapPages;
};
