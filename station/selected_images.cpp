#include "station/selected_images.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

std::vector<TransferImage> SelectedImages(const FileEntry* pFiles, int nFileCount, const std::string& strImageDir)
{
    std::vector<TransferImage> images;
    int nCount = std::clamp(nFileCount, 0, FILE_TABLE_SLOTS);
    for (int i = 0; i < nCount; ++i) {
        if (LoadSelected(pFiles[i]) != 1)
            continue;
        TransferImage image;
        image.nSlot = i;
        image.nId = pFiles[i].nId;
        image.strName.assign(pFiles[i].szName, strnlen(pFiles[i].szName, sizeof pFiles[i].szName));
        image.strPath = strImageDir + "/" + image.strName;
        struct stat info {};
        if (!image.strName.empty() && stat(image.strPath.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            image.nExpectedSize = static_cast<int64_t>(info.st_size);
            image.nExpectedMtimeNs = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        }
        images.push_back(image);
    }
    return images;
}
