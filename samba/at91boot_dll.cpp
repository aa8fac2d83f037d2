#include "samba/at91boot_dll.h"

#include <cstdio>

CAt91BootDll::CAt91BootDll(const At91BackendFactory& fnFactory)
{
    if (fnFactory)
        m_pBackend = fnFactory();
}

CAt91BootDll::~CAt91BootDll() = default;

std::string IAt91Backend::ErrorText(int32_t nError) const
{
    char szText[40];
    std::snprintf(szText, sizeof szText, "error word 0x%08X", static_cast<uint32_t>(nError));
    return szText;
}

void CAt91BootDll::SetCancelFlag(const std::atomic<int>* pCancel)
{
    if (m_pBackend)
        m_pBackend->SetCancelFlag(pCancel);
}

void CAt91BootDll::SetUsbLink(int nAppearWaitMs)
{
    if (m_pBackend)
        m_pBackend->SetUsbLink(nAppearWaitMs);
}

std::string CAt91BootDll::ErrorText(int32_t nError) const
{
    if (nError == AT91_ERR_NOT_BOUND)
        return "the boot monitor interface is not available";
    return m_pBackend ? m_pBackend->ErrorText(nError) : std::string();
}

std::string CAt91BootDll::LastOpenError() const
{
    return m_pBackend ? m_pBackend->LastOpenError() : std::string("the boot monitor interface is not available");
}

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
