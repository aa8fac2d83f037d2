#include "app/cmd_flash.h"

#include <iostream>
#include <memory>

#include "app/cli_job.h"
#include "app/job_preparation.h"
#include "app/station_config.h"
#include "base/gbk_text.h"
#include "console/config_loader.h"
#include "console/manifest.h"
#include "console/manifest_lock.h"
#include "sim/at91_sim_board.h"
#include "serial/com_port_map.h"

void AddFlashCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners)
{
    auto flash = std::make_shared<FlashOptions>();
    CLI::App* pCmd = app.add_subcommand("flash", "One download job without a window");
    pCmd->add_option("--port", flash->strPort, "Serial port of the board, as COMn")->required();
    pCmd->add_option("--mac", flash->strMac, "Two MAC addresses, ^XXXXXXXXXXXX^XXXXXXXXXXXX")->required();
    pCmd->add_option("--factory", flash->strFactory, "Factory number (at most 8 bytes)")->required();
    pCmd->add_option("--reg", flash->strReg, "Registration number (at most 8 bytes)")->required();
    pCmd->add_option("--select", flash->select, "File-table slots to send, e.g. 0,1,2")->delimiter(',');
    pCmd->add_option("--job-timeout-s", flash->nJobTimeoutS, "Give up after this many seconds")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    pCmd->add_option("--json", flash->strJsonPath, "Write the job's result as JSON to this file (-: standard output)");
    pCmd->add_flag("--sim-monitor", flash->bSimBoard, "Use an in-process simulated boot monitor");
    AddCommonOptions(*pCmd, options);
    runners.push_back({pCmd, [&options, flash] { return RunFlash(options, *flash); }});
}

int RunFlash(const CommonOptions& options, const FlashOptions& flash)
{
    CommonOptions station = options;
    std::string strReport = ApplyStationConfig(station);
    return RunFlashJob(station, flash, strReport);
}

namespace {

// The devices the boot monitor lists, as "COM3 (/dev/ttyS2), COM5 (...)"; strListed receives the
// listed name of strPort ("COM5" or "COM5 (/dev/ttyUSB0)"), empty when it is not listed.
std::string ListedDevices(CAt91BootDll& dll, const std::string& strPort, std::string& strListed)
{
    std::vector<std::vector<char>> buffers(SCAN_MAX_DEVICES, std::vector<char>(DEVICE_NAME_SIZE, '\0'));
    char* szDevices[SCAN_MAX_DEVICES];
    for (int i = 0; i < SCAN_MAX_DEVICES; ++i)
        szDevices[i] = buffers[i].data();
    dll.ScanDevices(szDevices);
    std::string strList;
    strListed.clear();
    for (int i = 0; i < SCAN_MAX_DEVICES && szDevices[i]; ++i) {
        std::string strName = szDevices[i];
        strList += (strList.empty() ? "" : ", ") + strName;
        if (strName == strPort || strName.rfind(strPort + " ", 0) == 0)
            strListed = strName;
    }
    return strList.empty() ? std::string("none") : strList;
}

}  // namespace

int RunFlashJob(const CommonOptions& station, const FlashOptions& flash, const std::string& strStartupLog)
{
    CliJobSettings settings;
    settings.strCommand = "flash";
    settings.strJsonPath = flash.strJsonPath;
    settings.nJobTimeoutS = flash.nJobTimeoutS;
    settings.strLogDir = JobLogDir(station);
    std::ostream& log = LogToStderr(settings) ? std::cerr : std::cout;
    log << CliText(strStartupLog) << std::flush;

    JobRequest request;
    request.identity = {flash.strMac, flash.strFactory, flash.strReg};
    request.strDevice = flash.strPort;
    request.port.nPort = CComPortMap::PortFromName(flash.strPort);
    request.port.strPath = request.port.nPort > 0 ? station.portMap.PathForPort(request.port.nPort) : std::string();

    std::string strMac, strFactory, strReg, strWhy, strFieldError;
    if (!Utf8ToGbk(flash.strMac, strMac) || !Utf8ToGbk(flash.strFactory, strFactory) ||
        !Utf8ToGbk(flash.strReg, strReg))
        return RefuseCliJob(request, "the identity holds characters that code page 936 cannot carry", settings);
    if (strMac.size() != 26) {
        log << CliText("请输入正确的macid  \r\n");
        return RefuseCliJob(request, "--mac must be 26 bytes: ^ and 12 hexadecimal digits, twice", settings);
    }
    if (!CheckManifestFields(strFactory, strReg, strFieldError)) {
        log << CliText(strFieldError);
        return RefuseCliJob(request, "the factory and registration numbers are at most 8 bytes each", settings);
    }
    std::string strConfigLog;
    FileEntry files[FILE_TABLE_SLOTS];
    bool bPrepared = PrepareStationRequest(station, flash.select, request, files, strWhy, strConfigLog);
    log << CliText(strConfigLog) << std::flush;
    if (!bPrepared)
        return RefuseCliJob(request, strWhy, settings);

    CAt91SimBoard simBoard;
    simBoard.SetDevices({flash.strPort});
    At91BackendFactory fnFactory = flash.bSimBoard ? simBoard.Factory() : MakeMonitorBackendFactory(station, nullptr);
    {
        CAt91BootDll dll(fnFactory);
        std::string strFound = ListedDevices(dll, flash.strPort, request.strDevice);
        if (request.strDevice.empty())
            return RefuseCliJob(request,
                                flash.strPort + " is not among the serial devices found (" + strFound +
                                    "); see tovar scan",
                                settings);
    }
    // The board must never get another board's identity: no manifest, no job.
    CManifest manifest;
    CManifestLock manifestLock;   // held until the job has ended
    if (!manifest.Write(ImageFolderPath(station.strWorkDir), strFactory, strReg, strMac, files,
                        [&log](const std::string& strLine) { log << CliText(strLine) << std::flush; }, manifestLock)) {
        log << CliText("->未写入身份信息，未开始下载。\r\n") << std::flush;
        return RefuseCliJob(request, "ins.txt was not written; nothing was sent", settings);
    }
    return RunCliJob(request, fnFactory, settings);
}
