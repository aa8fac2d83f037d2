#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "base/local_time.h"

namespace {

// Runs a test in a time zone of eight hours east of UTC, without daylight saving, and puts TZ back.
class LocalTimeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* szOld = std::getenv("TZ");
        m_bHadTz = szOld != nullptr;
        m_strOldTz = szOld ? szOld : "";
        setenv("TZ", "Asia/Shanghai", 1);
        tzset();
    }
    void TearDown() override
    {
        if (m_bHadTz)
            setenv("TZ", m_strOldTz.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool m_bHadTz = false;
    std::string m_strOldTz;
};

constexpr int64_t kDec9Utc = 1796774400000;  // 2026-12-09T00:00:00Z

}  // namespace

TEST_F(LocalTimeTest, ReadsDatesAndTimesAsLocalTime)
{
    LocalTimeRead time;
    ASSERT_TRUE(ReadLocalTime("2026-12-09", time));
    EXPECT_TRUE(time.bDateOnly);
    EXPECT_EQ(time.nMs, kDec9Utc - 8 * 3600000);
    EXPECT_EQ(time.nNextDayMs, kDec9Utc + 16 * 3600000);
    ASSERT_TRUE(ReadLocalTime("2026-12-09 18:01", time));
    EXPECT_FALSE(time.bDateOnly);
    EXPECT_EQ(time.nMs, kDec9Utc + (10 * 3600 + 60) * 1000);
    ASSERT_TRUE(ReadLocalTime("2026-12-09T18:01:02", time));
    EXPECT_EQ(time.nMs, kDec9Utc + (10 * 3600 + 62) * 1000);
    EXPECT_EQ(time.nNextDayMs, time.nMs);
    ASSERT_TRUE(ReadLocalTime("2028-02-29", time));  // a leap day
    ASSERT_TRUE(ReadLocalTime("2026-12-31", time));
    EXPECT_EQ(time.nNextDayMs - time.nMs, 24 * 3600000);  // into the next year
}

TEST_F(LocalTimeTest, RefusesWhatIsNotADateOrTime)
{
    LocalTimeRead time;
    for (const char* szText :
         {"2026-13-45", "2026-00-10", "2026-02-29", "2026-04-31", "2026-12-00", "2026-12-09x", "2026-12-09 ",
          "2026-12-09 24:00", "2026-12-09 18:60", "2026-12-09 18:01:60", "2026-12-09 18:1", "2026-12-09 18:01:02Z",
          "2026-12-9", "26-12-09", "2026/12/09", " 2026-12-09", "2026-12-09_18:01", "2026-+2-09", "", "yesterday"})
        EXPECT_FALSE(ReadLocalTime(szText, time)) << szText;
}

TEST_F(LocalTimeTest, WritesLocalTimeWithItsOffset)
{
    EXPECT_EQ(LocalTimeText(kDec9Utc + (10 * 3600 + 62) * 1000 + 999), "2026-12-09 18:01:02 +08:00");
    setenv("TZ", "America/St_Johns", 1);  // three and a half hours west of UTC in December
    tzset();
    EXPECT_EQ(LocalTimeText(kDec9Utc), "2026-12-08 20:30:00 -03:30");
}
