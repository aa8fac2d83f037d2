#include "sim/at91_sim_backend.h"

#include <cstring>

#include "sim/at91_sim_board.h"

namespace {
CAt91SimBoard::SimCall MakeCall(const char* szMethod, int32_t hDevice, int32_t nAddress, int32_t nValue = 0)
{
    CAt91SimBoard::SimCall call;
    call.strMethod = szMethod;
    call.hDevice = hDevice;
    call.nAddress = static_cast<uint32_t>(nAddress);
    call.nValue = nValue;
    return call;
}
constexpr int32_t SIM_HANDLE = 1;
constexpr int32_t SIM_ERR_BAD_HANDLE = 0x7F000010;
}  // namespace

CAt91SimBackend::CAt91SimBackend(CAt91SimBoard& board) : m_Board(board) { m_Board.BackendBound(1); }

CAt91SimBackend::~CAt91SimBackend() { m_Board.BackendBound(-1); }

void CAt91SimBackend::CloseDevice(int32_t hDevice)
{
    m_Board.Record(MakeCall("CloseDevice", hDevice, 0));
    if (hDevice == SIM_HANDLE)
        m_Board.DeviceOpened(-1);
}

void CAt91SimBackend::OpenDevice(const char* szName, int32_t& hDevice)
{
    CAt91SimBoard::SimCall call = MakeCall("OpenDevice", 0, 0);
    call.strName = szName;
    int32_t nError = m_Board.Record(call);
    hDevice = 0;
    if (nError != 0 || m_Board.OpenFails())
        return;
    for (const std::string& strName : m_Board.Devices()) {
        if (strName == szName) {
            hDevice = SIM_HANDLE;
            m_Board.DeviceOpened(1);
            return;
        }
    }
}

void CAt91SimBackend::WriteWord(int32_t hDevice, int32_t nValue, int32_t nAddress, int32_t& nError)
{
    nError = m_Board.Record(MakeCall("WriteWord", hDevice, nAddress, nValue));
    if (nError == 0 && hDevice != SIM_HANDLE)
        nError = SIM_ERR_BAD_HANDLE;
    if (nError == 0)
        m_Board.Store(static_cast<uint32_t>(nAddress), static_cast<uint32_t>(nValue));
}

void CAt91SimBackend::WriteHalfWord(int32_t hDevice, int16_t nValue, int32_t nAddress, int32_t& nError)
{
    nError = m_Board.Record(MakeCall("WriteHalfWord", hDevice, nAddress, nValue));
}

void CAt91SimBackend::WriteByte(int32_t hDevice, uint8_t cValue, int32_t nAddress, int32_t& nError)
{
    nError = m_Board.Record(MakeCall("WriteByte", hDevice, nAddress, cValue));
}

void CAt91SimBackend::WriteBlock(int32_t hDevice, int32_t nAddress, const uint8_t* pBuffer, int32_t nSize,
                                 int32_t& nError)
{
    CAt91SimBoard::SimCall call = MakeCall("WriteBlock", hDevice, nAddress, nSize);
    if (pBuffer && nSize > 0)
        call.data.assign(pBuffer, pBuffer + nSize);
    nError = m_Board.Record(std::move(call));
    if (nError == 0 && hDevice != SIM_HANDLE)
        nError = SIM_ERR_BAD_HANDLE;
}

void CAt91SimBackend::ReadWord(int32_t hDevice, int32_t& nValue, int32_t nAddress, int32_t& nError)
{
    nError = m_Board.Record(MakeCall("ReadWord", hDevice, nAddress));
    if (nError == 0 && hDevice != SIM_HANDLE)
        nError = SIM_ERR_BAD_HANDLE;
    if (nError == 0)
        nValue = static_cast<int32_t>(m_Board.Load(static_cast<uint32_t>(nAddress)));
}

void CAt91SimBackend::ReadHalfWord(int32_t hDevice, int16_t& nValue, int32_t nAddress, int32_t& nError)
{
    (void)nValue;
    nError = m_Board.Record(MakeCall("ReadHalfWord", hDevice, nAddress));
}

void CAt91SimBackend::ReadByte(int32_t hDevice, uint8_t& cValue, int32_t nAddress, int32_t& nError)
{
    (void)cValue;
    nError = m_Board.Record(MakeCall("ReadByte", hDevice, nAddress));
}

void CAt91SimBackend::ReadBlock(int32_t hDevice, int32_t nAddress, uint8_t* pBuffer, int32_t nSize, int32_t& nError)
{
    nError = m_Board.Record(MakeCall("ReadBlock", hDevice, nAddress, nSize));
    if (nError == 0 && pBuffer && nSize > 0)
        std::memset(pBuffer, 0, static_cast<size_t>(nSize));
}

void CAt91SimBackend::Jump(int32_t hDevice, int32_t nAddress, int32_t& nError)
{
    nError = m_Board.Record(MakeCall("Jump", hDevice, nAddress));
    if (nError == 0 && hDevice != SIM_HANDLE)
        nError = SIM_ERR_BAD_HANDLE;
    if (nError == 0)
        m_Board.RunAt(static_cast<uint32_t>(nAddress));
}

void CAt91SimBackend::ScanDevices(char* szDevices[SCAN_MAX_DEVICES])
{
    m_Board.Record(MakeCall("ScanDevices", 0, 0));
    std::vector<std::string> names = m_Board.Devices();
    size_t n = 0;
    for (; n < names.size() && n < SCAN_MAX_DEVICES; ++n) {
        std::strncpy(szDevices[n], names[n].c_str(), DEVICE_NAME_SIZE - 1);
        szDevices[n][DEVICE_NAME_SIZE - 1] = '\0';
    }
    if (n < SCAN_MAX_DEVICES)
        szDevices[n] = nullptr;
}
