#pragma once
#include <string>
#include <vector>

#include "station/file_entry.h"

// Where the job's files lie below the working directory.
std::string ConfigFilePath(const std::string& strWorkDir);   // strWorkDir + "/KX30T/config.cfg"
std::string ImageFolderPath(const std::string& strWorkDir);  // strWorkDir + "/KX30T/系统安装"

// Loads the file table from config.cfg: nFileCount from [COUNT] count (default -1, limited to
// FILE_TABLE_SLOTS), slots 0 to 3 from [Startup], [Download], [UserProc] and [INFO] (id and
// timeout default -1, name default empty, at most 51 bytes), each with cSelected = 1. Slot 4 is
// not touched. A missing or unreadable file gives every value its default. Every value that had
// to be cut or limited adds one complete log line ("->...\r\n") to warnings; the cut value is
// used. Returns true when the file could be read.
bool LoadFileTable(const std::string& strConfigPath, FileEntry files[FILE_TABLE_SLOTS], int& nFileCount,
                   std::vector<std::string>& warnings);
