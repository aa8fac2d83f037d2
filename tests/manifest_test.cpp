#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "console/config_loader.h"
#include "console/gbk_text.h"
#include "console/manifest.h"
#include "support/temp_dir.h"

namespace {

const std::string MAC = "^587675010202^587675010203";

// The expected 576 manifest bytes, built field by field.
class CExpected {
public:
    CExpected() : m_strBytes(MANIFEST_BYTES, '\0') {}
    void Put32(int nRecord, size_t nOffset, uint32_t dwValue)
    {
        for (int i = 0; i < 4; ++i)
            m_strBytes[nRecord * 144 + nOffset + i] = static_cast<char>(dwValue >> (8 * i));
    }
    void PutText(int nRecord, size_t nOffset, const std::string& strText)
    {
        m_strBytes.replace(nRecord * 144 + nOffset, strText.size(), strText);
    }
    const std::string& Bytes() const { return m_strBytes; }

private:
    std::string m_strBytes;
};

class Manifest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetManifestForTest();
        m_strFolder = m_dir.MakeDir("KX30T/images");
        SetEntry(0, 258, "boot.bin");
        SetEntry(1, -1, "kernel.bin");
        SetEntry(2, 7, "empty.bin");
        m_dir.Write("KX30T/images/boot.bin", std::string(300, 'b'));
        m_dir.Write("KX30T/images/kernel.bin", std::string(70000, 'k'));
        m_dir.Write("KX30T/images/empty.bin", "");
    }
    void SetEntry(int k, int nId, const char* szName)
    {
        m_files[k].nId = nId;
        std::strncpy(m_files[k].szName, szName, sizeof(m_files[k].szName) - 1);
    }
    bool Press(const std::string& strFactory, const std::string& strReg, const std::string& strMac = MAC)
    {
        m_strLog.clear();
        return WriteManifest(m_strFolder, strFactory, strReg, strMac, m_files,
                             [this](const std::string& strLine) { m_strLog += strLine; });
    }
    // The records of the three files as set up, for the given sizes.
    CExpected FileRecords(uint32_t dwBoot = 300, uint32_t dwKernel = 70000, uint32_t dwEmpty = 0)
    {
        CExpected expected;
        expected.Put32(1, 0, 258);
        expected.PutText(1, 4, "boot.bin");
        expected.Put32(1, 132, dwBoot);
        expected.Put32(2, 0, 0xFFFFFFFF);
        expected.PutText(2, 4, "kernel.bin");
        expected.Put32(2, 132, dwKernel);
        expected.Put32(3, 0, 7);
        expected.PutText(3, 4, "empty.bin");
        expected.Put32(3, 132, dwEmpty);
        return expected;
    }
    std::string Ins() const { return m_dir.Read("KX30T/images/ins.txt"); }

    CTempDir m_dir;
    std::string m_strFolder;
    FileEntry m_files[FILE_TABLE_SLOTS];
    std::string m_strLog;
};

}  // namespace

TEST_F(Manifest, NoInsTxtIsNotCreated)
{
    EXPECT_FALSE(Press("12345678", "ABCDEF01"));
    EXPECT_EQ(m_strLog, "->Failed to open ins.txt file.\r\n");
    EXPECT_FALSE(std::filesystem::exists(m_strFolder + "/ins.txt"));
}

TEST_F(Manifest, OverwritesTheStartOfAnExistingFile)
{
    std::string strOld(1000, '\0');
    for (size_t i = 0; i < strOld.size(); ++i)
        strOld[i] = static_cast<char>(i * 7 + 1);
    m_dir.Write("KX30T/images/ins.txt", strOld);
    EXPECT_TRUE(Press("1234", "AB"));
    EXPECT_EQ(m_strLog, "->Write ins.txt file successed.\r\n");
    CExpected expected = FileRecords();
    expected.PutText(0, 4, "1234");
    expected.PutText(0, 12, "AB");
    expected.PutText(0, 20, MAC);
    EXPECT_EQ(Ins(), expected.Bytes() + strOld.substr(576));
}

TEST_F(Manifest, EmptyFileGrowsTo576AndEqualPressesGiveEqualFiles)
{
    m_dir.Write("KX30T/images/ins.txt", "");
    EXPECT_TRUE(Press("12345678", "9ABCDEF0"));
    // 8-byte texts: no zero between factory number, registration number and MAC text.
    CExpected expected = FileRecords();
    expected.PutText(0, 4, "123456789ABCDEF0" + MAC);
    std::string strFirst = Ins();
    EXPECT_EQ(strFirst, expected.Bytes());
    EXPECT_TRUE(Press("12345678", "9ABCDEF0"));
    EXPECT_EQ(Ins(), strFirst);
}

TEST_F(Manifest, ShorterTextKeepsTheTailOfAnEarlierPress)
{
    m_dir.Write("KX30T/images/ins.txt", "");
    Press("12345678", "ABCDEF01");
    Press("123", "X");
    CExpected expected = FileRecords();
    expected.PutText(0, 4, std::string("123\0" "5678" "X\0" "CDEF01", 16) + MAC);
    EXPECT_EQ(Ins(), expected.Bytes());
}

TEST_F(Manifest, AFileThatCannotBeOpenedForWritingHasNoSize)
{
    m_dir.Write("KX30T/images/ins.txt", "");
    std::filesystem::remove(m_strFolder + "/kernel.bin");
    m_dir.MakeDir("KX30T/images/kernel.bin");  // a folder: open for writing fails even for root
    SetEntry(2, 7, "");                        // no name: the image folder itself
    EXPECT_TRUE(Press("1", "2"));
    EXPECT_EQ(m_strLog, "->Open bin err.\r\n->Open bin err.\r\n->Write ins.txt file successed.\r\n");
    CExpected expected = FileRecords(300, 0xFFFFFFFF, 0xFFFFFFFF);
    expected.PutText(3, 4, std::string(9, '\0'));
    expected.PutText(0, 4, std::string("1\0\0\0\0\0\0\0" "2\0\0\0\0\0\0\0", 16) + MAC);
    EXPECT_EQ(Ins(), expected.Bytes());
}

TEST_F(Manifest, ReadOnlyImageFile)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root opens read-only files for writing";
    m_dir.Write("KX30T/images/ins.txt", "");
    ASSERT_EQ(chmod((m_strFolder + "/boot.bin").c_str(), 0444), 0);
    Press("1", "2");
    EXPECT_EQ(m_strLog, "->Open bin err.\r\n->Write ins.txt file successed.\r\n");
    EXPECT_EQ(Ins().substr(144 + 132, 4), std::string(4, '\xff'));
}

TEST_F(Manifest, OverlongTextsNeverLeaveTheirFields)
{
    m_dir.Write("KX30T/images/ins.txt", "");
    Press("ABCDEFGHIJKL", "abcdefghijkl", MAC + "trailing");
    CExpected expected = FileRecords();
    expected.PutText(0, 4, "ABCDEFGHabcdefgh" + MAC);
    EXPECT_EQ(Ins(), expected.Bytes());
}

TEST(ManifestFields, RefusesMoreThanEightGbkBytes)
{
    std::string strLog = "old";
    EXPECT_TRUE(CheckManifestFields("12345678", "ABCDEF01", strLog));
    EXPECT_EQ(strLog, "");
    std::string strGbk4, strGbk5;
    ASSERT_TRUE(Utf8ToGbk("出厂编号", strGbk4));  // 4 characters, 8 bytes
    ASSERT_TRUE(Utf8ToGbk("出厂编号1", strGbk5));
    EXPECT_TRUE(CheckManifestFields(strGbk4, "", strLog));
    EXPECT_FALSE(CheckManifestFields(strGbk5, "123456789", strLog));
    EXPECT_EQ(strLog, "->出厂编号超过8字节，请重新输入!\r\n->注册编号超过8字节，请重新输入!\r\n");
}
