#include "serial/serial.h"

#include <climits>

CSerial::CSerial() : m_Line(SystemClock()) {}

CSerial::CSerial(PortResolver resolver) : m_Line(SystemClock()), m_Resolver(std::move(resolver)) {}

CSerial::~CSerial()
{
    ClosePort();
}

int CSerial::OpenPort(int nPort, DCB settings)
{
    if (m_Line.IsOpen())
        return 1;
    const std::string strPath = m_Resolver ? m_Resolver(nPort) : std::string();
    if (strPath.empty()) {
        m_strLastError = "COM" + std::to_string(nPort) + " is not mapped to any device";
        return 0;
    }
    m_strLastError.clear();
    return m_Line.Open(strPath, settings, m_strLastError, CSerialLine::RTS_ON_SEND) ? 1 : 0;
}

int CSerial::ClosePort()
{
    m_Line.Close();
    return 1;
}

int CSerial::WriteData(const void* pBuffer, int nLength)
{
    if (!m_Line.IsOpen() || pBuffer == nullptr || nLength <= 0)
        return 0;
    size_t nDone = 0;
    m_Line.Write(pBuffer, static_cast<size_t>(nLength), nDone, m_Line.Deadline(m_nWriteTimeoutMs));
    return static_cast<int>(nDone);
}

int CSerial::SendByte(uint8_t cValue)
{
    WriteData(&cValue, 1);
    return 1;
}

int CSerial::BytesWaiting()
{
    size_t nCount = m_Line.BytesWaiting();
    return nCount > INT_MAX ? INT_MAX : static_cast<int>(nCount);
}

int CSerial::ReadData(void* pBuffer, int nLimit)
{
    if (pBuffer == nullptr || nLimit <= 0)
        return 0;
    return static_cast<int>(m_Line.ReadAvailable(pBuffer, static_cast<size_t>(nLimit)));
}
