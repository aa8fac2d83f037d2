#include "console/manifest.h"

bool WriteManifest(const std::string& strImageFolder, const std::string& strFactoryGbk, const std::string& strRegGbk,
                   const std::string& strMacGbk, const FileEntry* pFiles, const ManifestLog& log)
{
    CManifest manifest;
    CManifestLock lock;
    return manifest.Write(strImageFolder, strFactoryGbk, strRegGbk, strMacGbk, pFiles, log, lock);
}
