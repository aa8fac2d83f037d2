#include "station/entry_check.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "base/gbk_text.h"

namespace {

std::string Name(const FileEntry& entry)
{
    return std::string(entry.szName, strnlen(entry.szName, sizeof(entry.szName) - 1));
}

std::string Describe(int nSlot, const FileEntry& entry)
{
    return "slot " + std::to_string(nSlot) + " \"" + GbkToUtf8(Name(entry)) + "\" (id " +
           std::to_string(entry.nId) + ")";
}

// True when the name, taken as a relative path, stays inside the folder and names something
// below it. Backslashes count as separators too: the names come from a Windows-made file.
bool StaysInside(const std::string& strName)
{
    if (strName.empty() || strName[0] == '/' || strName[0] == '\\')
        return false;
    bool bNamesSomething = false;
    size_t nStart = 0;
    while (nStart <= strName.size()) {
        size_t nEnd = strName.find_first_of("/\\", nStart);
        if (nEnd == std::string::npos)
            nEnd = strName.size();
        std::string_view part(strName.data() + nStart, nEnd - nStart);
        if (part == "..")
            return false;
        if (!part.empty() && part != ".")
            bNamesSomething = true;
        nStart = nEnd + 1;
    }
    return bNamesSomething;
}

}  // namespace

bool CheckSelectedEntries(const FileEntry* pFiles, int nFileCount, std::string& strLogLine)
{
    strLogLine.clear();
    std::vector<int> selected;
    for (int i = 0; i < std::min(nFileCount, FILE_TABLE_SLOTS); ++i)
        if (LoadSelected(pFiles[i]) == 1)
            selected.push_back(i);
    if (selected.empty()) {
        strLogLine = "->No image file is selected; nothing would be installed.\r\n";
        return false;
    }
    for (size_t j = 0; j < selected.size(); ++j) {
        const FileEntry& entry = pFiles[selected[j]];
        std::string strWho = Describe(selected[j], entry);
        if (entry.nId < 0 || entry.nId > 255)
            strLogLine += "->Image " + strWho + ": the identifier must be 0 to 255.\r\n";
        if (Name(entry).empty())
            strLogLine += "->Image " + strWho + ": no file name is given.\r\n";
        else if (!StaysInside(Name(entry)))
            strLogLine += "->Image " + strWho + ": the name must be a file inside the image folder.\r\n";
        for (size_t i = 0; i < j; ++i) {
            const FileEntry& other = pFiles[selected[i]];
            if ((other.nId & 0xFF) == (entry.nId & 0xFF)) {
                strLogLine += "->Image " + strWho + " and " + Describe(selected[i], other) +
                              " have the same low 8 bits of identifier; the board would store one over the other.\r\n";
                break;
            }
        }
    }
    return strLogLine.empty();
}
