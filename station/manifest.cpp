#include "station/manifest.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

const char* const FAILED_TO_OPEN = "->Failed to open ins.txt file.\r\n";

void PutLe32(uint8_t* pDest, uint32_t dwValue)
{
    for (int i = 0; i < 4; ++i)
        pDest[i] = static_cast<uint8_t>(dwValue >> (8 * i));
}

// Copies a text with its terminating zero to pDest, at most nMax bytes of text.
void CopyWithZero(uint8_t* pDest, const std::string& strText, size_t nMax)
{
    size_t n = std::min(strText.size(), nMax);
    std::memcpy(pDest, strText.data(), n);
    pDest[n] = 0;
}

// Opens an existing file; never creates or truncates it, never waits (FIFOs, locks).
int OpenExisting(const std::string& strPath, int nFlags)
{
    int fd;
    do {
        fd = open(strPath.c_str(), nFlags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

void Log(const ManifestLog& log, const char* szText)
{
    if (log)
        log(szText);
}

bool IsSymlink(const std::string& strPath)
{
    struct stat st {};
    return lstat(strPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Opens ins.txt for writing and locks it. On refusal logs why and returns -1.
int OpenAndLockInsTxt(const std::string& strPath, const ManifestLog& log)
{
    // A symbolic link is never followed: it could point at any file of the machine.
    int fd = OpenExisting(strPath, O_RDWR | O_NOFOLLOW);
    if (fd < 0) {
        int nError = errno;
        Log(log, FAILED_TO_OPEN);
        if (nError == ELOOP && IsSymlink(strPath))
            Log(log, "->ins.txt is a symbolic link, which Tovar does not follow; the identity was not written.\r\n");
        else if (nError == EISDIR || nError == ENXIO)
            Log(log, "->ins.txt is not a regular file; the identity was not written.\r\n");
        return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        Log(log, FAILED_TO_OPEN);
        Log(log, "->ins.txt is not a regular file; the identity was not written.\r\n");
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int nError = errno;
        close(fd);
        Log(log, FAILED_TO_OPEN);
        if (nError == EWOULDBLOCK)
            Log(log, "->Another Tovar is using this working folder's ins.txt; the identity was not written.\r\n");
        else
            Log(log, "->ins.txt could not be locked; the identity was not written.\r\n");
        return -1;
    }
    return fd;
}

}  // namespace

bool CheckManifestFields(const std::string& strFactoryGbk, const std::string& strRegGbk, std::string& strLogLine)
{
    strLogLine.clear();
    if (strFactoryGbk.size() > MANIFEST_FIELD_BYTES)
        strLogLine += "->出厂编号超过8字节，请重新输入!\r\n";
    if (strRegGbk.size() > MANIFEST_FIELD_BYTES)
        strLogLine += "->注册编号超过8字节，请重新输入!\r\n";
    return strLogLine.empty();
}

CManifest::CManifest()
{
    std::memset(m_Records, 0, sizeof(m_Records));
}

void CManifest::PutIdentity(const std::string& strFactoryGbk, const std::string& strRegGbk,
                            const std::string& strMacGbk)
{
    // Each copy starts where the previous 8-byte field ends, so an 8-byte text's zero is
    // overwritten by the next field's first byte.
    ManifestRecord& head = m_Records[0];
    PutLe32(head.abId, 0);
    PutLe32(head.abSize, 0);
    CopyWithZero(head.abText + 0, strFactoryGbk, MANIFEST_FIELD_BYTES);
    CopyWithZero(head.abText + 8, strRegGbk, MANIFEST_FIELD_BYTES);
    CopyWithZero(head.abText + 16, strMacGbk, MANIFEST_MAC_BYTES);
}

void CManifest::PutImage(int k, const std::string& strImageFolder, const FileEntry& entry, const ManifestLog& log)
{
    ManifestRecord& record = m_Records[k];
    ManifestImageStamp& stamp = m_Stamps[k - 1];
    size_t nName = strnlen(entry.szName, sizeof(entry.szName) - 1);
    stamp = ManifestImageStamp{std::string(entry.szName, nName)};
    PutLe32(record.abId, static_cast<uint32_t>(entry.nId));
    std::memcpy(record.abText, entry.szName, nName);

    // Only measured, so read-only; anything but a regular file counts as not there.
    int fd = OpenExisting(strImageFolder + "/" + stamp.strName, O_RDONLY);
    struct stat st {};
    bool bOk = fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (fd >= 0)
        close(fd);
    if (!bOk) {
        Log(log, "->Open bin err.\r\n");
        PutLe32(record.abSize, 0xFFFFFFFFu);
        return;
    }
    PutLe32(record.abSize, static_cast<uint32_t>(static_cast<uint64_t>(st.st_size)));
    stamp.nSize = static_cast<int64_t>(st.st_size);
    stamp.nMtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.bMeasured = true;
}

bool CManifest::Write(const std::string& strImageFolder, const std::string& strFactoryGbk,
                      const std::string& strRegGbk, const std::string& strMacGbk, const FileEntry* pFiles,
                      const ManifestLog& log, CManifestLock& lock)
{
    return Write(strImageFolder, strImageFolder + "/ins.txt", strFactoryGbk, strRegGbk, strMacGbk, pFiles, log, lock);
}

bool CManifest::Write(const std::string& strImageFolder, const std::string& strInsPath,
                      const std::string& strFactoryGbk, const std::string& strRegGbk, const std::string& strMacGbk,
                      const FileEntry* pFiles, const ManifestLog& log, CManifestLock& lock)
{
    lock.Release();
    PutIdentity(strFactoryGbk, strRegGbk, strMacGbk);
    // Records 1 to 3: file-table entries 0 to 2, whatever the count and selection say.
    for (int k = 1; k < MANIFEST_RECORDS; ++k)
        PutImage(k, strImageFolder, pFiles[k - 1], log);

    int fd = OpenAndLockInsTxt(strInsPath, log);
    if (fd < 0)
        return false;
    CManifestLock held(fd);
    ssize_t nWritten;
    do {
        nWritten = pwrite(fd, m_Records, MANIFEST_BYTES, 0);
    } while (nWritten < 0 && errno == EINTR);
    // A short write left part of the old manifest in place: that is a failure, not a success.
    bool bOk = nWritten == static_cast<ssize_t>(MANIFEST_BYTES);
    Log(log, bOk ? "->Write ins.txt file successed.\r\n" : "->Write ins.txt file failure.\r\n");
    if (bOk)
        lock = std::move(held);
    return bOk;
}
