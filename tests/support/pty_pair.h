#pragma once
#include <string>

// A pseudo-terminal for tests: the master plays the far end of a serial line, the slave path
// is what a serial port opens. The slave side stays open here too, so the line survives while
// the port under test is closed and reopened.
class CPtyPair {
public:
    CPtyPair();
    ~CPtyPair();
    CPtyPair(const CPtyPair&) = delete;
    CPtyPair& operator=(const CPtyPair&) = delete;

    bool IsValid() const { return m_hMaster >= 0; }
    const std::string& SlavePath() const { return m_strSlavePath; }
    int Master() const { return m_hMaster; }
    int Slave() const { return m_hSlave; }

    // Writes all bytes to the master; false on a short write.
    bool SendFromBoard(const std::string& strBytes);
    // Waits (up to nTimeoutMs) until the slave side holds at least nCount unread bytes.
    bool WaitSlaveQueued(int nCount, int nTimeoutMs = 2000);
    // Reads what has reached the master within nTimeoutMs, up to nMax bytes.
    std::string ReceiveOnBoard(size_t nMax, int nTimeoutMs = 2000);
    // Closes the master, as when the far end of the line goes away.
    void CloseMaster();

private:
    int m_hMaster = -1;
    int m_hSlave = -1;
    std::string m_strSlavePath;
};
