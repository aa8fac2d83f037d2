#include <gtest/gtest.h>

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
