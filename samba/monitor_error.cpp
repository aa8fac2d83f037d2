#include "samba/monitor_error.h"

const char* MonitorErrorText(int32_t nError)
{
    switch (nError) {
    case 0: return "no error";
    case MON_ERR_BAD_HANDLE: return "device not open";
    case MON_ERR_TIMEOUT: return "boot monitor did not answer in time";
    case MON_ERR_BAD_ANSWER: return "unexpected answer from the boot monitor";
    case MON_ERR_LINE_LOST: return "serial line lost";
    case MON_ERR_CANCELLED: return "cancelled";
    case MON_ERR_MONITOR_AREA: return "block would overwrite the monitor's memory";
    case MON_ERR_BAD_ARGUMENT: return "bad size or buffer";
    case MON_ERR_TOO_MANY_NAKS: return "XMODEM block refused too often";
    case MON_ERR_XMODEM_CANCELLED: return "XMODEM transfer cancelled by the board";
    case MON_ERR_NO_DEVICE: return "no such serial device";
    default: return "unknown error";
    }
}
