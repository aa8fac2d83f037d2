#include <iostream>
#include <memory>

#include "app/cli_job.h"
#include "app/commands.h"
#include "app/job_preparation.h"
#include "app/station_config.h"

namespace {

struct TransferOptions {
    std::vector<int> select;
    std::string strJsonPath;
    int nJobTimeoutS = 600;
};

int RunTransfer(const CommonOptions& options, const TransferOptions& transfer)
{
    CommonOptions station = options;
    CliJobSettings settings;
    settings.strCommand = "transfer";
    settings.strJsonPath = transfer.strJsonPath;
    settings.nJobTimeoutS = transfer.nJobTimeoutS;
    std::ostream& log = LogToStderr(settings) ? std::cerr : std::cout;
    log << CliText(ApplyStationConfig(station)) << std::flush;
    settings.strLogDir = JobLogDir(station);
    JobRequest request;
    request.bBringUp = false;
    FileEntry files[FILE_TABLE_SLOTS];
    std::string strWhy;
    std::string strConfigLog;
    bool bPrepared = PrepareStationRequest(station, transfer.select, request, files, strWhy, strConfigLog);
    log << CliText(strConfigLog) << std::flush;
    if (!bPrepared)
        return RefuseCliJob(request, strWhy, settings);
    return RunCliJob(request, {}, settings);
}

}  // namespace

void AddTransferCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners)
{
    auto transfer = std::make_shared<TransferOptions>();
    CLI::App* pCmd = app.add_subcommand("transfer", "Only the image transfer, to a board whose boot loader runs");
    pCmd->add_option("--select", transfer->select, "File-table slots to send, e.g. 0,1,2")->delimiter(',');
    pCmd->add_option("--json", transfer->strJsonPath, "Write the result as JSON to this file (-: standard output)");
    pCmd->add_option("--job-timeout-s", transfer->nJobTimeoutS, "Give up after this many seconds")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    AddCommonOptions(*pCmd, options);
    runners.push_back({pCmd, [&options, transfer] { return RunTransfer(options, *transfer); }});
}
