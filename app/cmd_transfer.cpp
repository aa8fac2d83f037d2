#include <iostream>
#include <memory>

#include "app/cli_job.h"
#include "app/commands.h"
#include "app/job_preparation.h"
#include "app/record_options.h"
#include "app/station_config.h"

namespace {

struct TransferOptions {
    std::vector<int> select;
    std::string strJsonPath;
    int nJobTimeoutS = 600;
    bool bQuiet = false;
};

int RunTransfer(const CommonOptions& options, const TransferOptions& transfer)
{
    CommonOptions station = options;
    CliJobSettings settings;
    settings.strCommand = "transfer";
    settings.strJsonPath = transfer.strJsonPath;
    settings.nJobTimeoutS = transfer.nJobTimeoutS;
    settings.bQuiet = transfer.bQuiet;
    std::ostream& log = LogToStderr(settings) ? std::cerr : std::cout;
    JobRequest request;
    request.bBringUp = false;
    std::string strWhy;
    if (!ApplyStationConfig(station, strWhy))
        return RefuseCliJob(request, strWhy, settings);
    settings.strLogDir = JobLogDir(station);
    CStationRecord record;
    if (!OpenStationRecord(station, record, strWhy))
        return RefuseCliJob(request, strWhy, settings);
    settings.pRecord = &record;
    FileEntry files[FILE_TABLE_SLOTS];
    std::string strConfigLog;
    bool bPrepared = PrepareStationRequest(station, transfer.select, request, files, strWhy, strConfigLog) &&
                     CheckImageSums(station, request, strWhy, strConfigLog);
    log << CliText(strConfigLog) << std::flush;
    if (!bPrepared)
        return RefuseCliJob(request, strWhy, settings);
    request.strStation = record.Station();
    return RunCliJob(request, {}, settings);
}

}  // namespace

void AddTransferCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners)
{
    auto transfer = std::make_shared<TransferOptions>();
    CLI::App* pCmd = app.add_subcommand("transfer", "Only the image transfer, to a board whose boot loader runs");
    pCmd->add_option("--select", transfer->select, "File-table slots to send, e.g. 0,1,2")
        ->delimiter(',')
        ->check(CLI::Range(0, FILE_TABLE_SLOTS - 1));
    pCmd->add_option("--json", transfer->strJsonPath, "Write the result as JSON to this file (-: standard output)");
    pCmd->add_option("--job-timeout-s", transfer->nJobTimeoutS, "Give up after this many seconds")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->check(CLI::Range(1, 24 * 3600))
        ->capture_default_str();
    pCmd->add_flag("--quiet", transfer->bQuiet, "No progress line on standard error");
    AddCommonOptions(*pCmd, options);
    runners.push_back({pCmd, [&options, transfer] { return RunTransfer(options, *transfer); }});
}
