#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <regex>
#include <sstream>
#include <string>

#include "job/job.h"
#include "job/job_log_file.h"
#include "support/job_recorder.h"
#include "support/temp_dir.h"
#include "support/udp_responder.h"

namespace {

constexpr int64_t FIXED_NOW_MS = 1700000000123;  // the wall clock of these tests

// "YYYY-MM-DD/HHMMSS" of the fixed time, in local time as the operator reads it.
std::string LocalName(const char* szFormat)
{
    std::time_t t = FIXED_NOW_MS / 1000;
    std::tm parts {};
    localtime_r(&t, &parts);
    char szText[32];
    std::strftime(szText, sizeof szText, szFormat, &parts);
    return szText;
}

// A transfer-only job of one file through the log file to a recorder; the board ignores the first
// frame, so one resend shows up as a detail line.
class JobLogFileTest : public ::testing::Test {
protected:
    std::optional<JobResult> RunJob(const std::string& strRootDir)
    {
        CUdpResponder board([](const CUdpResponder::Datagram& d, int nIndex, const CUdpResponder::SendFn& send) {
            if (nIndex > 0)
                send(0, CUdpResponder::ReplyTo(d.data));
        });
        CJobLogFile logFile(m_Recorder, strRootDir, [] { return FIXED_NOW_MS; });
        CJob job(logFile, {});
        JobRequest request;
        request.bBringUp = false;
        request.identity = {"^587675010202^587675010203", "12/34 56", "5A3C0001"};
        request.port = {9, "/dev/pts/77"};
        request.images = {{0, 1, "boot.bin", m_Dir.Write("images/boot.bin", std::string(1500, 'b')), -1, -1}};
        request.transfer.strBoardIp = "127.0.0.1";
        request.transfer.nBoardPort = board.Port();
        request.transfer.nLocalPort = 0;
        request.transfer.nSettleMs = 0;
        request.transfer.nReplyTimeoutMs = 200;
        std::string strWhy;
        EXPECT_TRUE(job.Start(request, strWhy)) << strWhy;
        std::optional<JobResult> result = m_Recorder.Wait();
        m_strPath = logFile.Path();
        return result;
    }

    int Warnings() const
    {
        std::string strLog = m_Recorder.Log();
        int n = 0;
        for (size_t nAt = strLog.find("->The log file"); nAt != std::string::npos; nAt = strLog.find("->The log file", nAt + 1))
            ++n;
        return n;
    }

    CTempDir m_Dir;
    CJobRecorder m_Recorder;
    std::string m_strPath;
};

}  // namespace

TEST_F(JobLogFileTest, NamedByDayTimePortAndFactoryWithAStampOnEveryLine)
{
    std::optional<JobResult> result = RunJob(m_Dir.Path() + "/logs");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->verdict, JobVerdict::Installed) << m_Recorder.Log();
    const std::string strRelative = "logs/" + LocalName("%Y-%m-%d/%H%M%S") + "_COM9_12_34_56.log";
    EXPECT_EQ(m_strPath, m_Dir.Path() + "/" + strRelative);
    ASSERT_TRUE(m_Dir.Exists(strRelative));

    const std::regex line(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.123[+-]\d\d:\d\d \[(job|log|detail|stage|result)\] .*)");
    const std::string strText = m_Dir.Read(strRelative);
    std::istringstream file(strText);
    for (std::string strLine; std::getline(file, strLine);)
        EXPECT_TRUE(std::regex_match(strLine, line)) << strLine;
    EXPECT_NE(strText.find("[job] COM9 (/dev/pts/77), mac ^587675010202^587675010203, factory 12/34 56"), std::string::npos);
    EXPECT_NE(strText.find("[log] boot.bin:     下载帧:2;下载字节:1500  -------下载完成!\n"), std::string::npos);
    EXPECT_NE(strText.find("[detail] ->No reply within 200 ms; sent again (try 2 of 5)."), std::string::npos);
    EXPECT_NE(strText.find("[result] installed (transfer)\n"), std::string::npos);
    EXPECT_EQ(Warnings(), 0);
    EXPECT_NE(m_Recorder.Log().find("系统安装成功!\r\n"), std::string::npos);  // every line also reached the front end
}

// An unwritable folder or a full disk costs one warning line in the operator's log, not the job.
TEST_F(JobLogFileTest, UnwritableFolderOrFullDiskIsOneWarningAndTheJobGoesOn)
{
    m_Dir.Write("not-a-folder", "x");
    std::optional<JobResult> result = RunJob(m_Dir.Path() + "/not-a-folder");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->verdict, JobVerdict::Installed);
    EXPECT_EQ(Warnings(), 1) << m_Recorder.Log();
    EXPECT_NE(m_Recorder.Log().find("->The log file " + m_strPath + " cannot be opened ("), std::string::npos);

    // The day's folder holds the job's file name as a link to a device that is always full.
    const std::string strFolder = m_Dir.MakeDir("full/" + LocalName("%Y-%m-%d"));
    ASSERT_EQ(symlink("/dev/full", (strFolder + "/" + LocalName("%H%M%S") + "_COM9_12_34_56.log").c_str()), 0);
    result = RunJob(m_Dir.Path() + "/full");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->verdict, JobVerdict::Installed);
    EXPECT_EQ(Warnings(), 2) << m_Recorder.Log();
    EXPECT_NE(m_Recorder.Log().find("->The log file " + m_strPath + " cannot be written (No space left on device)"),
              std::string::npos);
    EXPECT_NE(m_Recorder.Log().find("系统安装成功!\r\n"), std::string::npos);  // the operator still sees the job
}
