#include "cli/cmd_check.h"

#include <sys/stat.h>

#include <algorithm>
#include <iostream>
#include <memory>

#include "ui/check_report.h"
#include "ui/monitor_port_check.h"
#include "ui/monitor_port_choices.h"
#include "ui/serial_setup_check.h"
#include "line/gang_station.h"
#include "station/image_sums.h"
#include "line/board_steps.h"
#include "station/selected_images.h"
#include "station/station_config.h"
#include "station/station_probes.h"
#include "station/system_serial_setup_probe.h"
#include "station/station_slots.h"
#include "station/config_loader.h"
#include "job/board_files.h"
#include "net/transfer_frame.h"

namespace {

bool Exists(const std::string& strPath)
{
    struct stat info {};
    return stat(strPath.c_str(), &info) == 0;
}

void CheckStation(CommonOptions& station, CCheckReport& report)
{
    std::string strError;
    const std::string strPath = StationConfigPath(station.strWorkDir);
    if (!ApplyStationConfig(station, strError))
        report.Add("tovar.cfg", false, strError);
    else
        report.Add("tovar.cfg", true,
                   Exists(strPath) ? strPath + " read" : "no " + strPath + "; command line and defaults");
}

// The configuration and each selected image: present, readable, not empty, not too large for the transfer.
void CheckImages(const StationSettings& station, const std::vector<int>& select, std::vector<TransferImage>& images,
                 CCheckReport& report)
{
    BoardFileTable table;
    std::string strWhy, strLog, strEntryLog;
    if (!LoadBoardFiles(station, std::nullopt, select, table, strLog, strEntryLog, strWhy)) {
        report.Add("config", false, strWhy);
        return;
    }
    images = SelectedImages(table.files, table.nFileCount, ImageFolderPath(station.strWorkDir));
    report.Add("config", true,
               ConfigFilePath(station.strWorkDir) + ": count=" + std::to_string(table.nFileCount) + ", " +
                   std::to_string(images.size()) + " selected");
    std::vector<ImageFinding> findings;
    CheckImagesReadable(images, strWhy, &findings);
    for (size_t i = 0; i < findings.size(); ++i)
        report.Add("image " + std::to_string(images[i].nSlot), findings[i].bOk, findings[i].strDetail);
}

void CheckSums(const StationSettings& station, const std::vector<TransferImage>& images, CCheckReport& report)
{
    const std::string strPath = ImageSumsPath(station.strWorkDir);
    ImageSumsReport sums;
    std::string strLog, strWhy;
    CheckImageDigests(station, images, sums, strLog, strWhy);
    if (!sums.bPresent)
        report.Add("SHA256SUMS", true, "no " + strPath + "; digests not checked");
    else if (sums.checks.empty())
        report.Add("SHA256SUMS", sums.bOk, sums.bOk ? strPath + ": no images to check" : sums.strError);
    for (const ImageSumCheck& check : sums.checks)
        report.Add("sha256 " + check.strName, check.bOk, strPath + ": " + check.strDetail);
}

void CheckBoardFiles(const std::string& strWorkDir, CCheckReport& report)
{
    for (const char* szFile : {LOWLEVEL_APPLET, BOOT_LOADER}) {
        uint64_t nSize = 0;
        std::string strWhy;
        const std::string strPath = strWorkDir + "/" + szFile;
        bool bOk = ProbeReadableFile(strPath, nSize, strWhy);
        report.Add("board file", bOk, strPath + ": " + (bOk ? std::to_string(nSize) + " bytes" : strWhy));
    }
}

void CheckManifest(const std::string& strWorkDir, CCheckReport& report)
{
    const std::string strPath = ImageFolderPath(strWorkDir) + "/ins.txt";
    std::string strWhy;
    bool bOk = ProbeManifestFile(strPath, strWhy);
    report.Add("ins.txt", bOk, strPath + ": " + (bOk ? std::string("writable") : strWhy));
}

// A serial device a job would open: present, and free to open as a job opens it. A device found is
// added to devices, for the serial set-up's checks.
void CheckPort(const std::string& strName, const StationSettings& station, const std::string& strPort, int nComPort,
               std::vector<std::string>& devices, CCheckReport& report)
{
    ComPortEntry port;
    std::string strWhy;
    bool bOk = ResolveBoardPort(station, strPort, nComPort, false, {}, port, strWhy);
    report.Add(strName, bOk, bOk ? port.strPath + ": free" : strWhy);
    if (!port.strPath.empty() && Exists(port.strPath))
        devices.push_back(port.strPath);
}

// The transfer's socket as the options say (port, bind) and the route to the board from it.
void CheckNetwork(const std::string& strPrefix, const StationSettings& net, const std::string& strBind,
                  CCheckReport& report)
{
    std::string strWhy, strLocalIp;
    const std::string strOn = strBind.empty() ? std::string() : " on " + strBind;
    bool bOk = ProbeUdpBind(net.nLocalPort, strBind, strWhy);
    report.Add(strPrefix + "udp port " + std::to_string(net.nLocalPort) + strOn, bOk,
               bOk ? std::string(net.nLocalPort == 0 ? "any free port can be bound" : "can be bound") : strWhy);
    const std::string strBoard = net.strBoardIp + ":" + std::to_string(net.nBoardPort);
    bOk = ProbeRoute(net.strBoardIp, net.nBoardPort, strBind, strLocalIp, strWhy);
    report.Add(strPrefix + "route", bOk, bOk ? strBoard + " is reached from local address " + strLocalIp : strWhy);
}

// Each [slotN] of a gang station: its port, its socket and its route, with its own values; then the
// boot monitor ports of the slots and of the window.
void CheckSlots(const StationSettings& station, std::vector<std::string>& devices, CCheckReport& report)
{
    std::vector<StationSlot> slots;
    std::vector<GangSlotSetup> setups;
    std::string strWhy;
    if (!ReadStationSlots(station.strWorkDir, slots, strWhy) ||
        !CGangStation::PlanSlots(station, slots, setups, strWhy)) {
        report.Add("slots", false, strWhy);
        return;
    }
    for (const GangSlotSetup& setup : setups) {
        const std::string strPrefix = "slot" + std::to_string(setup.nSlot) + " ";
        CheckPort(strPrefix + "port " + setup.strPort, setup.options, setup.strPort, setup.nComPort, devices, report);
        CheckNetwork(strPrefix, setup.options, setup.options.strBind, report);
    }
    std::vector<MonitorPortUse> uses;
    for (const StationSlot& slot : slots)
        if (!slot.strMonitorPort.empty())
            uses.push_back({"slot" + std::to_string(slot.nSlot), slot.strMonitorPort});
    // The window's own choices that no slot names ([ports] entries on the monitor's udev links).
    for (const std::string& strName : MonitorPortChoices(station, {})) {
        const int nPort = CComPortMap::PortFromName(strName);
        if (std::none_of(slots.begin(), slots.end(), [nPort](const StationSlot& slot) {
                return CComPortMap::PortFromName(slot.strMonitorPort) == nPort;
            }))
            uses.push_back({std::string(), strName});
    }
    CheckMonitorPorts(uses, station.portMap, CMonitorPortPath(station.portMap.Resolver()), devices, report);
}

}  // namespace

void AddCheckCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners)
{
    auto check = std::make_shared<CheckOptions>();
    CLI::App* pCmd = app.add_subcommand("check", "A dry run: checks station, images, port and network; no board");
    pCmd->add_option("--port", check->strPort, "Also check this serial port, as COMn")->check(ComPortName());
    pCmd->add_option("--select", check->select, "File-table slots a job would send, e.g. 0,1,2")
        ->delimiter(',')
        ->check(WholeNumber(0, FILE_TABLE_SLOTS - 1));
    pCmd->add_flag("--json", check->bJson, "Print the findings as one JSON object");
    AddCommonOptions(*pCmd, options, kPortMapOptions | kEndpointOptions);
    SetHelpFooter(*pCmd, "tovar check --port COM3 --select 0,1,2",
                  {{0, "every check passed"}, {2, "a check failed, or a usage error"}});
    runners.push_back({pCmd, [&options, check] { return RunCheck(options, *check); }});
}

int RunCheck(const CommonOptions& options, const CheckOptions& check)
{
    CCheckReport report;
    CommonOptions station = options;
    CheckStation(station, report);
    std::vector<TransferImage> images;
    CheckImages(station, check.select, images, report);
    CheckSums(station, images, report);
    CheckBoardFiles(station.strWorkDir, report);
    CheckManifest(station.strWorkDir, report);
    std::vector<std::string> devices;
    if (!check.strPort.empty())
        CheckPort("port " + check.strPort, station, check.strPort, 0, devices, report);
    CheckNetwork("", station, station.strBind, report);
    CheckSlots(station, devices, report);
    CheckSerialSetup(CSystemSerialSetupProbe(), devices, report);
    std::cout << (check.bJson ? report.Json() + "\n" : report.Text()) << std::flush;
    return report.AllPassed() ? 0 : 2;
}
