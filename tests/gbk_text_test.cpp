#include <gtest/gtest.h>

#include "base/gbk_text.h"

TEST(GbkText, ChineseCharactersTakeTwoBytesAndRoundTrip)
{
    std::string strGbk;
    ASSERT_TRUE(Utf8ToGbk("^58767501020\xe4\xb8\xad", strGbk));  // 11 ASCII + one CJK character
    EXPECT_EQ(strGbk.size(), 14u);
    EXPECT_EQ(GbkToUtf8(strGbk), "^58767501020\xe4\xb8\xad");
    ASSERT_TRUE(Utf8ToGbk("", strGbk));
    EXPECT_TRUE(strGbk.empty());
}

TEST(GbkText, RefusesWhatGbkCannotHoldAndBrokenUtf8)
{
    std::string strGbk = "unchanged";
    EXPECT_FALSE(Utf8ToGbk("\xf0\x9f\x98\x80", strGbk));  // an emoji
    EXPECT_FALSE(Utf8ToGbk("ab\xff", strGbk));
    EXPECT_EQ(strGbk, "unchanged");
    EXPECT_EQ(GbkToUtf8(std::string("a\xff", 2)), "a?");
}
