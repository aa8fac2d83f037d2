#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "console/file_entry.h"

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
constexpr size_t MANIFEST_BYTES = MANIFEST_RECORDS * sizeof(ManifestRecord);  // 576
constexpr size_t MANIFEST_FIELD_BYTES = 8;    // factory and registration number fields
constexpr size_t MANIFEST_MAC_BYTES = 26;     // two "^" + 12 hex digit addresses

// The program-wide manifest table: zero at start and never cleared, only overwritten field by
// field at each press, so bytes that a press does not write keep what an earlier press left.
extern ManifestRecord g_Manifest[MANIFEST_RECORDS];

// Tests only: puts g_Manifest back to its all-zero start state.
void ResetManifestForTest();

using ManifestLog = std::function<void(const std::string&)>;

// Checks the operator's factory and registration numbers (GBK bytes) before a press writes the
// manifest: neither may be longer than 8 bytes. On refusal returns false and sets strLogLine to
// the log text (one line per refused field, UTF-8), e.g. "->出厂编号超过8字节，请重新输入!\r\n".
bool CheckManifestFields(const std::string& strFactoryGbk, const std::string& strRegGbk, std::string& strLogLine);

// Rebuilds g_Manifest from the operator's texts (GBK bytes) and file-table entries 0 to 2
// (pFiles[0..2]), measuring each named file in strImageFolder, then writes the 576 bytes over
// the start of strImageFolder + "/ins.txt", which must exist (it is never created or
// truncated). Reports through log: "->Open bin err.\r\n" per file that cannot be opened for
// reading and writing (its size is then 0xFFFFFFFF), then "->Failed to open ins.txt file.\r\n",
// "->Write ins.txt file successed.\r\n" or "->Write ins.txt file failure.\r\n". Texts longer
// than their fields (8, 8 and 26 bytes) are cut to them. Returns true when the manifest was
// written whole; the caller goes on with the job either way.
bool WriteManifest(const std::string& strImageFolder, const std::string& strFactoryGbk, const std::string& strRegGbk,
                   const std::string& strMacGbk, const FileEntry* pFiles, const ManifestLog& log);
