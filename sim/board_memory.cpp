#include "sim/board_memory.h"

CBoardMemory::CBoardMemory(uint32_t nChipId, uint32_t nChipIdExt)
    : m_nChipId(nChipId), m_nChipIdExt(nChipIdExt), m_vecSram(SRAM_SIZE, 0)
{
}

bool CBoardMemory::TouchesMonitorArea(uint32_t nAddress, size_t nLength)
{
    uint64_t nStart = nAddress;
    uint64_t nEnd = nStart + nLength;
    return nLength > 0 && nStart < uint64_t {SRAM_BASE} + SRAM_SIZE && nEnd > MONITOR_AREA;
}

uint8_t CBoardMemory::ByteAt(uint32_t nAddress) const
{
    if (nAddress >= SRAM_BASE && nAddress - SRAM_BASE < SRAM_SIZE)
        return m_vecSram[nAddress - SRAM_BASE];
    if (nAddress >= CHIP_ID_ADDRESS && nAddress < CHIP_ID_ADDRESS + 4)
        return static_cast<uint8_t>(m_nChipId >> (8 * (nAddress - CHIP_ID_ADDRESS)));
    if (nAddress >= CHIP_ID_EXT_ADDRESS && nAddress < CHIP_ID_EXT_ADDRESS + 4)
        return static_cast<uint8_t>(m_nChipIdExt >> (8 * (nAddress - CHIP_ID_EXT_ADDRESS)));
    auto it = m_mapPages.find(nAddress / PAGE_SIZE);
    return it == m_mapPages.end() ? 0 : it->second[nAddress % PAGE_SIZE];
}

void CBoardMemory::SetByte(uint32_t nAddress, uint8_t cValue)
{
    if (nAddress >= SRAM_BASE && nAddress - SRAM_BASE < SRAM_SIZE) {
        m_vecSram[nAddress - SRAM_BASE] = cValue;
        return;
    }
    if (nAddress >= CHIP_ID_ADDRESS && nAddress < CHIP_ID_EXT_ADDRESS + 4)
        return;  // read-only registers
    auto it = m_mapPages.find(nAddress / PAGE_SIZE);
    if (it == m_mapPages.end()) {
        if (m_mapPages.size() >= MAX_PAGES)
            return;
        it = m_mapPages.emplace(nAddress / PAGE_SIZE, std::array<uint8_t, PAGE_SIZE> {}).first;
    }
    it->second[nAddress % PAGE_SIZE] = cValue;
}

uint32_t CBoardMemory::Read(uint32_t nAddress, int nBytes) const
{
    uint32_t nValue = 0;
    for (int i = nBytes - 1; i >= 0; --i)
        nValue = (nValue << 8) | ByteAt(nAddress + static_cast<uint32_t>(i));
    return nValue;
}

bool CBoardMemory::Write(uint32_t nAddress, int nBytes, uint32_t nValue)
{
    uint8_t bytes[4];
    for (int i = 0; i < nBytes && i < 4; ++i)
        bytes[i] = static_cast<uint8_t>(nValue >> (8 * i));
    return WriteBytes(nAddress, bytes, static_cast<size_t>(nBytes));
}

bool CBoardMemory::WriteBytes(uint32_t nAddress, const uint8_t* pData, size_t nLength)
{
    if (TouchesMonitorArea(nAddress, nLength))
        return false;
    for (size_t i = 0; i < nLength; ++i)
        SetByte(static_cast<uint32_t>(nAddress + i), pData[i]);
    return true;
}

void CBoardMemory::ReadBytes(uint32_t nAddress, uint8_t* pData, size_t nLength) const
{
    for (size_t i = 0; i < nLength; ++i)
        pData[i] = ByteAt(static_cast<uint32_t>(nAddress + i));
}
