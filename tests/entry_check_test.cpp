#include <gtest/gtest.h>

#include <cstring>

#include "station/entry_check.h"

namespace {

class EntryCheck : public ::testing::Test {
protected:
    void Set(int nSlot, int nId, const char* szName, int8_t cSelected = 1)
    {
        m_files[nSlot].nId = nId;
        std::memset(m_files[nSlot].szName, 0, sizeof(m_files[nSlot].szName));
        std::strncpy(m_files[nSlot].szName, szName, sizeof(m_files[nSlot].szName) - 1);
        m_files[nSlot].cSelected = cSelected;
    }
    bool Check(int nCount = 3) { return CheckSelectedEntries(m_files, nCount, m_strLog); }
    void SetUp() override
    {
        Set(0, 1, "boot.bin");
        Set(1, 2, "sub/kernel.bin");
        Set(2, 3, "./rootfs.img");
    }

    FileEntry m_files[FILE_TABLE_SLOTS];
    std::string m_strLog = "old";
};

}  // namespace

TEST_F(EntryCheck, AcceptsDistinctIdsAndNamesInsideTheFolder)
{
    Set(3, 1, "/etc/passwd");  // beyond the count: not looked at
    EXPECT_TRUE(Check());
    EXPECT_EQ(m_strLog, "");
}

TEST_F(EntryCheck, RefusesAnIdentifierOutside0To255)
{
    Set(1, 256, "kernel.bin");
    Set(2, -1, "rootfs.img");
    EXPECT_FALSE(Check());
    EXPECT_EQ(m_strLog, "->Image slot 1 \"kernel.bin\" (id 256): the identifier must be 0 to 255.\r\n"
                        "->Image slot 2 \"rootfs.img\" (id -1): the identifier must be 0 to 255.\r\n");
}

TEST_F(EntryCheck, RefusesIdentifiersSharingTheLow8Bits)
{
    Set(2, 257, "rootfs.img");  // 257 & 0xFF == 1, as slot 0
    EXPECT_FALSE(Check());
    EXPECT_NE(m_strLog.find("->Image slot 2 \"rootfs.img\" (id 257) and slot 0 \"boot.bin\" (id 1) have the same "
                            "low 8 bits of identifier; the board would store one over the other.\r\n"),
              std::string::npos);
    Set(2, 257, "rootfs.img", 0);  // not selected: no clash
    EXPECT_TRUE(Check());
}

TEST_F(EntryCheck, RefusesAnEmptyName)
{
    Set(1, 2, "");
    EXPECT_FALSE(Check());
    EXPECT_EQ(m_strLog, "->Image slot 1 \"\" (id 2): no file name is given.\r\n");
}

TEST_F(EntryCheck, RefusesAnAbsoluteName)
{
    Set(0, 1, "/etc/passwd");
    EXPECT_FALSE(Check());
    EXPECT_EQ(m_strLog, "->Image slot 0 \"/etc/passwd\" (id 1): the name must be a file inside the image folder.\r\n");
}

TEST_F(EntryCheck, RefusesNamesLeavingTheFolderOrNamingIt)
{
    for (const char* szName : {"..", "sub/../../x", "a/..", "..\\x", "sub\\..\\..", ".", "./"}) {
        Set(1, 2, szName);
        EXPECT_FALSE(Check()) << szName;
        EXPECT_NE(m_strLog.find("slot 1"), std::string::npos) << szName;
    }
    Set(1, 2, "..boot.bin");  // dots in a name are fine
    EXPECT_TRUE(Check());
}

TEST_F(EntryCheck, RefusesWhenNothingIsSelected)
{
    Set(0, 1, "boot.bin", 0);
    Set(1, 2, "kernel.bin", 0);
    Set(2, 3, "rootfs.img", 0);
    Set(4, 9, "late.bin");  // selected, but beyond the count
    EXPECT_FALSE(Check(3));
    EXPECT_EQ(m_strLog, "->No image file is selected; nothing would be installed.\r\n");
    EXPECT_FALSE(Check(-1));  // no configuration
}
