#include "serial/monitor_port_path.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>

namespace {

constexpr const char* USB_PREFIX = "usb:";

bool Exists(const std::string& strPath)
{
    struct stat info {};
    return !strPath.empty() && stat(strPath.c_str(), &info) == 0;
}

// The entries of a folder whose names begin with strPrefix, in no particular order.
template <typename Fn> void ForEachEntry(const std::string& strDir, const std::string& strPrefix, Fn&& fn)
{
    DIR* pDir = opendir(strDir.c_str());
    if (!pDir)
        return;
    while (dirent* pEntry = readdir(pDir)) {
        std::string strName = pEntry->d_name;
        if (strName != "." && strName != ".." && strName.rfind(strPrefix, 0) == 0 && fn(strName))
            break;
    }
    closedir(pDir);
}

// "<bus>-<port>[.<port>...]": digits, one dash, dot-separated digits.
bool IsUsbPosition(const std::string& strPosition)
{
    size_t nDash = strPosition.find('-');
    if (nDash == 0 || nDash == std::string::npos || nDash + 1 == strPosition.size())
        return false;
    bool bDigitBefore = false;
    for (size_t i = 0; i < strPosition.size(); ++i) {
        char c = strPosition[i];
        if (std::isdigit(static_cast<unsigned char>(c))) {
            bDigitBefore = true;
        } else if ((c == '.' && i > nDash) || i == nDash) {
            if (!bDigitBefore)
                return false;
            bDigitBefore = false;
        } else {
            return false;
        }
    }
    return bDigitBefore;
}

}  // namespace

CMonitorPortPath::CMonitorPortPath(PortResolver fnResolve, std::string strSysRoot, std::string strDevRoot)
    : m_fnResolve(std::move(fnResolve)), m_strSysRoot(std::move(strSysRoot)), m_strDevRoot(std::move(strDevRoot))
{
}

bool CMonitorPortPath::IsValidName(const std::string& strName)
{
    if (strName.rfind(USB_PREFIX, 0) == 0)
        return IsUsbPosition(strName.substr(4));
    return CComPortMap::PortFromName(strName) > 0 || (strName.size() > 1 && strName[0] == '/');
}

std::string CMonitorPortPath::PathNow(const std::string& strName) const
{
    std::string strPath;
    if (strName.rfind(USB_PREFIX, 0) == 0)
        strPath = IsUsbPosition(strName.substr(4)) ? UsbPositionTty(strName.substr(4)) : std::string();
    else if (int nPort = CComPortMap::PortFromName(strName); nPort > 0)
        strPath = m_fnResolve ? m_fnResolve(nPort) : std::string();
    else if (!strName.empty() && strName[0] == '/')
        strPath = strName;
    return Exists(strPath) ? strPath : std::string();
}

std::string CMonitorPortPath::UsbPositionTty(const std::string& strPosition) const
{
    // The device's interfaces are "<position>:<config>.<interface>"; the CDC one holds tty/ttyACMn.
    const std::string strDevices = m_strSysRoot + "/bus/usb/devices";
    std::string strTty;
    ForEachEntry(strDevices, strPosition + ":", [&](const std::string& strInterface) {
        ForEachEntry(strDevices + "/" + strInterface + "/tty", "tty", [&](const std::string& strName) {
            strTty = m_strDevRoot + "/" + strName;
            return true;
        });
        return !strTty.empty();
    });
    return strTty;
}
