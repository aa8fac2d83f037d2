#include "sim/board_pty.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

CBoardPty::~CBoardPty() { Close(); }

bool CBoardPty::Create(std::string& strError)
{
    Close();
    m_nMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_nMaster < 0 || grantpt(m_nMaster) != 0 || unlockpt(m_nMaster) != 0) {
        strError = std::string("pseudo-terminal: ") + std::strerror(errno);
        Close();
        return false;
    }
    char szName[128];
    if (ptsname_r(m_nMaster, szName, sizeof(szName)) != 0) {
        strError = std::string("pseudo-terminal name: ") + std::strerror(errno);
        Close();
        return false;
    }
    m_strSlavePath = szName;
    m_nSlaveHolder = ::open(szName, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio {};
    if (m_nSlaveHolder < 0 || tcgetattr(m_nSlaveHolder, &tio) != 0) {
        strError = m_strSlavePath + ": " + std::strerror(errno);
        Close();
        return false;
    }
    // Raw until the host sets its own mode: no echo of what the board sends, no translation.
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    tcsetattr(m_nSlaveHolder, TCSANOW, &tio);
    int nFlags = fcntl(m_nMaster, F_GETFL);
    fcntl(m_nMaster, F_SETFL, nFlags | O_NONBLOCK);
    return true;
}

bool CBoardPty::Link(const std::string& strLinkPath, std::string& strError)
{
    struct stat st {};
    if (lstat(strLinkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            strError = strLinkPath + ": exists and is not a symbolic link";
            return false;
        }
        ::unlink(strLinkPath.c_str());
    }
    if (::symlink(m_strSlavePath.c_str(), strLinkPath.c_str()) != 0) {
        strError = strLinkPath + ": " + std::strerror(errno);
        return false;
    }
    m_strLinkPath = strLinkPath;
    return true;
}

void CBoardPty::Close()
{
    if (!m_strLinkPath.empty()) {
        // Only our own link: another board may have taken the path since.
        char szTarget[256];
        ssize_t nLength = ::readlink(m_strLinkPath.c_str(), szTarget, sizeof(szTarget) - 1);
        if (nLength > 0 && m_strSlavePath == std::string(szTarget, static_cast<size_t>(nLength)))
            ::unlink(m_strLinkPath.c_str());
        m_strLinkPath.clear();
    }
    if (m_nSlaveHolder >= 0)
        ::close(m_nSlaveHolder);
    if (m_nMaster >= 0)
        ::close(m_nMaster);
    m_nSlaveHolder = m_nMaster = -1;
}
