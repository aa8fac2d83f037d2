#include "demo/board_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>

CBoardProcess::~CBoardProcess() { Stop(); }

std::string CBoardProcess::ProgramBesideSelf()
{
    char szSelf[PATH_MAX] = {};
    ssize_t n = readlink("/proc/self/exe", szSelf, sizeof szSelf - 1);
    std::string strSelf = n > 0 ? std::string(szSelf, static_cast<size_t>(n)) : std::string();
    size_t nSlash = strSelf.rfind('/');
    return (nSlash == std::string::npos ? std::string(".") : strSelf.substr(0, nSlash)) + "/tovar-board";
}

namespace {

// Reads the first line from fd within the time limit.
bool ReadFirstLine(int fd, int nTimeoutMs, std::string& strLine)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    char c = 0;
    while (std::chrono::steady_clock::now() < end) {
        int nLeft = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count());
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, nLeft > 0 ? nLeft : 0) <= 0)
            continue;
        ssize_t n = read(fd, &c, 1);
        if (n <= 0)
            return false;
        if (c == '\n')
            return true;
        strLine += c;
    }
    return false;
}

std::string Field(const std::string& strLine, const std::string& strKey)
{
    size_t nAt = strLine.find(strKey + "=");
    if (nAt == std::string::npos)
        return {};
    nAt += strKey.size() + 1;
    return strLine.substr(nAt, strLine.find(' ', nAt) - nAt);
}

}  // namespace

bool CBoardProcess::Start(const std::string& strProgram, const std::vector<std::string>& args, int nTimeoutMs,
                          std::string& strError)
{
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        strError = "cannot make a pipe";
        return false;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(strProgram.c_str()));
    for (const std::string& strArg : args)
        argv.push_back(const_cast<char*>(strArg.c_str()));
    argv.push_back(nullptr);
    m_nPid = fork();
    if (m_nPid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        execv(strProgram.c_str(), argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    if (m_nPid < 0) {
        close(pipeFds[0]);
        strError = "cannot start " + strProgram;
        return false;
    }
    std::string strLine;
    bool bOk = ReadFirstLine(pipeFds[0], nTimeoutMs, strLine);
    close(pipeFds[0]);
    m_strTty = Field(strLine, "tty");
    std::string strUdp = Field(strLine, "udp");
    size_t nColon = strUdp.rfind(':');
    m_nUdpPort = nColon == std::string::npos ? 0 : std::atoi(strUdp.c_str() + nColon + 1);
    if (!bOk || m_strTty.empty() || m_strTty == "none" || m_nUdpPort <= 0) {
        strError = strProgram + " did not start (is it built?)";
        Stop();
        return false;
    }
    return true;
}

void CBoardProcess::Stop()
{
    if (m_nPid <= 0)
        return;
    kill(m_nPid, SIGTERM);
    int nStatus = 0;
    for (int i = 0; i < 200 && waitpid(m_nPid, &nStatus, WNOHANG) == 0; ++i)
        usleep(10000);
    if (waitpid(m_nPid, &nStatus, WNOHANG) == 0) {
        kill(m_nPid, SIGKILL);
        waitpid(m_nPid, &nStatus, 0);
    }
    m_nPid = -1;
}
