#include "serial/line_settings.h"

#include <cstdint>

namespace {

struct BaudEntry {
    uint32_t nRate;
    speed_t nCode;
};

constexpr BaudEntry BAUD_RATES[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool BaudCode(uint32_t nRate, speed_t& nCode)
{
    for (const BaudEntry& entry : BAUD_RATES) {
        if (entry.nRate == nRate) {
            nCode = entry.nCode;
            return true;
        }
    }
    return false;
}

} // namespace

bool DcbToTermios(const DCB& settings, termios& tioOut)
{
    termios tio = tioOut;
    speed_t nSpeed = 0;
    if (!BaudCode(settings.BaudRate, nSpeed) || !DcbFramingToTermios(settings, tio))
        return false;
    if (cfsetispeed(&tio, nSpeed) != 0 || cfsetospeed(&tio, nSpeed) != 0)
        return false;
    tioOut = tio;
    return true;
}

bool DcbFramingToTermios(const DCB& settings, termios& tioOut)
{
    termios tio = tioOut;

    tcflag_t nSize = 0;
    switch (settings.ByteSize) {
    case 5: nSize = CS5; break;
    case 6: nSize = CS6; break;
    case 7: nSize = CS7; break;
    case 8: nSize = CS8; break;
    default: return false;
    }

    tcflag_t nParity = 0;
    switch (settings.Parity) {
    case 0: break;
    case 1: nParity = PARENB | PARODD; break;
    case 2: nParity = PARENB; break;
    case 3: nParity = PARENB | PARODD | CMSPAR; break;
    case 4: nParity = PARENB | CMSPAR; break;
    default: return false;
    }

    // CSTOPB means two stop bits, or one and a half with five data bits.
    tcflag_t nStop = 0;
    if (settings.StopBits == 2 || (settings.StopBits == 1 && settings.ByteSize == 5))
        nStop = CSTOPB;
    else if (settings.StopBits != 0)
        return false;

    // Raw bytes both ways: no line editing, echo, signals, translation or software flow control.
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | nSize | nParity | nStop;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    tioOut = tio;
    return true;
}
