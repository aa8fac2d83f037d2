#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "station/config_loader.h"
#include "station/ini_reader.h"
#include "support/temp_dir.h"

namespace {

CIniReader FromText(const std::string& strText)
{
    CIniReader ini("/nonexistent/tovar/none.cfg");
    ini.LoadText(strText.data(), strText.size());
    return ini;
}

std::string ReadText(CIniReader& ini, const char* szSection, const char* szKey)
{
    char szBuf[64];
    ini.ReadString(szSection, szKey, szBuf, sizeof(szBuf));
    return szBuf;
}

}  // namespace

TEST(IniReader, FollowsTheProfileReaderRules)
{
    CIniReader ini = FromText(
        "\xEF\xBB\xBF"
        "orphan=1\r\n"
        "  [ Startup ]  \r\n"
        "\tID\t=  7 \r\n"
        "name = \"  spaced  \"\r\n"
        "single='x'\r\n"
        "unmatched=\"abc\r\n"
        "lonequote=\"\r\n"
        "mixed=\"abc'\r\n"
        "empty=\r\n"
        ";commented=1\r\n"
        "  ; also=1\r\n"
        "semi=a;b\r\n"
        "id=8\r\n"
        "noequals\r\n"
        "[startup]\r\n"
        "late=1\r\n");
    int n = 0;
    ini.ReadInt("STARTUP", "id", n, -1);
    EXPECT_EQ(n, 7);  // first key wins
    EXPECT_EQ(ReadText(ini, "startup", "NAME"), "  spaced  ");
    EXPECT_EQ(ReadText(ini, "Startup", "single"), "x");
    EXPECT_EQ(ReadText(ini, "Startup", "unmatched"), "\"abc");
    EXPECT_EQ(ReadText(ini, "Startup", "lonequote"), "\"");
    EXPECT_EQ(ReadText(ini, "Startup", "mixed"), "\"abc'");
    EXPECT_EQ(ReadText(ini, "Startup", "semi"), "a;b");
    // Comments, a key before any section and a key of a later duplicate section are not found.
    ini.ReadInt("Startup", ";commented", n, -1);
    EXPECT_EQ(n, -1);
    ini.ReadInt("Startup", "also", n, -1);
    EXPECT_EQ(n, -1);
    ini.ReadInt("", "orphan", n, -1);
    EXPECT_EQ(n, -1);
    ini.ReadInt("Startup", "late", n, -1);
    EXPECT_EQ(n, -1);
    // Present but empty reads as empty text, so as 0; missing gives the default.
    ini.ReadInt("Startup", "empty", n, -1);
    EXPECT_EQ(n, 0);
    ini.ReadInt("Startup", "absent", n, 42);
    EXPECT_EQ(n, 42);
    ini.ReadInt("Nowhere", "id", n, INT_MIN);
    EXPECT_EQ(n, INT_MIN);
}

TEST(IniReader, AtoiRulesWithoutOverflow)
{
    EXPECT_EQ(CIniReader::ParseInt("  +12abc"), 12);
    EXPECT_EQ(CIniReader::ParseInt("-0258"), -258);
    EXPECT_EQ(CIniReader::ParseInt("abc"), 0);
    EXPECT_EQ(CIniReader::ParseInt("- 5"), 0);
    EXPECT_EQ(CIniReader::ParseInt(""), 0);
    EXPECT_EQ(CIniReader::ParseInt("2147483647"), INT_MAX);
    EXPECT_EQ(CIniReader::ParseInt("2147483648"), INT_MAX);
    EXPECT_EQ(CIniReader::ParseInt("-2147483648"), INT_MIN);
    EXPECT_EQ(CIniReader::ParseInt("-99999999999999999999999999"), INT_MIN);
}

TEST(IniReader, CutsToTheTrueBufferAndSaysSo)
{
    CIniReader ini = FromText("[s]\nlong=0123456789abcdef\nnum=1234567890123456789012345\nshort=12\n");
    char buf[8 + 4];
    std::memset(buf, '#', sizeof(buf));
    EXPECT_EQ(ini.ReadString("s", "long", buf, 8), 7);
    EXPECT_TRUE(ini.WasCut());
    EXPECT_STREQ(buf, "0123456");
    EXPECT_EQ(std::string(buf + 8, 4), "####");  // nothing past the buffer

    EXPECT_EQ(ini.ReadString("s", "long", buf, 1), 0);
    EXPECT_EQ(buf[0], '\0');
    buf[0] = '#';
    EXPECT_EQ(ini.ReadString("s", "long", buf, 0), 0);
    EXPECT_EQ(buf[0], '#');

    int n = 0;
    EXPECT_EQ(ini.ReadInt("s", "num", n, -1), 19);
    EXPECT_TRUE(ini.WasCut());
    EXPECT_EQ(n, INT_MAX);
    EXPECT_EQ(ini.ReadInt("s", "short", n, -1), 2);
    EXPECT_FALSE(ini.WasCut());
    EXPECT_EQ(n, 12);
}

TEST(IniReader, NulEndsItsLineAndSectionsListInOrder)
{
    static const char szText[] = "[Ports]\nCOM3 = /dev/ttyUSB0\ncom3=/dev/other\nCOM1=\"/dev/ttyS0\"\nbad=ab\0cd=1\nnext=2\n";
    std::string strText(szText, sizeof(szText) - 1);
    CIniReader ini = FromText(strText);
    EXPECT_EQ(ReadText(ini, "ports", "bad"), "ab");
    EXPECT_EQ(ReadText(ini, "ports", "cd"), "");
    CIniReader::KeyValues expected = {{"COM3", "/dev/ttyUSB0"}, {"COM1", "/dev/ttyS0"}, {"bad", "ab"}, {"next", "2"}};
    EXPECT_EQ(ini.ReadSection("PORTS"), expected);
    EXPECT_TRUE(ini.ReadSection("net").empty());
}

TEST(IniReader, FileMissingOrTooLarge)
{
    CTempDir dir;
    CIniReader missing(dir.Path() + "/none.cfg");
    EXPECT_FALSE(missing.IsLoaded());
    CIniReader folder(dir.MakeDir("folder.cfg"));
    EXPECT_FALSE(folder.IsLoaded());

    std::string strBig = "[a]\nfirst=1\n";
    strBig += std::string(CIniReader::MAX_FILE_BYTES - strBig.size() - 4, ';') + "\nx=1\n[a]\nlast=1\n";
    CIniReader big(dir.Write("big.cfg", strBig));
    EXPECT_TRUE(big.IsLoaded());
    EXPECT_TRUE(big.IsTruncated());
    int n = 0;
    big.ReadInt("a", "first", n, -1);
    EXPECT_EQ(n, 1);
    big.ReadInt("a", "x", n, -1);  // the line that crosses the limit is dropped
    EXPECT_EQ(n, -1);
}

class ConfigLoader : public ::testing::Test {
protected:
    void Load(const std::string* pText)
    {
        if (pText)
            m_dir.Write("KX30T/config.cfg", *pText);
        for (FileEntry& entry : m_files)
            entry = FileEntry{};
        m_files[4].nId = 99;  // slot 4 must not be touched
        m_warnings.clear();
        m_nCount = 1234;
        m_bLoaded = LoadFileTable(ConfigFilePath(m_dir.Path()), m_files, m_nCount, m_warnings);
    }
    void Load(const std::string& strText) { Load(&strText); }

    CTempDir m_dir;
    FileEntry m_files[FILE_TABLE_SLOTS];
    int m_nCount = 0;
    std::vector<std::string> m_warnings;
    bool m_bLoaded = false;
};

TEST_F(ConfigLoader, PathsBelowTheWorkingDirectory)
{
    EXPECT_EQ(ConfigFilePath("/w"), "/w/KX30T/config.cfg");
    EXPECT_EQ(ImageFolderPath("/w"), "/w/KX30T/\xe7\xb3\xbb\xe7\xbb\x9f\xe5\xae\x89\xe8\xa3\x85");
}

TEST_F(ConfigLoader, NoFileGivesDefaultsAndSelectsFourSlots)
{
    Load(nullptr);
    EXPECT_FALSE(m_bLoaded);
    EXPECT_EQ(m_nCount, -1);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(m_files[k].nId, -1);
        EXPECT_STREQ(m_files[k].szName, "");
        EXPECT_EQ(m_files[k].nTimeout, -1);
        EXPECT_EQ(m_files[k].cSelected, 1);
    }
    EXPECT_EQ(m_files[4].nId, 99);
    EXPECT_EQ(m_files[4].cSelected, 0);
    EXPECT_TRUE(m_warnings.empty());
}

TEST_F(ConfigLoader, FullFileWithCaseAndQuirks)
{
    Load("[count]\r\ncount=4\r\n"
         "[Startup]\r\nid=258\r\nNAME=boot.bin\r\ntimeout=30\r\n"
         "[Download]\r\nid=abc\r\nname=\"kernel image\"\r\n"
         "[UserProc]\r\nid=3\r\ntimeout=\r\n"
         "[INFO]\r\nId=-4\r\nName=info.txt\r\nTIMEOUT=9\r\n");
    EXPECT_TRUE(m_bLoaded);
    EXPECT_EQ(m_nCount, 4);
    EXPECT_EQ(m_files[0].nId, 258);
    EXPECT_STREQ(m_files[0].szName, "boot.bin");
    EXPECT_EQ(m_files[0].nTimeout, 30);
    EXPECT_EQ(m_files[1].nId, 0);  // letters read as 0
    EXPECT_STREQ(m_files[1].szName, "kernel image");
    EXPECT_EQ(m_files[1].nTimeout, -1);
    EXPECT_STREQ(m_files[2].szName, "");  // no name key
    EXPECT_EQ(m_files[2].nTimeout, 0);    // present but empty
    EXPECT_EQ(m_files[3].nId, -4);
    EXPECT_STREQ(m_files[3].szName, "info.txt");
    EXPECT_EQ(m_files[3].nTimeout, 9);
    EXPECT_TRUE(m_warnings.empty());
}

TEST_F(ConfigLoader, CountsTwoSevenAndMissing)
{
    Load("[COUNT]\ncount=2\n[Startup]\nname=a\n");
    EXPECT_EQ(m_nCount, 2);
    Load("[COUNT]\ncount = 7\n");
    EXPECT_EQ(m_nCount, 5);
    ASSERT_EQ(m_warnings.size(), 1u);
    EXPECT_EQ(m_warnings[0], "->config.cfg: [COUNT] count 7 limited to 5.\r\n");
    Load("[Startup]\nid=1\n");
    EXPECT_EQ(m_nCount, -1);
    EXPECT_TRUE(m_warnings.empty());
}

TEST_F(ConfigLoader, LongValuesAreCutAndReported)
{
    std::string strName(60, 'n');
    Load("[COUNT]\ncount=1234567890123456789012345\n[Download]\nname=" + strName +
         "\nid=1234567890123456789012345\n");
    EXPECT_EQ(std::string(m_files[1].szName), strName.substr(0, 51));
    EXPECT_EQ(m_files[1].nId, INT_MAX);
    EXPECT_EQ(m_nCount, 5);
    std::vector<std::string> expected = {
        "->config.cfg: [COUNT] count cut to 19 characters.\r\n",
        "->config.cfg: [COUNT] count 2147483647 limited to 5.\r\n",
        "->config.cfg: [Download] id cut to 19 characters.\r\n",
        "->config.cfg: [Download] name cut to 51 bytes.\r\n",
    };
    EXPECT_EQ(m_warnings, expected);
}
