#include "console/entry_check.h"

#include <algorithm>

bool CheckSelectedEntries(const FileEntry* pFiles, int nFileCount, std::string& strLogLine)
{
    int nCount = std::clamp(nFileCount, 0, FILE_TABLE_SLOTS);
    for (int i = 0; i < nCount; ++i)
        if (LoadSelected(pFiles[i]) == 1)
            return true;
    strLogLine = "->No image file is selected; nothing would be installed.\r\n";
    return false;
}
