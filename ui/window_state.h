#pragma once
#include <map>
#include <string>

// What the operator's window remembers between starts, kept in the working folder's
// "tovar.state" ([window] keys, e.g. port=COM3), so each station folder has its own and the
// memory moves with the folder. A missing or unreadable file remembers nothing; a file that
// cannot be written forgets quietly (the window works as without it).
class CWindowState {
public:
    explicit CWindowState(std::string strWorkDir);

    static std::string FilePath(const std::string& strWorkDir);   // strWorkDir + "/tovar.state"

    std::string Get(const std::string& strKey) const;   // empty when not remembered
    // Remembers the value and writes the file anew (through a temporary file and a rename).
    bool Set(const std::string& strKey, const std::string& strValue);

private:
    std::string m_strPath;
    std::map<std::string, std::string> m_Values;
};
