#pragma once
#include <string>

// The virtual board's end of its serial line: a pseudo-terminal master. The slave side is set raw
// and kept open by the board itself, so that the host may open and close it at will without the
// master seeing a hang-up. Optionally a symbolic link gives the slave a stable path.
class CBoardPty {
public:
    CBoardPty() = default;
    ~CBoardPty();
    CBoardPty(const CBoardPty&) = delete;
    CBoardPty& operator=(const CBoardPty&) = delete;

    bool Create(std::string& strError);
    // Links strLinkPath to the slave; an existing symbolic link there is replaced, anything else refused.
    bool Link(const std::string& strLinkPath, std::string& strError);
    // Closes both ends: the host's side sees the line disappear. Removes the link.
    void Close();

    int MasterFd() const { return m_nMaster; }
    const std::string& SlavePath() const { return m_strSlavePath; }
    const std::string& LinkPath() const { return m_strLinkPath; }

private:
    int m_nMaster = -1;
    int m_nSlaveHolder = -1;
    std::string m_strSlavePath;
    std::string m_strLinkPath;
};
