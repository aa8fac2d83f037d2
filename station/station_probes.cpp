#include "station/station_probes.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/clock.h"
#include "net/net.h"
#include "serial/dcb.h"
#include "serial/serial_line.h"

namespace {

// Closes the descriptor on every way out.
struct FdGuard {
    int nFd;
    ~FdGuard()
    {
        if (nFd >= 0)
            close(nFd);
    }
};

}  // namespace

bool ProbeReadableFile(const std::string& strPath, uint64_t& nSize, std::string& strWhy)
{
    // O_NONBLOCK: a FIFO must not hold the check up.
    FdGuard file{open(strPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    struct stat info {};
    if (file.nFd < 0 || fstat(file.nFd, &info) != 0) {
        strWhy = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        strWhy = "not a regular file";
        return false;
    }
    nSize = static_cast<uint64_t>(info.st_size);
    return true;
}

bool ProbeSerialPort(const std::string& strPath, std::string& strWhy)
{
    CSerialLine line(SystemClock());
    DCB settings;
    settings.BaudRate = 115200;
    settings.ByteSize = 8;
    if (!line.Open(strPath, settings, strWhy))
        return false;
    line.Close();
    return true;
}

bool ProbeUdpBind(int nLocalPort, const std::string& strBind, std::string& strWhy)
{
    CNet net;
    if (nLocalPort >= 0 && net.Create(static_cast<unsigned>(nLocalPort), strBind))
        return true;
    strWhy = net.LastError();
    // CNet keeps the failed call and the system's text.
    if (strWhy == std::string("bind: ") + std::strerror(EACCES) && nLocalPort < 1024)
        strWhy += " (a port below 1024 needs root or CAP_NET_BIND_SERVICE; --local-port 0 takes any free port)";
    else if (strWhy == std::string("bind: ") + std::strerror(EADDRINUSE))
        strWhy += " (another program, perhaps another Tovar, has it)";
    return false;
}

bool ProbeRoute(const std::string& strIp, int nPort, const std::string& strBind, std::string& strLocalIp,
                std::string& strWhy)
{
    sockaddr_in board {};
    board.sin_family = AF_INET;
    board.sin_port = htons(static_cast<uint16_t>(nPort));
    if (inet_pton(AF_INET, strIp.c_str(), &board.sin_addr) != 1) {
        strWhy = strIp + " is not an IPv4 address";
        return false;
    }
    // Bound as the transfer binds it, so the route is the one its datagrams would take.
    CNet net;
    if (!net.Create(0, strBind)) {
        strWhy = net.LastError();
        return false;
    }
    // Connecting a datagram socket only picks the route and source address.
    if (connect(net.Handle(), reinterpret_cast<sockaddr*>(&board), sizeof board) != 0) {
        strWhy = "no route to " + strIp + ": " + std::strerror(errno);
        return false;
    }
    sockaddr_in local {};
    socklen_t nLen = sizeof local;
    char szLocal[INET_ADDRSTRLEN] = {};
    if (getsockname(net.Handle(), reinterpret_cast<sockaddr*>(&local), &nLen) != 0 ||
        !inet_ntop(AF_INET, &local.sin_addr, szLocal, sizeof szLocal)) {
        strWhy = std::string("getsockname: ") + std::strerror(errno);
        return false;
    }
    strLocalIp = szLocal;
    return true;
}

bool ProbeManifestFile(const std::string& strPath, std::string& strWhy)
{
    struct stat info {};
    if (lstat(strPath.c_str(), &info) != 0) {
        strWhy = std::strerror(errno);
        return false;
    }
    if (S_ISLNK(info.st_mode) || !S_ISREG(info.st_mode)) {
        strWhy = S_ISLNK(info.st_mode) ? "a symbolic link, not a regular file" : "not a regular file";
        return false;
    }
    // Opened for writing as the manifest is (never created, truncated or followed), then let go.
    FdGuard file{open(strPath.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
    if (file.nFd < 0) {
        strWhy = std::string("cannot be opened for writing: ") + std::strerror(errno);
        return false;
    }
    if (flock(file.nFd, LOCK_EX | LOCK_NB) != 0) {
        strWhy = errno == EWOULDBLOCK ? "locked by another Tovar running a job" : std::strerror(errno);
        return false;
    }
    return true;
}
