#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "station/file_entry.h"
#include "station/manifest_lock.h"

// One 144-byte record of the install manifest "ins.txt". Integers are little-endian, so the
// fields are byte arrays.
struct ManifestRecord {
    uint8_t abId[4];         // identifier, signed 32-bit
    uint8_t abText[128];     // record 0: identity texts; records 1-3: the file name, no terminator
    uint8_t abSize[4];       // file size, unsigned 32-bit
    uint8_t abReserved[8];   // never written
};
static_assert(sizeof(ManifestRecord) == 144, "a manifest record is 144 bytes");

constexpr int MANIFEST_RECORDS = 4;
constexpr int MANIFEST_IMAGES = MANIFEST_RECORDS - 1;  // records 1-3: file-table entries 0-2
constexpr size_t MANIFEST_BYTES = MANIFEST_RECORDS * sizeof(ManifestRecord);  // 576
constexpr size_t MANIFEST_FIELD_BYTES = 8;    // factory and registration number fields
constexpr size_t MANIFEST_MAC_BYTES = 26;     // two "^" + 12 hex digit addresses

// What a write measured of one image file, so the transfer can tell whether the file changed
// since: its size and modification time.
struct ManifestImageStamp {
    std::string strName;     // the entry's name, as in the file table
    int64_t nSize = -1;      // full size in bytes
    int64_t nMtimeNs = 0;    // modification time, nanoseconds since the epoch
    bool bMeasured = false;  // false: the file could not be opened (size and time mean nothing)
};

using ManifestLog = std::function<void(const std::string&)>;

// Checks the operator's factory and registration numbers (GBK bytes) before a press writes the
// manifest: neither may be longer than 8 bytes. On refusal returns false and sets strLogLine to
// the log text (one line per refused field, UTF-8), e.g. "->出厂编号超过8字节，请重新输入!\r\n".
bool CheckManifestFields(const std::string& strFactoryGbk, const std::string& strRegGbk, std::string& strLogLine);

// The install manifest of one console. Its table is zero at construction and never cleared, only
// overwritten field by field at each write, so bytes that a write does not touch keep what an
// earlier write left.
class CManifest {
public:
    CManifest();

    // Rebuilds the table from the operator's texts (GBK bytes) and file-table entries 0 to 2
    // (pFiles[0..2]), measuring each named file in strImageFolder read-only, then writes the 576
    // bytes over the start of strImageFolder + "/ins.txt". That file must already exist and be a
    // regular file: it is never created, truncated or followed through a symbolic link. Before
    // writing, an exclusive flock is taken on it without waiting.
    //
    // Reports through log: "->Open bin err.\r\n" per image that is not a readable regular file
    // (its size is then 0xFFFFFFFF); "->Failed to open ins.txt file.\r\n" when ins.txt is missing,
    // not a regular file or locked by another Tovar (the latter three followed by a line saying
    // which); else "->Write ins.txt file successed.\r\n" or "->Write ins.txt file failure.\r\n".
    // Texts longer than their fields (8, 8 and 26 bytes) are cut to them.
    //
    // lock is released first. Returns true only when all 576 bytes were written; lock then holds
    // ins.txt until the caller releases it (at the end of the job's transfer). On false lock holds
    // nothing. The caller goes on with the job either way.
    bool Write(const std::string& strImageFolder, const std::string& strFactoryGbk, const std::string& strRegGbk,
               const std::string& strMacGbk, const FileEntry* pFiles, const ManifestLog& log, CManifestLock& lock);
    // The same with the manifest written to strInsPath (an ins.txt outside the image folder, such as
    // a gang slot's copy); the images are still measured in strImageFolder.
    bool Write(const std::string& strImageFolder, const std::string& strInsPath, const std::string& strFactoryGbk,
               const std::string& strRegGbk, const std::string& strMacGbk, const FileEntry* pFiles,
               const ManifestLog& log, CManifestLock& lock);

    // What the last Write measured of entries 0 to 2, whatever became of ins.txt.
    const std::array<ManifestImageStamp, MANIFEST_IMAGES>& Stamps() const { return m_Stamps; }

private:
    void PutIdentity(const std::string& strFactoryGbk, const std::string& strRegGbk, const std::string& strMacGbk);
    void PutImage(int k, const std::string& strImageFolder, const FileEntry& entry, const ManifestLog& log);

    ManifestRecord m_Records[MANIFEST_RECORDS];
    std::array<ManifestImageStamp, MANIFEST_IMAGES> m_Stamps;
};
