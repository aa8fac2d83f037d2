#pragma once
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Highest port number a name "COMn" may carry: the console reads the number from the two
// characters after "COM", so COM100 and above could not be told apart from COM10.
constexpr int COM_PORT_MAX = 99;

struct ComPortEntry {
    int nPort = 0;
    std::string strPath;
};

// Gives the device path for port number N, or an empty text when there is none.
using PortResolver = std::function<std::string(int)>;

// Maps port numbers N ("COMN") to serial device paths.
//
// Explicit entries come from the station's [ports] section (COM3=/dev/ttyUSB0). A value
// without a '/' names a device under the device root (COM3=ttyUSB0 means /dev/ttyUSB0).
//
// Devices that no explicit entry names get a number from a fixed rule:
//   /dev/ttyS<n>   -> COM(1+n)   for n = 0..19  (COM1..COM20), only with a real UART behind it
//   /dev/ttyUSB<n> -> COM(21+n)  for n = 0..39  (COM21..COM60)
//   /dev/ttyACM<n> -> COM(61+n)  for n = 0..38  (COM61..COM99)
// Device names with a leading zero or a number past these ranges get no number. The rule
// depends on the device name alone, so numbers do not move between scans. A number that an
// explicit entry holds is never given by the rule (the device it would have named is then
// reachable only through an entry of its own), and a device that an explicit entry names
// (compared after resolving symbolic links) is listed under that entry's number only.
//
// A ttyS node counts as a real UART when /sys/class/tty/ttyS<n>/device/driver exists and the
// port's "type" attribute there, if present, is not 0 (PORT_UNKNOWN). The device is never
// opened while scanning, so listing ports does not toggle any modem lines.
class CComPortMap {
public:
    CComPortMap();

    // Roots for tests: the device folder (default "/dev") and the tty class folder
    // (default "/sys/class/tty").
    void SetRoots(std::string strDevRoot, std::string strSysTtyRoot);

    // Adds an explicit entry. strKey is "COMn" in any case, blanks around it allowed.
    // Refused (false): a bad key, n outside 1..COM_PORT_MAX, an empty path, or n already
    // given (the first entry for a number wins, as the settings reader's first key does).
    bool AddEntry(const std::string& strKey, const std::string& strPath);
    bool AddEntry(int nPort, const std::string& strPath);
    // Adds key/value pairs in order; returns how many were accepted.
    int AddEntries(const std::vector<std::pair<std::string, std::string>>& entries);
    const std::map<int, std::string>& Entries() const { return m_Entries; }

    // The device path for port N: the explicit entry's path whether it exists or not, else
    // the rule's device when it exists now; empty when there is none.
    std::string PathForPort(int nPort) const;

    // Every port whose device exists now, sorted by port number. Explicit entries appear
    // only when their path exists.
    std::vector<ComPortEntry> ListPorts() const;
    // PathForPort of a copy of this map.
    PortResolver Resolver() const;

    // "COM3 (/dev/ttyUSB0)", the text the device selector shows.
    static std::string FormatEntry(const ComPortEntry& entry);
    // The number in "COMn" ("com7", " COM12 "); 0 when the text is not such a name or n is
    // outside 1..COM_PORT_MAX.
    static int PortFromName(const std::string& strName);
    // The entry a device text names: "COMn" or FormatEntry's "COMn (path)" (the path may be
    // cut short of its ')'); the path is empty for a bare name. False when the text is neither.
    static bool ParseEntry(const std::string& strText, ComPortEntry& entry);

private:
    std::string ExpandPath(const std::string& strPath) const;
    std::string RulePath(int nPort) const;
    bool RuleDeviceUsable(const std::string& strName) const;
    bool NamedByEntry(const std::string& strPath) const;

    std::map<int, std::string> m_Entries;
    std::string m_strDevRoot;
    std::string m_strSysTtyRoot;
};

