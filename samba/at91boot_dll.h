#pragma once
#include "samba/at91_backend.h"

// The boot-monitor wrapper: the twelve operations, forwarded to the backend it was bound to.
// A wrapper whose binding failed answers every call with a failure and lists no device.
class CAt91BootDll {
public:
    explicit CAt91BootDll(const At91BackendFactory& fnFactory);
    ~CAt91BootDll();
    CAt91BootDll(const CAt91BootDll&) = delete;
    CAt91BootDll& operator=(const CAt91BootDll&) = delete;

    bool IsBound() const { return m_pBackend != nullptr; }

    void CloseDevice(int32_t hDevice);
    void OpenDevice(const char* szName, int32_t& hDevice);
    void WriteWord(int32_t hDevice, int32_t nValue, int32_t nAddress, int32_t& nError);
    void WriteHalfWord(int32_t hDevice, int16_t nValue, int32_t nAddress, int32_t& nError);
    void WriteByte(int32_t hDevice, uint8_t cValue, int32_t nAddress, int32_t& nError);
    void WriteBlock(int32_t hDevice, int32_t nAddress, const uint8_t* pBuffer, int32_t nSize, int32_t& nError);
    void ReadWord(int32_t hDevice, int32_t& nValue, int32_t nAddress, int32_t& nError);
    void ReadHalfWord(int32_t hDevice, int16_t& nValue, int32_t nAddress, int32_t& nError);
    void ReadByte(int32_t hDevice, uint8_t& cValue, int32_t nAddress, int32_t& nError);
    void ReadBlock(int32_t hDevice, int32_t nAddress, uint8_t* pBuffer, int32_t nSize, int32_t& nError);
    void Jump(int32_t hDevice, int32_t nAddress, int32_t& nError);
    void ScanDevices(char* szDevices[SCAN_MAX_DEVICES]);

    void SetCancelFlag(const std::atomic<int>* pCancel);
    void SetUsbLink(int nAppearWaitMs);
    std::string ErrorText(int32_t nError) const;
    std::string LastOpenError() const;

private:
    std::unique_ptr<IAt91Backend> m_pBackend;
};

// Error word of every call on a wrapper without a backend.
constexpr int32_t AT91_ERR_NOT_BOUND = 0x7F000001;
