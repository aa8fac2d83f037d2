#include "job/job_log_file.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "base/wall_clock.h"
#include "job/job_request.h"

namespace {

std::tm LocalTime(int64_t nNowMs, int& nMs)
{
    std::time_t t = static_cast<std::time_t>(nNowMs / 1000);
    nMs = static_cast<int>(nNowMs % 1000);
    std::tm parts {};
    localtime_r(&t, &parts);
    return parts;
}

// Text fit for a file name: separators, blanks and control characters become '_'.
std::string FileNamePart(const std::string& strText, const char* szEmpty)
{
    if (strText.empty())
        return szEmpty;
    std::string strOut = strText;
    for (char& c : strOut) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || std::strchr("/\\:*?\"<>| ", c))
            c = '_';
    }
    return strOut;
}

// The board and its identity, as the file's first line.
std::string RequestLine(const JobRequest& request)
{
    const JobIdentity& id = request.identity;
    return (request.port.nPort > 0 ? "COM" + std::to_string(request.port.nPort) : std::string("no port")) + " (" +
           request.port.strPath + "), mac " + id.strMac + ", factory " + id.strFactory + ", reg " + id.strReg +
           (request.strStation.empty() ? "" : ", station " + request.strStation) +
           (request.bBringUp ? "" : ", transfer only");
}

}  // namespace

int64_t WallClockNowMs() { return WallNowMs(); }

CJobLogFile::CJobLogFile(IJobObserver& next, std::string strRootDir, WallClockFn fnNowMs)
    : m_Next(next), m_strRootDir(std::move(strRootDir)), m_fnNowMs(std::move(fnNowMs))
{
}

CJobLogFile::~CJobLogFile() { Close(); }

std::string CJobLogFile::Path() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_strPath;
}

std::string CJobLogFile::RelativePath(const JobRequest& request, int64_t nNowMs)
{
    int nMs = 0;
    std::tm parts = LocalTime(nNowMs, nMs);
    char szDay[16];
    char szTime[16];
    std::strftime(szDay, sizeof szDay, "%Y-%m-%d", &parts);
    std::strftime(szTime, sizeof szTime, "%H%M%S", &parts);
    std::string strPort = request.port.nPort > 0 ? "COM" + std::to_string(request.port.nPort) : "noport";
    return std::string(szDay) + "/" + szTime + "_" + strPort + "_" +
           FileNamePart(request.identity.strFactory, "nofactory") + ".log";
}

std::string CJobLogFile::Stamp(int64_t nNowMs)
{
    int nMs = 0;
    std::tm parts = LocalTime(nNowMs, nMs);
    char szTime[32];
    std::strftime(szTime, sizeof szTime, "%Y-%m-%dT%H:%M:%S", &parts);
    char szZone[8];
    std::strftime(szZone, sizeof szZone, "%z", &parts);  // "+0800"
    char szFull[48];
    std::snprintf(szFull, sizeof szFull, "%s.%03d%.3s:%.2s", szTime, nMs, szZone, szZone + 3);
    return szFull;
}

void CJobLogFile::OnJobStarted(const JobRequest& request)
{
    std::string strWarning;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        Close();
        m_strPendingLog.clear();
        m_strPendingDetail.clear();
        const std::filesystem::path path = std::filesystem::path(m_strRootDir) / RelativePath(request, m_fnNowMs());
        m_strPath = path.string();
        std::error_code error;
        std::filesystem::create_directories(path.parent_path(), error);
        // A second job in the same second on the same board adds to the same file.
        m_pFile = error ? nullptr : std::fopen(m_strPath.c_str(), "a");
        if (!m_pFile) {
            strWarning = Fail("cannot be opened", error ? error.value() : errno);
        } else {
            strWarning = WriteLine("job", RequestLine(request));
            for (const TransferImage& image : request.images)
                if (strWarning.empty())
                    strWarning = WriteLine("job", "image slot " + std::to_string(image.nSlot) + ", id " +
                                                      std::to_string(image.nId) + ": " + image.strPath);
            // The lines the operator saw for this board before its job started.
            std::string strPending;
            if (strWarning.empty() && !request.strEarlierLog.empty())
                strWarning = Add("log", strPending, request.strEarlierLog);
        }
    }
    if (!strWarning.empty())
        m_Next.OnJobLog(strWarning);
    m_Next.OnJobStarted(request);
}

void CJobLogFile::OnJobLog(const std::string& strText)
{
    std::string strWarning;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        strWarning = Add("log", m_strPendingLog, strText);
    }
    m_Next.OnJobLog(strText);
    if (!strWarning.empty())
        m_Next.OnJobLog(strWarning);
}

void CJobLogFile::OnJobDetail(const std::string& strText)
{
    std::string strWarning;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        strWarning = Add("detail", m_strPendingDetail, strText);
    }
    if (!strWarning.empty())
        m_Next.OnJobLog(strWarning);
    m_Next.OnJobDetail(strText);
}

void CJobLogFile::OnJobProgress(const TransferProgress& progress) { m_Next.OnJobProgress(progress); }

void CJobLogFile::OnJobStage(JobStage stage)
{
    std::string strWarning;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        strWarning = WriteLine("stage", StageName(stage));
    }
    if (!strWarning.empty())
        m_Next.OnJobLog(strWarning);
    m_Next.OnJobStage(stage);
}

void CJobLogFile::OnJobFinished(const JobResult& result)
{
    std::string strWarning;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        // Lines still open end with the job.
        strWarning = Add("log", m_strPendingLog, m_strPendingLog.empty() ? "" : "\n");
        if (strWarning.empty())
            strWarning = Add("detail", m_strPendingDetail, m_strPendingDetail.empty() ? "" : "\n");
        if (strWarning.empty())
            strWarning = WriteLine("result", std::string(VerdictName(result.verdict)) + " (" + StageName(result.stage) +
                                                 ")" + (result.strReason.empty() ? "" : ": " + result.strReason));
        if (strWarning.empty())
            strWarning = WriteLine("result", JobResultToJson(result));
        Close();
    }
    if (!strWarning.empty())
        m_Next.OnJobLog(strWarning);
    m_Next.OnJobFinished(result);
}

std::string CJobLogFile::Add(const char* szKind, std::string& strPending, const std::string& strText)
{
    std::string strWarning;
    for (char c : strText) {
        if (c == '\r')
            continue;
        if (c != '\n') {
            strPending += c;
            continue;
        }
        if (strWarning.empty())
            strWarning = WriteLine(szKind, strPending);
        strPending.clear();
    }
    return strWarning;
}

// Writes one stamped line; nothing once the file has failed.
std::string CJobLogFile::WriteLine(const char* szKind, const std::string& strLine)
{
    if (!m_pFile)
        return {};
    std::string strOut = Stamp(m_fnNowMs()) + " [" + szKind + "] " + strLine + "\n";
    errno = 0;
    if (std::fwrite(strOut.data(), 1, strOut.size(), m_pFile) != strOut.size() || std::fflush(m_pFile) != 0)
        return Fail("cannot be written", errno);
    return {};
}

// Gives the file up; the warning line for the operator.
std::string CJobLogFile::Fail(const std::string& strWhat, int nError)
{
    Close();
    return "->The log file " + m_strPath + " " + strWhat + " (" +
           (nError != 0 ? std::generic_category().message(nError) : std::string("unknown error")) + "); the job goes on without it.\r\n";
}

void CJobLogFile::Close()
{
    if (m_pFile)
        std::fclose(m_pFile);
    m_pFile = nullptr;
}
