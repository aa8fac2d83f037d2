#pragma once
#include <cstdint>
#include <string>

#include "station/manifest.h"

// The install manifest of one slot of a gang station. Each slot sends an ins.txt of its own: the
// image folder's ins.txt is copied into the slot's folder (the shared file is only read) and the
// slot's manifest is written over the copy's first 576 bytes, so the rest is the shared tail.
class CSlotManifest {
public:
    static constexpr int64_t MAX_INS_BYTES = 64 * 1024 * 1024;

    // strSlotFolder: the slot's own folder, made when missing.
    explicit CSlotManifest(std::string strSlotFolder);

    const std::string& InsPath() const { return m_strInsPath; }

    // Copies strImageFolder/ins.txt (a regular file, not a symbolic link, at most MAX_INS_BYTES)
    // over the slot's ins.txt, then writes the manifest there as CManifest::Write does, with the
    // images measured in strImageFolder. lock is released first; on true it holds the slot's
    // ins.txt. False, with log lines saying why, when the shared file cannot be read, the copy
    // cannot be made, another Tovar holds the slot's ins.txt, or the manifest was not written.
    bool Write(const std::string& strImageFolder, const std::string& strFactoryGbk, const std::string& strRegGbk,
               const std::string& strMacGbk, const FileEntry* pFiles, const ManifestLog& log, CManifestLock& lock);

    // What the last Write measured of the images.
    const std::array<ManifestImageStamp, MANIFEST_IMAGES>& Stamps() const { return m_Manifest.Stamps(); }

private:
    bool CopySharedFile(const std::string& strImageFolder, std::string& strWhy) const;

    std::string m_strFolder;
    std::string m_strInsPath;
    CManifest m_Manifest;
};
