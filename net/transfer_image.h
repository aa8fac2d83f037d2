#pragma once
#include <cstdint>
#include <string>
#include <vector>

// One file to send: where it is, the identifier the board stores it under and, when known, the
// size and modification time it had when the job was prepared (a change since then fails it).
struct TransferImage {
    int nSlot = 0;               // position in the station's file table, for reports
    int32_t nId = 0;             // the board stores the file under the low 8 bits
    std::string strName;         // as the log shows it
    std::string strPath;
    int64_t nExpectedSize = -1;  // < 0: not checked
    int64_t nExpectedMtimeNs = -1;
};

// What became of one file.
struct TransferImageResult {
    int nSlot = 0;
    int32_t nId = 0;
    std::string strName;
    uint64_t nSize = 0;
    std::string strSha256;       // lower-case hex of the bytes sent; empty when the file was not read
    uint32_t nFrames = 0;        // data frames acknowledged
    uint32_t nResends = 0;       // datagrams of this file sent again after a missing reply
    bool bStored = false;        // the board confirmed the store
};

// Where a run stands; reported a few times a second at most, and at each file's end.
struct TransferProgress {
    std::string strName;         // the file being sent
    uint64_t nFileBytesDone = 0;
    uint64_t nFileBytes = 0;
    uint64_t nBytesDone = 0;     // over all selected files
    uint64_t nBytesTotal = 0;
    uint64_t nFramesDone = 0;
    uint64_t nResends = 0;
};

// How a run ended.
enum class TransferResult {
    Installed,      // every file acknowledged and its store confirmed
    InstallFailed,  // every file sent, but a store failed or went unanswered
    Ended,          // a socket, file or frame failure ended the run
    Stopped,        // the stop flag ended the run
    Quit,           // the quit flag ended the run
};

struct TransferReport {
    TransferResult result = TransferResult::Ended;
    std::string strReason;                     // in words, for anything but Installed
    std::vector<TransferImageResult> images;   // one per file, in order, sent or not
};
