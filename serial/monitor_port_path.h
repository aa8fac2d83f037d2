#pragma once
#include <string>

#include "serial/com_port_map.h"

// Where a boot monitor's USB port is, as a station names it: "COMn" (through the port map), a
// device path, or "usb:<bus>-<port path>" ("usb:1-2.4"), the fixed position of a fixture's socket,
// whose CDC interface's tty the kernel lists below /sys/bus/usb/devices.
class CMonitorPortPath {
public:
    // The sysfs and device roots are "/sys" and "/dev" on a real system (folders of a test otherwise).
    explicit CMonitorPortPath(PortResolver fnResolve, std::string strSysRoot = "/sys", std::string strDevRoot = "/dev");

    // True for a text of one of the three forms (the device itself may be absent).
    static bool IsValidName(const std::string& strName);
    // The device path the name gives now; empty while there is none (the port appears only while
    // the board sits in its ROM monitor).
    std::string PathNow(const std::string& strName) const;

private:
    std::string UsbPositionTty(const std::string& strPosition) const;

    PortResolver m_fnResolve;
    std::string m_strSysRoot;
    std::string m_strDevRoot;
};
