#include <iostream>
#include <memory>

#include "cli/cli_job.h"
#include "cli/commands.h"
#include "line/record_options.h"
#include "station/station_config.h"

namespace {

struct TransferOptions {
    std::string strMac;             // the board's identity, for an ins.txt among the images
    std::string strFactory;
    std::string strReg;
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
    settings.bQuiet = transfer.bQuiet;
    JobRequest refused;
    refused.bBringUp = false;
    std::string strWhy;
    if (!ApplyStationConfig(station, strWhy))
        return RefuseCliJob(refused, strWhy, settings);
    settings.strLogDir = JobLogDir(station);
    CStationRecord record;
    if (!OpenStationRecord(station, record, strWhy))
        return RefuseCliJob(refused, strWhy, settings);
    settings.pRecord = &record;
    BoardRunRequest request;
    request.station = station;
    request.bBringUp = false;
    const bool bTyped = !transfer.strMac.empty() || !transfer.strFactory.empty() || !transfer.strReg.empty();
    if (bTyped && (transfer.strMac.empty() || transfer.strFactory.empty() || transfer.strReg.empty()))
        return RefuseCliJob(refused, "--mac, --factory and --reg go together", settings);
    if (bTyped)
        request.identity = JobIdentity{transfer.strMac, transfer.strFactory, transfer.strReg};
    request.select = transfer.select;
    request.nJobTimeoutS = transfer.nJobTimeoutS;
    return RunCliBoard(request, {}, settings);
}

}  // namespace

void AddTransferCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners)
{
    auto transfer = std::make_shared<TransferOptions>();
    CLI::App* pCmd = app.add_subcommand("transfer", "Only the image transfer, to a board whose boot loader runs");
    pCmd->add_option("--mac", transfer->strMac, "With ins.txt among the images: the board's two MAC addresses");
    pCmd->add_option("--factory", transfer->strFactory, "With ins.txt among the images: the factory number");
    pCmd->add_option("--reg", transfer->strReg, "With ins.txt among the images: the registration number");
    pCmd->add_option("--select", transfer->select, "File-table slots to send, e.g. 0,1,2")
        ->delimiter(',')
        ->check(WholeNumber(0, FILE_TABLE_SLOTS - 1));
    pCmd->add_option("--json", transfer->strJsonPath, "Write the result as JSON to this file (-: standard output)");
    pCmd->add_option("--job-timeout-s", transfer->nJobTimeoutS, "Give up after this many seconds")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->check(WholeNumber(1, 24 * 3600))
        ->capture_default_str();
    pCmd->add_flag("--quiet", transfer->bQuiet, "No progress line on standard error");
    AddCommonOptions(*pCmd, options, kJobOptions & ~(kPortMapOptions | kBringUpOptions));
    SetHelpFooter(*pCmd, "tovar transfer --select 0,1 --board-ip 192.168.1.100",
                  {{0, "installed: every selected image stored"},
                   {1, "failed: the job ran and the board failed (or its chip was not the one expected)"},
                   {2, "refused before anything reached the board (usage, tovar.cfg, identity, record)"},
                   {3, "stopped (Ctrl+C)"},
                   {4, "stored, but set aside: it carries a value of another board, or its result is not recorded"}});
    runners.push_back({pCmd, [&options, transfer] { return RunTransfer(options, *transfer); }});
}
