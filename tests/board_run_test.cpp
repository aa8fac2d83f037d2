#include <gtest/gtest.h>

#include "line/board_run.h"
#include "line/record_options.h"
#include "support/temp_dir.h"

// A folder that is no station gets no record file: the command names the folder and --workdir.
TEST(BoardRun, AFolderThatIsNoStationIsRefusedWithoutARecordFile)
{
    CTempDir dir;
    StationSettings station;
    station.strWorkDir = dir.Path();
    CStationRecord record;
    std::string strWhy;
    EXPECT_FALSE(OpenStationRecord(station, record, strWhy));
    EXPECT_NE(strWhy.find(dir.Path()), std::string::npos) << strWhy;
    EXPECT_NE(strWhy.find("--workdir"), std::string::npos) << strWhy;
    EXPECT_FALSE(dir.Exists("tovar.db"));
}

namespace {

// Keeps what a board run reports.
class CRunRecorder : public IBoardRunObserver {
public:
    void OnJobLog(const std::string& strText) override { m_strLog += strText; }
    void OnJobFinished(const JobResult& result) override { (void)result; }
    std::string m_strLog;
};

}  // namespace

// A transfer alone never sends an ins.txt it did not write for this board.
TEST(BoardRun, ATransferSendsIns_txtOnlyWithThisBoardsIdentity)
{
    CTempDir dir;
    dir.Write("KX30T/config.cfg", "[COUNT]\ncount=2\n[Startup]\nid=1\nname=boot.bin\n[Download]\nid=2\nname=ins.txt\n");
    dir.Write("KX30T/系统安装/boot.bin", "12345");
    dir.Write("KX30T/系统安装/ins.txt", "the previous board's manifest");
    CRunRecorder observer;
    CBoardRun run(observer, nullptr, {}, dir.Path() + "/logs");
    BoardRunRequest request;
    request.station.strWorkDir = dir.Path();
    request.bBringUp = false;
    JobResult refused;
    EXPECT_FALSE(run.Start(request, refused));
    EXPECT_EQ(refused.verdict, JobVerdict::Refused);
    EXPECT_NE(refused.strReason.find("ins.txt"), std::string::npos) << refused.strReason;
    EXPECT_FALSE(run.Running());
    EXPECT_EQ(dir.Read("KX30T/系统安装/ins.txt"), "the previous board's manifest");
}
