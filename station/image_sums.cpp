#include "station/image_sums.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <fstream>
#include <map>
#include <sstream>

#include "station/config_loader.h"
#include "net/image_file.h"
#include "net/sha256.h"

namespace {

constexpr size_t kDigestChars = 64;
constexpr off_t kMaxSumsBytes = 1024 * 1024;

std::string WithoutDotSlash(std::string strName)
{
    while (strName.rfind("./", 0) == 0)
        strName.erase(0, 2);
    return strName;
}

bool Unescape(const std::string& strEscaped, std::string& strName)
{
    strName.clear();
    for (size_t i = 0; i < strEscaped.size(); ++i) {
        if (strEscaped[i] != '\\') {
            strName += strEscaped[i];
            continue;
        }
        if (++i == strEscaped.size())
            return false;
        if (strEscaped[i] == '\\')
            strName += '\\';
        else if (strEscaped[i] == 'n')
            strName += '\n';
        else
            return false;
    }
    return true;
}

// One line without its line end; false when it is not sha256sum's format.
bool ParseLine(std::string strLine, ImageSum& sum)
{
    bool bEscaped = !strLine.empty() && strLine[0] == '\\';
    if (bEscaped)
        strLine.erase(0, 1);
    if (strLine.size() < kDigestChars + 3 || strLine[kDigestChars] != ' ' ||
        (strLine[kDigestChars + 1] != ' ' && strLine[kDigestChars + 1] != '*'))
        return false;
    sum.strSha256 = strLine.substr(0, kDigestChars);
    for (char& c : sum.strSha256) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::string strName = strLine.substr(kDigestChars + 2);
    if (bEscaped && !Unescape(std::string(strName), strName))
        return false;
    sum.strName = WithoutDotSlash(strName);
    return !sum.strName.empty();
}

}  // namespace

std::string ImageSumsPath(const std::string& strWorkDir) { return ImageFolderPath(strWorkDir) + "/SHA256SUMS"; }

bool ParseImageSums(const std::string& strText, std::vector<ImageSum>& sums, std::string& strError)
{
    sums.clear();
    std::istringstream in(strText);
    std::string strLine;
    std::map<std::string, int> lineOfName;
    for (int nLine = 1; std::getline(in, strLine); ++nLine) {
        if (!strLine.empty() && strLine.back() == '\r')
            strLine.pop_back();
        if (strLine.empty() || strLine[0] == '#')
            continue;
        ImageSum sum;
        if (!ParseLine(strLine, sum)) {
            strError = "line " + std::to_string(nLine) + ": not \"<sha256>  <name>\"";
            return false;
        }
        auto [it, bNew] = lineOfName.emplace(sum.strName, nLine);
        if (!bNew) {
            strError = "line " + std::to_string(nLine) + ": " + sum.strName + " is listed again (first on line " +
                       std::to_string(it->second) + ")";
            return false;
        }
        sums.push_back(sum);
    }
    return true;
}

ImageSumsReport VerifyImageSums(const std::string& strSumsPath, const std::vector<TransferImage>& images)
{
    ImageSumsReport report;
    struct stat info {};
    if (stat(strSumsPath.c_str(), &info) != 0 && errno == ENOENT)
        return report;
    report.bPresent = true;
    std::vector<ImageSum> sums;
    std::string strError;
    // Only a regular file is opened, so a FIFO in its place cannot hold the job up.
    if (!S_ISREG(info.st_mode)) {
        strError = "not a regular file";
    } else if (info.st_size > kMaxSumsBytes) {
        strError = "larger than " + std::to_string(kMaxSumsBytes) + " bytes";
    } else {
        std::ifstream in(strSumsPath, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (!in)
            strError = "cannot be read";
        else
            ParseImageSums(text.str(), sums, strError);
    }
    if (!strError.empty()) {
        report.bOk = false;
        report.strError = strSumsPath + ": " + strError;
        return report;
    }
    std::map<std::string, std::string> digestOf;
    for (const ImageSum& sum : sums)
        digestOf[sum.strName] = sum.strSha256;
    CImageFile file;
    for (const TransferImage& image : images) {
        ImageSumCheck check{image.strName, false, {}};
        auto it = digestOf.find(WithoutDotSlash(image.strName));
        if (it == digestOf.end())
            check.strDetail = "not listed";
        else if (file.Load(image.strPath) != CImageFile::Status::Ok)
            check.strDetail = "cannot be read (" + file.Error() + ")";
        else if (std::string strDigest = Sha256Hex(file.Data(), file.Size()); strDigest != it->second)
            check.strDetail = "does not match (sha256 " + strDigest + ", listed " + it->second + ")";
        else
            check = {image.strName, true, "matches"};
        if (!check.bOk && report.bOk) {
            report.bOk = false;
            report.strError = strSumsPath + ": " + image.strName + " " + check.strDetail;
        }
        report.checks.push_back(check);
    }
    return report;
}
