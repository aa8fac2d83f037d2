#include "line/board_steps.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "base/log_text.h"
#include "station/config_loader.h"
#include "station/entry_check.h"
#include "station/selected_images.h"
#include "station/station_probes.h"

namespace {

bool IsFolder(const std::string& strPath)
{
    struct stat info {};
    return stat(strPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool Exists(const std::string& strPath)
{
    struct stat info {};
    return stat(strPath.c_str(), &info) == 0;
}

bool IsInsTxt(const std::string& strName)
{
    static const std::string kName = "ins.txt";
    return strName.size() == kName.size() &&
           std::equal(strName.begin(), strName.end(), kName.begin(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

}  // namespace

bool CheckStationFolder(const std::string& strWorkDir, std::string& strWhy)
{
    if (!IsFolder(strWorkDir)) {
        strWhy = "the working folder " + strWorkDir + " does not exist";
        return false;
    }
    if (!Exists(ConfigFilePath(strWorkDir))) {
        std::error_code error;
        const std::string strFolder = std::filesystem::absolute(strWorkDir, error).lexically_normal().string();
        strWhy = (error ? strWorkDir : strFolder) + " is not a station's working folder (no KX30T/config.cfg); " +
                 "run in a station's folder or give --workdir";
        return false;
    }
    return true;
}

bool LoadBoardFiles(const StationSettings& station, const std::optional<BoardFileTable>& given,
                    const std::vector<int>& select, BoardFileTable& table, std::string& strLog,
                    std::string& strEntryLog, std::string& strWhy)
{
    strEntryLog.clear();
    if (given) {
        table = *given;
    } else {
        if (!IsFolder(station.strWorkDir)) {
            strWhy = "the working folder " + station.strWorkDir + " does not exist";
            return false;
        }
        std::vector<std::string> warnings;
        table = BoardFileTable{};
        if (!LoadFileTable(ConfigFilePath(station.strWorkDir), table.files, table.nFileCount, warnings)) {
            strWhy = "the configuration " + ConfigFilePath(station.strWorkDir) + " cannot be read";
            return false;
        }
        for (const std::string& strWarning : warnings)
            strLog += strWarning;
    }
    const int nSlots = std::clamp(table.nFileCount, 0, FILE_TABLE_SLOTS);
    if (!select.empty()) {
        for (FileEntry& entry : table.files)
            entry.cSelected = 0;
        for (int k : select) {
            if (k < 0 || k >= nSlots) {
                strWhy = "--select " + std::to_string(k) + ": the configuration has " +
                         (nSlots > 0 ? "slots 0 to " + std::to_string(nSlots - 1) : std::string("no slots"));
                return false;
            }
            table.files[k].cSelected = 1;
        }
    }
    if (!CheckSelectedEntries(table.files, table.nFileCount, strEntryLog)) {
        strWhy = FirstLineAsWords(strEntryLog);
        return false;
    }
    return true;
}

bool CheckImagesReadable(const std::vector<TransferImage>& images, std::string& strWhy,
                         std::vector<ImageFinding>* pFindings)
{
    bool bAll = true;
    for (const TransferImage& image : images) {
        uint64_t nSize = 0;
        std::string strProblem;
        if (!ProbeReadableFile(image.strPath, nSize, strProblem))
            strProblem = image.strName + ": " + strProblem;
        else if (nSize > MAX_IMAGE_SIZE)
            strProblem = image.strName + ": " + std::to_string(nSize) + " bytes, more than " +
                         std::to_string(MAX_IMAGE_SIZE);
        if (pFindings)
            pFindings->push_back({image.strName, strProblem.empty(),
                                  strProblem.empty() ? image.strName + ": " + std::to_string(nSize) + " bytes"
                                                     : strProblem});
        if (!strProblem.empty() && bAll)
            strWhy = "image " + strProblem + " (" + image.strPath + ")";
        bAll = bAll && strProblem.empty();
    }
    return bAll;
}

bool CheckImageDigests(const StationSettings& station, const std::vector<TransferImage>& images,
                       ImageSumsReport& report, std::string& strLog, std::string& strWhy)
{
    report = VerifyImageSums(ImageSumsPath(station.strWorkDir), images);
    if (!report.bOk) {
        strWhy = report.strError;
        return false;
    }
    if (report.bPresent)
        strLog += "->SHA256SUMS: " + std::to_string(report.checks.size()) + " image(s) match.\r\n";
    return true;
}

bool ResolveBoardPort(const StationSettings& station, const std::string& strPort, int nComPort, bool bListed,
                      const PortResolver& fnPath, ComPortEntry& port, std::string& strWhy)
{
    port.nPort = nComPort > 0 ? nComPort : CComPortMap::PortFromName(strPort);
    port.strPath = port.nPort <= 0 ? std::string() : fnPath ? fnPath(port.nPort) : station.portMap.PathForPort(port.nPort);
    if (bListed && port.strPath.empty())
        return true;
    if (port.strPath.empty() || !Exists(port.strPath)) {
        std::string strFound;
        for (const ComPortEntry& entry : station.portMap.ListPorts())
            strFound += (strFound.empty() ? "" : ", ") + CComPortMap::FormatEntry(entry);
        strWhy = strPort + " is not among the serial devices found (" + (strFound.empty() ? "none" : strFound) +
                 "); see tovar scan";
        return false;
    }
    if (!ProbeSerialPort(port.strPath, strWhy)) {
        strWhy = strPort + " cannot be opened: " + strWhy;
        return false;
    }
    return true;
}

bool SendsManifest(const std::vector<TransferImage>& images)
{
    return std::any_of(images.begin(), images.end(), [](const TransferImage& image) { return IsInsTxt(image.strName); });
}

void PointInsTxtAt(std::vector<TransferImage>& images, const std::string& strPath)
{
    for (TransferImage& image : images) {
        if (!IsInsTxt(image.strName))
            continue;
        image.strPath = strPath;
        image.nExpectedSize = image.nExpectedMtimeNs = -1;
        struct stat info {};
        if (stat(strPath.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            image.nExpectedSize = static_cast<int64_t>(info.st_size);
            image.nExpectedMtimeNs = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        }
    }
}
