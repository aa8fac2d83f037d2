#include <gtest/gtest.h>

#include <sstream>

#include "support/fake_clock.h"
#include "ui/gang_console.h"

TEST(GangConsole, LinesModeGivesEachJobOneLineWithStationSlotIdentityVerdictStageAndReason)
{
    CFakeClock clock;
    std::ostringstream out;
    CGangConsole console(out, nullptr, clock, CGangConsole::Mode::Lines, false, {{2, "COM3"}, {3, "COM4"}});
    JobResult failed;
    failed.verdict = JobVerdict::Failed;
    failed.stage = JobStage::Transfer;
    failed.strReason = "no reply to frame 7\r\nafter 5 tries";
    failed.identity = {"^587675010506^587675010507", "20260103", "5A3C0203"};
    failed.strStation = "line-pc-1";
    JobResult installed = failed;
    installed.verdict = JobVerdict::Installed;
    installed.strReason.clear();
    console.OnSlotResult(3, failed);
    console.OnSlotResult(2, installed);
    EXPECT_EQ(out.str(),
              "[slot3] failed 20260103 (transfer): no reply to frame 7  after 5 tries | station line-pc-1, "
              "mac ^587675010506^587675010507, reg 5A3C0203\n"
              "[slot2] installed 20260103 (transfer) | station line-pc-1, mac ^587675010506^587675010507, "
              "reg 5A3C0203\n");
}
