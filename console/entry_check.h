#pragma once
#include <string>

#include "console/file_entry.h"

// Refuses a selection that cannot be installed; strLogLine then says why.
bool CheckSelectedEntries(const FileEntry* pFiles, int nFileCount, std::string& strLogLine);
