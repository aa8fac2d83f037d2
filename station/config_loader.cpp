#include "station/config_loader.h"

#include "station/ini_reader.h"

namespace {

const char* const SECTIONS[4] = {"Startup", "Download", "UserProc", "INFO"};

std::string CutLine(const char* szSection, const char* szKey, const char* szLimit)
{
    return std::string("->config.cfg: [") + szSection + "] " + szKey + " cut to " + szLimit + ".\r\n";
}

void ReadNumber(CIniReader& ini, const char* szSection, const char* szKey, int& nOut, int nDefault,
                std::vector<std::string>& warnings)
{
    ini.ReadInt(szSection, szKey, nOut, nDefault);
    if (ini.WasCut())
        warnings.push_back(CutLine(szSection, szKey, "19 characters"));
}

}  // namespace

std::string ConfigFilePath(const std::string& strWorkDir)
{
    return strWorkDir + "/KX30T/config.cfg";
}

std::string ImageFolderPath(const std::string& strWorkDir)
{
    return strWorkDir + "/KX30T/系统安装";
}

bool LoadFileTable(const std::string& strConfigPath, FileEntry files[FILE_TABLE_SLOTS], int& nFileCount,
                   std::vector<std::string>& warnings)
{
    CIniReader ini(strConfigPath);
    if (ini.IsTruncated())
        warnings.push_back("->config.cfg: longer than 1 MiB, the rest is ignored.\r\n");

    nFileCount = 0;
    ReadNumber(ini, "COUNT", "count", nFileCount, -1, warnings);
    if (nFileCount > FILE_TABLE_SLOTS) {
        warnings.push_back("->config.cfg: [COUNT] count " + std::to_string(nFileCount) + " limited to " +
                           std::to_string(FILE_TABLE_SLOTS) + ".\r\n");
        nFileCount = FILE_TABLE_SLOTS;
    }

    for (int k = 0; k < 4; ++k) {
        FileEntry& entry = files[k];
        const char* szSection = SECTIONS[k];
        int nId = -1;
        ReadNumber(ini, szSection, "id", nId, -1, warnings);
        entry.nId = nId;
        ini.ReadString(szSection, "name", entry.szName, static_cast<int>(sizeof(entry.szName)));
        if (ini.WasCut())
            warnings.push_back(CutLine(szSection, "name", "51 bytes"));
        int nTimeout = -1;
        ReadNumber(ini, szSection, "timeout", nTimeout, -1, warnings);
        entry.nTimeout = nTimeout;
        entry.cSelected = 1;
    }
    return ini.IsLoaded();
}
