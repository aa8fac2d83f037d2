#include <gtest/gtest.h>

#include <string>

#include "station/engineer_pin.h"
#include "station/ini_writer.h"
#include "station/station_config.h"
#include "support/temp_dir.h"
#include "ui/engineer_lock.h"

TEST(EngineerPinTest, SaltedDigestMatchesOnlyItsPin)
{
    // SHA-256 over the salt bytes 0x00 0x01 followed by "1234".
    const std::string strHash = PinHashText("1234", "0001");
    EXPECT_EQ(strHash.substr(0, 12), "sha256:0001:");
    EXPECT_TRUE(IsPinHashText(strHash));
    EXPECT_TRUE(PinMatches(strHash, "1234"));
    EXPECT_FALSE(PinMatches(strHash, "1235"));
    EXPECT_FALSE(PinMatches(strHash, ""));
    EXPECT_NE(PinHashText("1234", "0002"), strHash);   // the salt counts
    const std::string strFresh = NewPinHashText("1234");
    EXPECT_TRUE(PinMatches(strFresh, "1234"));
    EXPECT_NE(strFresh, NewPinHashText("1234"));
    EXPECT_FALSE(IsPinHashText("sha256:zz:" + std::string(64, 'a')));
    EXPECT_FALSE(IsPinHashText("1234"));
}

TEST(EngineerPinTest, LockIsOpenWithoutPinAndOpensOnlyForTheRightOne)
{
    EXPECT_TRUE(CEngineerLock("").Open());
    EXPECT_TRUE(CEngineerLock("").Unlock("anything"));
    const CEngineerLock lock(PinHashText("2468", "ab"));
    EXPECT_FALSE(lock.Open());
    EXPECT_TRUE(lock.Unlock("2468"));
    EXPECT_FALSE(lock.Unlock("2469"));
}

TEST(EngineerPinTest, SetIniValueKeepsTheRestOfTheFile)
{
    CTempDir dir;
    const std::string strPath = dir.Write("tovar.cfg", "; station\r\n[net]\r\nsettle-ms=5\r\n[LINE]\r\nshifts=08:00\r\n\r\n[ports]\r\nCOM3=/dev/ttyUSB0\r\n");
    std::string strError;
    ASSERT_TRUE(SetIniValue(strPath, "line", "engineer-pin", "sha256:ab:cd", strError)) << strError;
    EXPECT_EQ(dir.Read("tovar.cfg"), "; station\r\n[net]\r\nsettle-ms=5\r\n[LINE]\r\nshifts=08:00\r\nengineer-pin=sha256:ab:cd\r\n\r\n[ports]\r\nCOM3=/dev/ttyUSB0\r\n");
    ASSERT_TRUE(SetIniValue(strPath, "line", "Engineer-PIN", "sha256:ef:01", strError));   // replaced, not added
    EXPECT_EQ(dir.Read("tovar.cfg"), "; station\r\n[net]\r\nsettle-ms=5\r\n[LINE]\r\nshifts=08:00\r\nEngineer-PIN=sha256:ef:01\r\n\r\n[ports]\r\nCOM3=/dev/ttyUSB0\r\n");
    const std::string strOther = dir.Write("other.cfg", "[net]\nsettle-ms=5");
    ASSERT_TRUE(SetIniValue(strOther, "line", "engineer-pin", "x", strError));
    EXPECT_EQ(dir.Read("other.cfg"), "[net]\nsettle-ms=5\n[line]\nengineer-pin=x\n");
}

TEST(EngineerPinTest, StationConfigTakesTheDigestAndRefusesAPlainPin)
{
    CTempDir dir;
    const std::string strHash = PinHashText("2468", "ab");
    dir.Write("tovar.cfg", "[line]\nengineer-pin=" + strHash + "\n");
    StationSettings settings;
    settings.strWorkDir = dir.Path();
    std::string strError;
    ASSERT_TRUE(ApplyStationConfig(settings, {}, strError)) << strError;
    EXPECT_EQ(settings.strEngineerPin, strHash);
    dir.Write("tovar.cfg", "[line]\nengineer-pin=2468\n");
    EXPECT_FALSE(ApplyStationConfig(settings, {}, strError));
    EXPECT_NE(strError.find("tovar pin set"), std::string::npos);
}
