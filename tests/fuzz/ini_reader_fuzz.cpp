// Arbitrary bytes as a configuration file: the reader and the file-table loader must neither
// crash nor write past any buffer, and must keep their promises about what they return.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "station/config_loader.h"
#include "station/ini_reader.h"

namespace {

std::string ScratchFile()
{
    static std::string strPath = [] {
        const char* szTmp = std::getenv("TMPDIR");
        std::string strTemplate = std::string(szTmp ? szTmp : "/tmp") + "/tovar-ini-fuzz-XXXXXX";
        int fd = mkstemp(strTemplate.data());
        if (fd < 0)
            std::abort();
        close(fd);
        return strTemplate;
    }();
    static bool bCleanup = (std::atexit([] { unlink(strPath.c_str()); }), true);
    (void)bCleanup;
    return strPath;
}

void WriteFile(const std::string& strPath, const uint8_t* pData, size_t nSize)
{
    int fd = open(strPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        std::abort();
    while (nSize > 0) {
        ssize_t n = write(fd, pData, nSize);
        if (n <= 0)
            std::abort();
        pData += n;
        nSize -= static_cast<size_t>(n);
    }
    close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    // The file path: the loader as the console runs it.
    std::string strPath = ScratchFile();
    WriteFile(strPath, pData, nSize);
    FileEntry files[FILE_TABLE_SLOTS];
    int nCount = 0;
    std::vector<std::string> warnings;
    LoadFileTable(strPath, files, nCount, warnings);
    if (nCount > FILE_TABLE_SLOTS || files[4].cSelected != 0)
        std::abort();
    for (int k = 0; k < 4; ++k) {
        if (std::memchr(files[k].szName, 0, sizeof(files[k].szName)) == nullptr || files[k].cSelected != 1)
            std::abort();
    }

    // The reader on the same text, with exact-size heap buffers so any overrun is caught.
    CIniReader ini(strPath);
    static const char* const SECTIONS[] = {"COUNT", "startup", "net", "ports", ""};
    for (const char* szSection : SECTIONS) {
        for (const auto& kv : ini.ReadSection(szSection)) {
            int nSize = static_cast<int>(kv.second.size() % 7);
            std::unique_ptr<char[]> pBuf(nSize > 0 ? new char[nSize] : nullptr);
            int nRead = ini.ReadString(szSection, kv.first.c_str(), pBuf.get(), nSize);
            if (nRead < 0 || (nSize > 0 && nRead >= nSize) || (nSize > 0 && pBuf[nRead] != '\0'))
                std::abort();
            int nValue = 0;
            ini.ReadInt(szSection, kv.first.c_str(), nValue, -1);
        }
    }
    return 0;
}
