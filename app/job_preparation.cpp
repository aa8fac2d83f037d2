#include "app/job_preparation.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "app/image_sums.h"
#include "console/config_loader.h"
#include "console/entry_check.h"
#include "console/selected_images.h"

namespace {

bool IsFolder(const std::string& strPath)
{
    struct stat info {};
    return stat(strPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsInsTxt(const std::string& strName)
{
    static const std::string kName = "ins.txt";
    return strName.size() == kName.size() &&
           std::equal(strName.begin(), strName.end(), kName.begin(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

}  // namespace

bool PrepareStationRequest(const CommonOptions& station, const std::vector<int>& select, JobRequest& request,
                           FileEntry files[FILE_TABLE_SLOTS], std::string& strWhy, std::string& strLog,
                           int* pnFileCount)
{
    TovarJobOptions options = MakeJobOptions(station);
    request.strWorkDir = station.strWorkDir;
    request.strStation = options.strStation;
    request.transfer = options.transfer;
    if (!IsFolder(station.strWorkDir)) {
        strWhy = "the working folder " + station.strWorkDir + " does not exist";
        return false;
    }
    int nFileCount = -1;
    std::vector<std::string> warnings;
    if (!LoadFileTable(ConfigFilePath(station.strWorkDir), files, nFileCount, warnings)) {
        strWhy = "the configuration " + ConfigFilePath(station.strWorkDir) + " cannot be read";
        return false;
    }
    for (const std::string& strWarning : warnings)
        strLog += strWarning;
    if (pnFileCount)
        *pnFileCount = nFileCount;
    int nSlots = std::clamp(nFileCount, 0, FILE_TABLE_SLOTS);
    if (!select.empty()) {
        for (int k = 0; k < FILE_TABLE_SLOTS; ++k)
            files[k].cSelected = 0;
        for (int k : select) {
            if (k < 0 || k >= nSlots) {
                strWhy = "--select " + std::to_string(k) + ": the configuration has " +
                         (nSlots > 0 ? "slots 0 to " + std::to_string(nSlots - 1) : std::string("no slots"));
                return false;
            }
            files[k].cSelected = 1;
        }
    }
    std::string strEntryError;
    if (!CheckSelectedEntries(files, nFileCount, strEntryError)) {
        strWhy = CliText(strEntryError);
        while (!strWhy.empty() && (strWhy.back() == '\n' || strWhy.back() == '\r'))
            strWhy.pop_back();
        if (strWhy.rfind("->", 0) == 0)
            strWhy.erase(0, 2);
        return false;
    }
    request.images = SelectedImages(files, nFileCount, ImageFolderPath(station.strWorkDir));
    return true;
}

bool CheckImageSums(const CommonOptions& station, const JobRequest& request, std::string& strWhy, std::string& strLog)
{
    ImageSumsReport report = VerifyImageSums(ImageSumsPath(station.strWorkDir), request.images);
    if (!report.bOk) {
        strWhy = report.strError;
        return false;
    }
    if (report.bPresent)
        strLog += "->SHA256SUMS: " + std::to_string(report.checks.size()) + " image(s) match.\r\n";
    return true;
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
