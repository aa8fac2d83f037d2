#include <iostream>
#include <memory>

#include "app/cli_view.h"
#include "app/commands.h"
#include "app/station_config.h"
#include "app/stop_signal.h"
#include "console/config_loader.h"
#include "net/image_transfer.h"
#include "net/net.h"

namespace {

// Log lines to standard output; the buttons have no meaning here.
class CCliTransferHost : public ITransferHost {
public:
    void AppendLog(const std::string& strText) override { std::cout << CliText(strText) << std::flush; }
    void EnableButtons() override {}
};

int RunTransfer(const CommonOptions& options, const std::vector<int>& select)
{
    CommonOptions station = options;
    CCliTransferHost host;
    host.AppendLog(ApplyStationConfig(station));
    TovarJobOptions jobOptions = MakeJobOptions(station);
    const std::string strWorkDir = station.strWorkDir;
    FileEntry files[FILE_TABLE_SLOTS];
    int nFileCount = -1;
    std::vector<std::string> warnings;
    LoadFileTable(ConfigFilePath(strWorkDir), files, nFileCount, warnings);
    for (const std::string& strWarning : warnings)
        host.AppendLog(strWarning);
    ApplySelection(files, select);
    InstallStopSignals();
    CNet net;
    CImageTransfer transfer(host, SystemClock(), jobOptions.transfer);
    TransferResult result = transfer.Run(net, files, nFileCount, ImageFolderPath(strWorkDir), StopSignalled(), StopSignalled());
    if (result == TransferResult::Installed)
        return 0;
    std::cerr << "tovar transfer: "
              << (result == TransferResult::InstallFailed ? "a file was not stored"
                  : result == TransferResult::Stopped    ? "stopped"
                                                         : "the transfer ended early")
              << "\n";
    return 1;
}

}  // namespace

void AddTransferCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners)
{
    auto select = std::make_shared<std::vector<int>>();
    CLI::App* pCmd = app.add_subcommand("transfer", "Only the image transfer, to a board whose boot loader runs");
    pCmd->add_option("--select", *select, "File-table slots to send, e.g. 0,1,2")->delimiter(',');
    AddCommonOptions(*pCmd, options);
    runners.push_back({pCmd, [&options, select] { return RunTransfer(options, *select); }});
}
