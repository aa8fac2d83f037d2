#pragma once
#include <atomic>
#include <cstdint>

// One slot of the file table: an image file of the job and whether it is sent.
struct FileEntry {
    int32_t nId = -1;           // file identifier; its low 8 bits go on the wire
    char szName[52] = {};       // file name in the image folder, zero-terminated
    int32_t nTimeout = -1;      // kept, not acted on
    int8_t cSelected = 0;       // 1 = send the file
};

constexpr int FILE_TABLE_SLOTS = 5;

// The selection flag is changed by the Advanced dialog while a transfer may read it.
inline int8_t LoadSelected(const FileEntry& entry)
{
    return std::atomic_ref<int8_t>(const_cast<int8_t&>(entry.cSelected)).load(std::memory_order_relaxed);
}

inline void StoreSelected(FileEntry& entry, int8_t cSelected)
{
    std::atomic_ref<int8_t>(entry.cSelected).store(cSelected, std::memory_order_relaxed);
}
