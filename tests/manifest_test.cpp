#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "station/config_loader.h"
#include "base/gbk_text.h"
#include "station/manifest.h"
#include "support/temp_dir.h"

namespace {

const std::string MAC = "^587675010202^587675010203";
const std::string OTHER_TOVAR =
    "->Failed to open ins.txt file.\r\n"
    "->Another Tovar is using this working folder's ins.txt; the identity was not written.\r\n";
const std::string NOT_REGULAR =
    "->Failed to open ins.txt file.\r\n->ins.txt is not a regular file; the identity was not written.\r\n";

// Runs fn on a thread without CAP_DAC_OVERRIDE, so file modes bind even when the tests run as root.
void RunWithoutDacOverride(const std::function<void()>& fn)
{
    std::thread([&fn] {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        if (syscall(SYS_capget, &header, data) == 0) {
            data[CAP_DAC_OVERRIDE / 32].effective &= ~(1u << (CAP_DAC_OVERRIDE % 32));
            syscall(SYS_capset, &header, data);  // this thread only
        }
        fn();
    }).join();
}

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
        return m_Manifest.Write(m_strFolder, strFactory, strReg, strMac, m_files,
                                [this](const std::string& strLine) { m_strLog += strLine; }, m_Lock);
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
    CManifest m_Manifest;
    CManifestLock m_Lock;
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

TEST_F(Manifest, AnImageThatIsNotARegularFileHasNoSize)
{
    m_dir.Write("KX30T/images/ins.txt", "");
    std::filesystem::remove(m_strFolder + "/kernel.bin");
    m_dir.MakeDir("KX30T/images/kernel.bin");  // a folder opens read-only, but is no image
    SetEntry(2, 7, "");                        // no name: the image folder itself
    EXPECT_TRUE(Press("1", "2"));
    EXPECT_EQ(m_strLog, "->Open bin err.\r\n->Open bin err.\r\n->Write ins.txt file successed.\r\n");
    CExpected expected = FileRecords(300, 0xFFFFFFFF, 0xFFFFFFFF);
    expected.PutText(3, 4, std::string(9, '\0'));
    expected.PutText(0, 4, std::string("1\0\0\0\0\0\0\0" "2\0\0\0\0\0\0\0", 16) + MAC);
    EXPECT_EQ(Ins(), expected.Bytes());
}

TEST_F(Manifest, ReadOnlyImageFolderIsMeasured)
{
    m_dir.Write("KX30T/images/ins.txt", "");
    for (const char* szName : {"boot.bin", "kernel.bin", "empty.bin"})
        ASSERT_EQ(chmod((m_strFolder + "/" + szName).c_str(), 0444), 0);
    ASSERT_EQ(chmod(m_strFolder.c_str(), 0555), 0);
    bool bOk = false;
    RunWithoutDacOverride([&] { bOk = Press("1", "2"); });
    chmod(m_strFolder.c_str(), 0755);
    EXPECT_TRUE(bOk);
    EXPECT_EQ(m_strLog, "->Write ins.txt file successed.\r\n");
    EXPECT_EQ(Ins().substr(144, 432), FileRecords().Bytes().substr(144, 432));
}

TEST_F(Manifest, OverlongTextsNeverLeaveTheirFields)
{
    m_dir.Write("KX30T/images/ins.txt", "");
    Press("ABCDEFGHIJKL", "abcdefghijkl", MAC + "trailing");
    CExpected expected = FileRecords();
    expected.PutText(0, 4, "ABCDEFGHabcdefgh" + MAC);
    EXPECT_EQ(Ins(), expected.Bytes());
}

TEST_F(Manifest, EachManifestKeepsItsOwnTable)
{
    m_dir.Write("KX30T/images/ins.txt", "");
    Press("12345678", "ABCDEF01");
    CManifest other;  // starts from zero, and its writes leave m_Manifest's table alone
    EXPECT_TRUE(other.Write(m_strFolder, "876", "Y", MAC, m_files, nullptr, m_Lock));
    CExpected expected = FileRecords();
    expected.PutText(0, 4, std::string("876\0\0\0\0\0" "Y\0\0\0\0\0\0\0", 16) + MAC);
    EXPECT_EQ(Ins(), expected.Bytes());
    Press("123", "X");
    expected.PutText(0, 4, std::string("123\0" "5678" "X\0" "CDEF01", 16) + MAC);
    EXPECT_EQ(Ins(), expected.Bytes());
}

TEST_F(Manifest, SymlinkedInsTxtIsRefusedAndItsTargetUntouched)
{
    std::string strTarget = m_dir.Write("elsewhere.txt", "keep me");
    ASSERT_EQ(symlink(strTarget.c_str(), (m_strFolder + "/ins.txt").c_str()), 0);
    EXPECT_FALSE(Press("1", "2"));
    EXPECT_EQ(m_strLog, "->Failed to open ins.txt file.\r\n"
                        "->ins.txt is a symbolic link, which Tovar does not follow; the identity was not written.\r\n");
    EXPECT_EQ(m_dir.Read("elsewhere.txt"), "keep me");
    EXPECT_FALSE(m_Lock.IsHeld());
}

TEST_F(Manifest, FolderInsTxtIsRefused)
{
    m_dir.MakeDir("KX30T/images/ins.txt");
    EXPECT_FALSE(Press("1", "2"));
    EXPECT_EQ(m_strLog, NOT_REGULAR);
}

TEST_F(Manifest, FifoInsTxtIsRefused)
{
    // A FIFO opens for reading and writing without waiting; only its type tells it apart.
    ASSERT_EQ(mkfifo((m_strFolder + "/ins.txt").c_str(), 0600), 0);
    EXPECT_FALSE(Press("1", "2"));
    EXPECT_EQ(m_strLog, NOT_REGULAR);
}

TEST_F(Manifest, ShortWriteIsAFailure)
{
    m_dir.Write("KX30T/images/ins.txt", "");
    rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 100;  // the write stops after 100 bytes
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool bOk = Press("1", "2");
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(bOk);
    EXPECT_EQ(m_strLog, "->Write ins.txt file failure.\r\n");
    EXPECT_EQ(Ins().size(), 100u);
    EXPECT_FALSE(m_Lock.IsHeld());
}

TEST_F(Manifest, SecondWriterIsRefusedUntilTheLockIsReleased)
{
    m_dir.Write("KX30T/images/ins.txt", "");
    ASSERT_TRUE(Press("11111111", "A"));
    CManifestLock moved = std::move(m_Lock);  // the lock travels with the object
    EXPECT_FALSE(m_Lock.IsHeld());
    ASSERT_TRUE(moved.IsHeld());
    std::string strFirst = Ins();

    CManifest other;
    CManifestLock otherLock;
    std::string strLog;
    auto log = [&strLog](const std::string& strLine) { strLog += strLine; };
    EXPECT_FALSE(other.Write(m_strFolder, "22222222", "B", MAC, m_files, log, otherLock));
    EXPECT_EQ(strLog, OTHER_TOVAR);
    EXPECT_FALSE(otherLock.IsHeld());
    EXPECT_EQ(Ins(), strFirst);

    moved.Release();
    strLog.clear();
    EXPECT_TRUE(other.Write(m_strFolder, "22222222", "B", MAC, m_files, log, otherLock));
    EXPECT_EQ(strLog, "->Write ins.txt file successed.\r\n");
    EXPECT_TRUE(otherLock.IsHeld());
    EXPECT_EQ(Ins().substr(4, 8), "22222222");
}

TEST_F(Manifest, StampsGiveSizeAndModificationTimeOfEachImage)
{
    timespec times[2] = {{1700000000, 0}, {1700000000, 123456789}};
    ASSERT_EQ(utimensat(AT_FDCWD, (m_strFolder + "/boot.bin").c_str(), times, 0), 0);
    std::filesystem::remove(m_strFolder + "/empty.bin");
    Press("1", "2");  // no ins.txt: the images are measured all the same
    const auto& stamps = m_Manifest.Stamps();
    EXPECT_EQ(stamps[0].strName, "boot.bin");
    EXPECT_TRUE(stamps[0].bMeasured);
    EXPECT_EQ(stamps[0].nSize, 300);
    EXPECT_EQ(stamps[0].nMtimeNs, 1700000000123456789LL);
    EXPECT_TRUE(stamps[1].bMeasured);
    EXPECT_EQ(stamps[1].nSize, 70000);
    EXPECT_EQ(stamps[2].strName, "empty.bin");
    EXPECT_FALSE(stamps[2].bMeasured);
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
