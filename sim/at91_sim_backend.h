#pragma once
#include "samba/at91_backend.h"

class CAt91SimBoard;

// The wrapper's backend for a simulated board: every call is recorded on the board.
class CAt91SimBackend : public IAt91Backend {
public:
    explicit CAt91SimBackend(CAt91SimBoard& board);
    ~CAt91SimBackend() override;

    void CloseDevice(int32_t hDevice) override;
    void OpenDevice(const char* szName, int32_t& hDevice) override;
    void WriteWord(int32_t hDevice, int32_t nValue, int32_t nAddress, int32_t& nError) override;
    void WriteHalfWord(int32_t hDevice, int16_t nValue, int32_t nAddress, int32_t& nError) override;
    void WriteByte(int32_t hDevice, uint8_t cValue, int32_t nAddress, int32_t& nError) override;
    void WriteBlock(int32_t hDevice, int32_t nAddress, const uint8_t* pBuffer, int32_t nSize,
                    int32_t& nError) override;
    void ReadWord(int32_t hDevice, int32_t& nValue, int32_t nAddress, int32_t& nError) override;
    void ReadHalfWord(int32_t hDevice, int16_t& nValue, int32_t nAddress, int32_t& nError) override;
    void ReadByte(int32_t hDevice, uint8_t& cValue, int32_t nAddress, int32_t& nError) override;
    void ReadBlock(int32_t hDevice, int32_t nAddress, uint8_t* pBuffer, int32_t nSize, int32_t& nError) override;
    void Jump(int32_t hDevice, int32_t nAddress, int32_t& nError) override;
    void ScanDevices(char* szDevices[SCAN_MAX_DEVICES]) override;

private:
    CAt91SimBoard& m_Board;
};
