#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/wall_clock.h"  // IsoTimeNow for the callers that take it from here
#include "net/transfer_image.h"

// How a job ended.
enum class JobVerdict { Installed, Failed, ChipRejected, Stopped, Refused };

// Where a job is, or where it ended.
enum class JobStage { Prepare, BringUp, Console, Transfer };

// The board's identity as the operator typed it (UTF-8).
struct JobIdentity {
    std::string strMac;
    std::string strFactory;
    std::string strReg;
};

// Everything a front end, a log or a record needs to know about one finished job.
struct JobResult {
    JobVerdict verdict = JobVerdict::Refused;
    JobStage stage = JobStage::Prepare;
    std::string strReason;            // in words; empty for an installed board
    JobIdentity identity;
    std::string strStation;
    int nComPort = 0;
    std::string strDevicePath;
    uint32_t nChipId = 0;
    bool bChipIdRead = false;
    std::string strStartTime;         // ISO-8601 UTC, milliseconds
    std::string strEndTime;
    int64_t nBringUpMs = 0;           // time spent in each stage
    int64_t nConsoleMs = 0;
    int64_t nTransferMs = 0;
    std::vector<TransferImageResult> images;
    // What else the line must know of this job, by name (kFlag...): a value that belongs to another
    // board, a hold lost while the job ran, a transfer alone, a result the record does not have.
    std::vector<std::string> flags;
};

inline constexpr const char* kFlagConflict = "conflict";      // recorded, but a value is on another board
inline constexpr const char* kFlagHoldLost = "hold-lost";     // the identity's hold ended before the job
inline constexpr const char* kFlagTransfer = "transfer";      // images only: no bring-up, no manifest
inline constexpr const char* kFlagSpooled = "spooled";        // kept in the spool until the record is back
inline constexpr const char* kFlagUnrecorded = "unrecorded";  // neither recorded nor spooled: it is lost
inline constexpr const char* kFlagRecordAway = "record-away"; // refused: the record did not answer

bool HasFlag(const JobResult& result, const char* szFlag);
void AddFlag(JobResult& result, const char* szFlag);
// The flags as one text ("conflict,spooled"), and back.
std::string FlagsText(const std::vector<std::string>& flags);
std::vector<std::string> FlagsFromText(const std::string& strText);

const char* VerdictName(JobVerdict verdict);   // "installed", "failed", ...
const char* StageName(JobStage stage);         // "prepare", "bring-up", "console", "transfer"
// The other way round; false when the text names no verdict or stage.
bool VerdictFromName(const std::string& strName, JobVerdict& verdict);
bool StageFromName(const std::string& strName, JobStage& stage);

// The process exit status for a verdict: 0 installed, 1 failed or chip rejected, 2 refused,
// 3 stopped.
int ExitCodeOf(JobVerdict verdict);
// The same for a whole result: an installed board that carries another board's value, or whose
// result is lost to the record, must not leave the station as good: 4.
int ExitCodeOf(const JobResult& result);

// The result as one JSON object (one line), and back. JobResultFromJson takes what is missing as its
// default and is false, never throwing, when the text is not such an object or a field has a
// wrong type or value.
std::string JobResultToJson(const JobResult& result);
bool JobResultFromJson(const std::string& strJson, JobResult& result);
