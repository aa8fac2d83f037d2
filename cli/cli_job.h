#pragma once
#include <string>

#include "line/board_run.h"
#include "record/station_record.h"

// How a command runs its one board.
struct CliJobSettings {
    std::string strCommand;      // "flash", "transfer": names the command in messages
    std::string strJsonPath;     // the result as JSON to this file; "-": standard output
    CStationRecord* pRecord = nullptr;  // where the job is recorded; null: nowhere
    bool bQuiet = false;         // no progress line on standard error
    std::string strLogDir = "logs";  // the job's log file goes below it
};

// Where a command's log lines go: standard output, or standard error when the result goes there.
bool LogToStderr(const CliJobSettings& settings);

// Runs one board through the board run: its log lines as they come, the transfer's progress on
// standard error (CProgressLine); Ctrl+C stops the job. Writes the result and returns the exit
// status of its verdict.
int RunCliBoard(const BoardRunRequest& request, const At91BackendFactory& fnFactory, const CliJobSettings& settings);

// A command refused before its board run could begin (usage, tovar.cfg, the record): the reason on
// standard error and the result (verdict "refused") written; returns 2.
int RefuseCliJob(const JobRequest& request, const std::string& strReason, const CliJobSettings& settings);

// The one line a board run ends with on standard error: verdict, stage, cause, time, log file.
std::string SummaryLine(const std::string& strCommand, const JobResult& result, const std::string& strLogPath);
