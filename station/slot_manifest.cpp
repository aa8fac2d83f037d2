#include "station/slot_manifest.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

int OpenNoFollow(const std::string& strPath, int nFlags)
{
    int fd;
    do {
        fd = open(strPath.c_str(), nFlags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW, 0644);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Why OpenNoFollow failed, from errno.
std::string OpenFailure(const std::string& strPath)
{
    return strPath + ": " + (errno == ELOOP ? std::string("a symbolic link, which Tovar does not follow")
                                            : std::string(std::strerror(errno)));
}

// Reads a regular file whole; false with the reason.
bool ReadRegularFile(const std::string& strPath, int64_t nMax, std::vector<char>& bytes, std::string& strWhy)
{
    int fd = OpenNoFollow(strPath, O_RDONLY);
    if (fd < 0) {
        strWhy = OpenFailure(strPath);
        return false;
    }
    struct stat st {};
    bool bOk = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!bOk)
        strWhy = strPath + ": not a regular file";
    else if (st.st_size > nMax)
        strWhy = strPath + ": larger than " + std::to_string(nMax) + " bytes";
    bOk = bOk && st.st_size <= nMax;
    if (bOk)
        bytes.resize(static_cast<size_t>(st.st_size));
    size_t nDone = 0;
    while (bOk && nDone < bytes.size()) {
        ssize_t n = pread(fd, bytes.data() + nDone, bytes.size() - nDone, static_cast<off_t>(nDone));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            strWhy = strPath + ": " + (n < 0 ? std::string(std::strerror(errno)) : std::string("shorter than its size"));
            bOk = false;
        }
        nDone += n > 0 ? static_cast<size_t>(n) : 0;
    }
    close(fd);
    return bOk;
}

// Writes bytes over the start of fd and cuts the file to their length.
bool WriteWhole(int fd, const std::vector<char>& bytes)
{
    size_t nDone = 0;
    while (nDone < bytes.size()) {
        ssize_t n = pwrite(fd, bytes.data() + nDone, bytes.size() - nDone, static_cast<off_t>(nDone));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        nDone += static_cast<size_t>(n);
    }
    return ftruncate(fd, static_cast<off_t>(bytes.size())) == 0;
}

}  // namespace

CSlotManifest::CSlotManifest(std::string strSlotFolder)
    : m_strFolder(std::move(strSlotFolder)), m_strInsPath(m_strFolder + "/ins.txt")
{
}

bool CSlotManifest::CopySharedFile(const std::string& strImageFolder, std::string& strWhy) const
{
    std::vector<char> bytes;
    if (!ReadRegularFile(strImageFolder + "/ins.txt", MAX_INS_BYTES, bytes, strWhy))
        return false;
    std::error_code error;
    std::filesystem::create_directories(m_strFolder, error);
    if (error) {
        strWhy = m_strFolder + ": " + error.message();
        return false;
    }
    int fd = OpenNoFollow(m_strInsPath, O_RDWR | O_CREAT);
    if (fd < 0) {
        strWhy = OpenFailure(m_strInsPath);
        return false;
    }
    // The lock first: a copy another Tovar is sending must not change under it.
    struct stat st {};
    bool bOk = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!bOk)
        strWhy = m_strInsPath + ": not a regular file";
    if (bOk && flock(fd, LOCK_EX | LOCK_NB) != 0) {
        strWhy = m_strInsPath + ": in use by another Tovar";
        bOk = false;
    }
    if (bOk && !WriteWhole(fd, bytes)) {
        strWhy = m_strInsPath + ": " + std::strerror(errno);
        bOk = false;
    }
    close(fd);
    return bOk;
}

bool CSlotManifest::Write(const std::string& strImageFolder, const std::string& strFactoryGbk,
                          const std::string& strRegGbk, const std::string& strMacGbk, const FileEntry* pFiles,
                          const ManifestLog& log, CManifestLock& lock)
{
    lock.Release();
    std::string strWhy;
    if (!CopySharedFile(strImageFolder, strWhy)) {
        if (log)
            log("->The slot's copy of ins.txt was not made: " + strWhy + "\r\n");
        return false;
    }
    return m_Manifest.Write(strImageFolder, m_strInsPath, strFactoryGbk, strRegGbk, strMacGbk, pFiles, log, lock);
}
