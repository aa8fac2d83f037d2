#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

// tovar-board run as a child process: started with options, its pseudo-terminal and UDP port read
// from its first line, ended when this object goes (it also ends by itself when we do).
class CBoardProcess {
public:
    CBoardProcess() = default;
    ~CBoardProcess();
    CBoardProcess(const CBoardProcess&) = delete;
    CBoardProcess& operator=(const CBoardProcess&) = delete;

    // Starts the program and waits (bounded) for its first line; false with a reason otherwise.
    bool Start(const std::string& strProgram, const std::vector<std::string>& args, int nTimeoutMs,
               std::string& strError);
    void Stop();

    const std::string& TtyPath() const { return m_strTty; }
    int UdpPort() const { return m_nUdpPort; }

    // The tovar-board program beside the running executable.
    static std::string ProgramBesideSelf();

private:
    pid_t m_nPid = -1;
    std::string m_strTty;
    int m_nUdpPort = 0;
};
