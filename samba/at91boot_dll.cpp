#include "samba/at91boot_dll.h"

CAt91BootDll::CAt91BootDll(const At91BackendFactory& fnFactory)
{
    if (fnFactory)
        m_pBackend = fnFactory();
}

CAt91BootDll::~CAt91BootDll() = default;

void CAt91BootDll::CloseDevice(int32_t hDevice)
{
    if (m_pBackend)
        m_pBackend->CloseDevice(hDevice);
}

void CAt91BootDll::OpenDevice(const char* szName, int32_t& hDevice)
{
    hDevice = 0;
    if (m_pBackend && szName)
        m_pBackend->OpenDevice(szName, hDevice);
}

void CAt91BootDll::WriteWord(int32_t hDevice, int32_t nValue, int32_t nAddress, int32_t& nError)
{
    nError = AT91_ERR_NOT_BOUND;
    if (m_pBackend)
        m_pBackend->WriteWord(hDevice, nValue, nAddress, nError);
}

void CAt91BootDll::WriteHalfWord(int32_t hDevice, int16_t nValue, int32_t nAddress, int32_t& nError)
{
    nError = AT91_ERR_NOT_BOUND;
    if (m_pBackend)
        m_pBackend->WriteHalfWord(hDevice, nValue, nAddress, nError);
}

void CAt91BootDll::WriteByte(int32_t hDevice, uint8_t cValue, int32_t nAddress, int32_t& nError)
{
    nError = AT91_ERR_NOT_BOUND;
    if (m_pBackend)
        m_pBackend->WriteByte(hDevice, cValue, nAddress, nError);
}

void CAt91BootDll::WriteBlock(int32_t hDevice, int32_t nAddress, const uint8_t* pBuffer, int32_t nSize,
                              int32_t& nError)
{
    nError = AT91_ERR_NOT_BOUND;
    if (m_pBackend)
        m_pBackend->WriteBlock(hDevice, nAddress, pBuffer, nSize, nError);
}

void CAt91BootDll::ReadWord(int32_t hDevice, int32_t& nValue, int32_t nAddress, int32_t& nError)
{
    nError = AT91_ERR_NOT_BOUND;
    if (m_pBackend)
        m_pBackend->ReadWord(hDevice, nValue, nAddress, nError);
}

void CAt91BootDll::ReadHalfWord(int32_t hDevice, int16_t& nValue, int32_t nAddress, int32_t& nError)
{
    nError = AT91_ERR_NOT_BOUND;
    if (m_pBackend)
        m_pBackend->ReadHalfWord(hDevice, nValue, nAddress, nError);
}

void CAt91BootDll::ReadByte(int32_t hDevice, uint8_t& cValue, int32_t nAddress, int32_t& nError)
{
    nError = AT91_ERR_NOT_BOUND;
    if (m_pBackend)
        m_pBackend->ReadByte(hDevice, cValue, nAddress, nError);
}

void CAt91BootDll::ReadBlock(int32_t hDevice, int32_t nAddress, uint8_t* pBuffer, int32_t nSize, int32_t& nError)
{
    nError = AT91_ERR_NOT_BOUND;
    if (m_pBackend)
        m_pBackend->ReadBlock(hDevice, nAddress, pBuffer, nSize, nError);
}

void CAt91BootDll::Jump(int32_t hDevice, int32_t nAddress, int32_t& nError)
{
    nError = AT91_ERR_NOT_BOUND;
    if (m_pBackend)
        m_pBackend->Jump(hDevice, nAddress, nError);
}

void CAt91BootDll::ScanDevices(char* szDevices[SCAN_MAX_DEVICES])
{
    if (m_pBackend) {
        m_pBackend->ScanDevices(szDevices);
        return;
    }
    szDevices[0] = nullptr;
}
