#pragma once
#include <span>
#include <string>

// Why a job did not end installed (or why an installed one is short of images). Each cause has
// one row in the cause table: its name, the English text for log files, JSON and the command
// line, and the operator's text and next step in Chinese for the windows.
enum class JobCause {
    None,               // installed, nothing to say
    Busy,               // the previous job has not ended
    NoRecord,           // identities from the pools without a production record
    PoolEmpty,          // the pools gave no identity
    IdentityChars,      // the identity holds characters code page 936 cannot carry
    IdentityForm,       // the identity's form is wrong
    IdentityRefused,    // the guard refused the identity (installed elsewhere, held by another job)
    ReflashDeclined,    // a board installed before was not confirmed for a re-flash
    BoardFiles,         // config.cfg or the file table gives no job
    ImageDigest,        // an image does not match its recorded digest
    ManifestIdentity,   // ins.txt selected for a transfer without this board's identity
    Port,               // no port chosen, or the port cannot be used
    ManifestWrite,      // ins.txt could not be written
    ImageUnreadable,    // an image is missing or cannot be read
    Engine,             // the job engine did not take the job
    ChipRejected,       // the board's chip is not the one this tool installs
    BringUp,            // the boot monitor bring-up failed
    Console,            // the boot loader's console did not answer
    NotStored,          // every image sent, but the board did not store one
    TransferBroken,     // the transfer ended early (no acknowledgement, socket, file)
    TimeLimit,          // the job did not finish within its time limit
    Stopped,            // the operator stopped the job
    StopUnanswered,     // the job did not end after it was stopped
    Closed,             // the program was closed during the job
    Partial,            // installed, but fewer images than the configuration names
    RecordAway,         // the production record did not answer (a station fault, not the board's)
};

struct JobCauseText {
    JobCause cause;
    const char* szName;       // "port", "console", ...; the code is "<stage>.<name>"
    const char* szEnglish;    // for the log file, JSON and the command line
    const char* szOperator;   // what happened, for the operator (Chinese)
    const char* szNextStep;   // what the operator does next (Chinese)
};

// The table, one row per cause in the order of the enumeration.
std::span<const JobCauseText> CauseTable();
const JobCauseText& CauseText(JobCause cause);
// "<stage>.<name>" ("prepare.port", "console.console"); empty for JobCause::None.
std::string CauseCode(const char* szStage, JobCause cause);
// The cause of a code or a bare name; false when it names none.
bool CauseFromCode(const std::string& strCode, JobCause& cause);
