#include "console/manifest.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

ManifestRecord g_Manifest[MANIFEST_RECORDS];

namespace {

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

// Opens an existing file for reading and writing; never creates or truncates it.
int OpenExisting(const std::string& strPath)
{
    int fd;
    do {
        fd = open(strPath.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

void Log(const ManifestLog& log, const char* szText)
{
    if (log)
        log(szText);
}

}  // namespace

void ResetManifestForTest()
{
    std::memset(g_Manifest, 0, sizeof(g_Manifest));
}

bool CheckManifestFields(const std::string& strFactoryGbk, const std::string& strRegGbk, std::string& strLogLine)
{
    strLogLine.clear();
    if (strFactoryGbk.size() > MANIFEST_FIELD_BYTES)
        strLogLine += "->出厂编号超过8字节，请重新输入!\r\n";
    if (strRegGbk.size() > MANIFEST_FIELD_BYTES)
        strLogLine += "->注册编号超过8字节，请重新输入!\r\n";
    return strLogLine.empty();
}

bool WriteManifest(const std::string& strImageFolder, const std::string& strFactoryGbk, const std::string& strRegGbk,
                   const std::string& strMacGbk, const FileEntry* pFiles, const ManifestLog& log)
{
    // Record 0: the identity texts. Each copy starts where the previous 8-byte field ends, so an
    // 8-byte text's zero is overwritten by the next field's first byte.
    ManifestRecord& head = g_Manifest[0];
    PutLe32(head.abId, 0);
    PutLe32(head.abSize, 0);
    CopyWithZero(head.abText + 0, strFactoryGbk, MANIFEST_FIELD_BYTES);
    CopyWithZero(head.abText + 8, strRegGbk, MANIFEST_FIELD_BYTES);
    CopyWithZero(head.abText + 16, strMacGbk, MANIFEST_MAC_BYTES);

    // Records 1 to 3: file-table entries 0 to 2, whatever the count and selection say.
    for (int k = 1; k < MANIFEST_RECORDS; ++k) {
        const FileEntry& entry = pFiles[k - 1];
        ManifestRecord& record = g_Manifest[k];
        PutLe32(record.abId, static_cast<uint32_t>(entry.nId));
        size_t nName = strnlen(entry.szName, sizeof(entry.szName) - 1);
        std::memcpy(record.abText, entry.szName, nName);

        // The image files are opened for writing too, as the manifest is: a file that cannot be
        // written counts as not there.
        int fd = OpenExisting(strImageFolder + "/" + std::string(entry.szName, nName));
        struct stat st {};
        if (fd < 0 || fstat(fd, &st) != 0) {
            if (fd >= 0)
                close(fd);
            Log(log, "->Open bin err.\r\n");
            PutLe32(record.abSize, 0xFFFFFFFFu);
            continue;
        }
        PutLe32(record.abSize, static_cast<uint32_t>(static_cast<uint64_t>(st.st_size)));
        close(fd);
    }

    int fd = OpenExisting(strImageFolder + "/ins.txt");
    if (fd < 0) {
        Log(log, "->Failed to open ins.txt file.\r\n");
        return false;
    }
    ssize_t nWritten;
    do {
        nWritten = pwrite(fd, g_Manifest, MANIFEST_BYTES, 0);
    } while (nWritten < 0 && errno == EINTR);
    // A short write left part of the old manifest in place: that is a failure, not a success.
    bool bOk = nWritten == static_cast<ssize_t>(MANIFEST_BYTES);
    Log(log, bOk ? "->Write ins.txt file successed.\r\n" : "->Write ins.txt file failure.\r\n");
    close(fd);
    return bOk;
}
