#pragma once
#include <map>
#include <string>
#include <vector>

// The device selector's order and the entry it starts on.
//
// Ports that the station's [ports] section names come first, then the others; each group keeps
// the listing's order (by port number). The start choice is the port last chosen in this working
// folder when it is listed; else, when exactly one [ports] entry is listed, that one; else none.
// Names are the selector's texts, "COMn" or "COMn (path)"; ports are compared by their number.
class CPortChoice {
public:
    CPortChoice(const std::map<int, std::string>& portEntries, std::string strLastPort)
        : m_PortEntries(portEntries), m_strLastPort(std::move(strLastPort)) {}

    std::vector<std::string> Order(const std::vector<std::string>& names) const;
    // Index into names (in the selector's order) to select at start; -1 for none.
    int StartIndex(const std::vector<std::string>& names) const;
    // The text to remember for a chosen entry: its "COMn"; empty for a text that names no port.
    static std::string PortToRemember(const std::string& strName);

private:
    bool Configured(const std::string& strName) const;

    const std::map<int, std::string>& m_PortEntries;
    std::string m_strLastPort;
};
