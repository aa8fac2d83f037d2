#pragma once
#include <string>
#include <vector>

#include "station/file_entry.h"
#include "net/transfer_image.h"

// The selected entries among the first nFileCount slots of the file table, as files of
// strImageDir to send, each with its size and modification time as they are now.
std::vector<TransferImage> SelectedImages(const FileEntry* pFiles, int nFileCount, const std::string& strImageDir);
