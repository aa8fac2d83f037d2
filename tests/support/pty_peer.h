#pragma once
#include <atomic>
#include <functional>
#include <string>
#include <thread>

// A pseudo-terminal whose far end is played by a test: each chunk read from the master is given
// to the handler, and what it returns is written back. Without Start nobody reads the master.
class CPtyPeer {
public:
    using Handler = std::function<std::string(const std::string& strReceived)>;

    CPtyPeer();
    ~CPtyPeer();
    CPtyPeer(const CPtyPeer&) = delete;
    CPtyPeer& operator=(const CPtyPeer&) = delete;

    bool IsOpen() const { return m_nMaster >= 0; }
    const std::string& SlavePath() const { return m_strSlavePath; }
    void Start(Handler fnHandler);
    void Stop();

private:
    void Run();

    int m_nMaster = -1;
    int m_nSlaveHolder = -1;
    std::string m_strSlavePath;
    Handler m_fnHandler;
    std::atomic<int> m_bStop {0};
    std::thread m_thread;
};
