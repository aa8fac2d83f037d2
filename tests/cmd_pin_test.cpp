#include <gtest/gtest.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <sstream>
#include <string>

#include "cli/cmd_pin.h"
#include "station/engineer_pin.h"
#include "station/station_config.h"
#include "support/temp_dir.h"

namespace {

int PinSetFrom(const std::string& strWorkDir, const std::string& strInput, std::string& strErr)
{
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    EXPECT_EQ(::write(fds[1], strInput.data(), strInput.size()), static_cast<ssize_t>(strInput.size()));
    ::close(fds[1]);
    std::ostringstream err;
    const int nRc = RunPinSet(strWorkDir, fds[0], err);
    ::close(fds[0]);
    strErr = err.str();
    return nRc;
}

}  // namespace

TEST(PinCommandTest, WritesTheDigestFromStandardInputKeepingTheFile)
{
    CTempDir dir;
    dir.Write("tovar.cfg", "[net]\nsettle-ms=10\n");
    std::string strErr;
    ASSERT_EQ(PinSetFrom(dir.Path(), "pin-2468\n", strErr), 0) << strErr;
    StationSettings settings;
    settings.strWorkDir = dir.Path();
    ASSERT_TRUE(ApplyStationConfig(settings, {}, strErr)) << strErr;
    EXPECT_EQ(settings.nSettleMs, 10);
    EXPECT_TRUE(PinMatches(settings.strEngineerPin, "pin-2468"));
    EXPECT_EQ(dir.Read("tovar.cfg").find("pin-2468"), std::string::npos);   // never the PIN itself
    EXPECT_EQ(PinSetFrom(dir.Path(), "", strErr), 2);
    EXPECT_EQ(PinSetFrom(dir.Path(), "12\n", strErr), 2);
    ASSERT_TRUE(ApplyStationConfig(settings, {}, strErr));
    EXPECT_TRUE(PinMatches(settings.strEngineerPin, "pin-2468"));   // refused: unchanged
}

TEST(PinCommandTest, OnATerminalTheTwoPinsMustAgreeAndTheEchoComesBack)
{
    CTempDir dir;
    const int nMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(nMaster, 0);
    ASSERT_EQ(::grantpt(nMaster), 0);
    ASSERT_EQ(::unlockpt(nMaster), 0);
    const int nSlave = ::open(::ptsname(nMaster), O_RDWR | O_NOCTTY);
    ASSERT_GE(nSlave, 0);
    std::ostringstream err;
    const std::string strDiffer = "pin-1111\npin-2222\n";
    ASSERT_EQ(::write(nMaster, strDiffer.data(), strDiffer.size()), static_cast<ssize_t>(strDiffer.size()));
    EXPECT_EQ(RunPinSet(dir.Path(), nSlave, err), 2);
    EXPECT_FALSE(dir.Exists("tovar.cfg"));
    const std::string strSame = "pin-1111\npin-1111\n";
    ASSERT_EQ(::write(nMaster, strSame.data(), strSame.size()), static_cast<ssize_t>(strSame.size()));
    EXPECT_EQ(RunPinSet(dir.Path(), nSlave, err), 0) << err.str();
    termios now {};
    ASSERT_EQ(::tcgetattr(nSlave, &now), 0);
    EXPECT_TRUE(now.c_lflag & ECHO);
    StationSettings settings;
    settings.strWorkDir = dir.Path();
    std::string strError;
    ASSERT_TRUE(ApplyStationConfig(settings, {}, strError)) << strError;
    EXPECT_TRUE(PinMatches(settings.strEngineerPin, "pin-1111"));
    ::close(nSlave);
    ::close(nMaster);
}
