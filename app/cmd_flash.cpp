#include "app/cmd_flash.h"

#include <iostream>
#include <memory>

#include "app/cli_job.h"
#include "app/job_preparation.h"
#include "app/record_options.h"
#include "app/station_config.h"
#include "app/station_probes.h"
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
    pCmd->add_option("--port", flash->strPort, "Serial port of the board, as COMn")->required()->check(ComPortName());
    auto* pNext = pCmd->add_flag("--next", flash->bNext, "Take the identity from the pools of the production record");
    pCmd->add_option("--mac", flash->strMac, "Two MAC addresses, ^XXXXXXXXXXXX^XXXXXXXXXXXX")->excludes(pNext);
    pCmd->add_option("--factory", flash->strFactory, "Factory number (at most 8 bytes)")->excludes(pNext);
    pCmd->add_option("--reg", flash->strReg, "Registration number (at most 8 bytes)")->excludes(pNext);
    pCmd->add_option("--select", flash->select, "File-table slots to send, e.g. 0,1,2")
        ->delimiter(',')
        ->check(CLI::Range(0, FILE_TABLE_SLOTS - 1));
    pCmd->add_option("--job-timeout-s", flash->nJobTimeoutS, "Give up after this many seconds")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->check(CLI::Range(1, 24 * 3600))
        ->capture_default_str();
    pCmd->add_option("--json", flash->strJsonPath, "Write the job's result as JSON to this file (-: standard output)");
    pCmd->add_flag("--sim-monitor", flash->bSimBoard, "Use an in-process simulated boot monitor");
    pCmd->add_flag("--quiet", flash->bQuiet, "No progress line on standard error");
    AddCommonOptions(*pCmd, options);
    runners.push_back({pCmd, [&options, flash] { return RunFlash(options, *flash); }});
}

int RunFlash(const CommonOptions& options, const FlashOptions& flash)
{
    CommonOptions station = options;
    std::string strError;
    ApplyStationConfig(station, strError);
    return RunFlashJob(station, flash, strError);
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

int RunFlashJob(const CommonOptions& station, const FlashOptions& flash, const std::string& strStationError)
{
    CliJobSettings settings;
    settings.strCommand = "flash";
    settings.strJsonPath = flash.strJsonPath;
    settings.nJobTimeoutS = flash.nJobTimeoutS;
    settings.bQuiet = flash.bQuiet;
    settings.strLogDir = JobLogDir(station);
    std::ostream& log = LogToStderr(settings) ? std::cerr : std::cout;

    JobRequest request;
    request.identity = {flash.strMac, flash.strFactory, flash.strReg};
    request.strDevice = flash.strPort;
    request.port.nPort = CComPortMap::PortFromName(flash.strPort);
    request.port.strPath = request.port.nPort > 0 ? station.portMap.PathForPort(request.port.nPort) : std::string();
    if (!strStationError.empty())
        return RefuseCliJob(request, strStationError, settings);
    CStationRecord record;
    std::string strRecordWhy;
    if (!OpenStationRecord(station, record, strRecordWhy))
        return RefuseCliJob(request, strRecordWhy, settings);
    settings.pRecord = &record;
    request.strStation = record.Station();
    if (flash.bNext) {
        if (!record.TakeNext(request.identity, strRecordWhy))
            return RefuseCliJob(request, strRecordWhy, settings);
        log << "identity from the pools: " << request.identity.strMac << " " << request.identity.strFactory << " "
            << request.identity.strReg << "\n";
    } else if (flash.strMac.empty() || flash.strFactory.empty() || flash.strReg.empty()) {
        return RefuseCliJob(request, "--mac, --factory and --reg are required (or --next)", settings);
    }

    std::string strMac, strFactory, strReg, strWhy;
    if (!Utf8ToGbk(request.identity.strMac, strMac) || !Utf8ToGbk(request.identity.strFactory, strFactory) ||
        !Utf8ToGbk(request.identity.strReg, strReg))
        return RefuseCliJob(request, "the identity holds characters that code page 936 cannot carry", settings);
    // The form, then no value installed on another board or held by another running job.
    if (!record.Guard(request.identity, flash.strPort, settings.claim, strWhy)) {
        log << CliText(strWhy) << std::flush;
        return RefuseCliJob(request, "the identity was refused (see the log)", settings);
    }
    if (settings.claim.bReflash)
        log << "->The same board again with the same identity: recorded as a re-flash.\n";
    std::string strConfigLog;
    FileEntry files[FILE_TABLE_SLOTS];
    bool bPrepared = PrepareStationRequest(station, flash.select, request, files, strWhy, strConfigLog) &&
                     CheckImageSums(station, request, strWhy, strConfigLog);
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
    // A port that exists but cannot be opened is named with its reason before anything starts.
    if (!flash.bSimBoard && !ProbeSerialPort(request.port.strPath, strWhy))
        return RefuseCliJob(request, flash.strPort + " cannot be opened: " + strWhy, settings);
    // The board must never get another board's identity: no manifest, no job.
    CManifest manifest;
    CManifestLock manifestLock;   // held until the job has ended
    if (!manifest.Write(ImageFolderPath(station.strWorkDir), strFactory, strReg, strMac, files,
                        [&log](const std::string& strLine) { log << CliText(strLine) << std::flush; }, manifestLock)) {
        log << CliText("->未写入身份信息，未开始下载。\r\n") << std::flush;
        return RefuseCliJob(request, "ins.txt was not written; nothing was sent", settings);
    }
    // The images were measured before the manifest changed ins.txt.
    PointInsTxtAt(request.images, ImageFolderPath(station.strWorkDir) + "/ins.txt");
    return RunCliJob(request, fnFactory, settings);
}
