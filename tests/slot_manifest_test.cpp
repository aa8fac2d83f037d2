#include <gtest/gtest.h>

#include <cstring>

#include "station/file_entry.h"
#include "station/slot_manifest.h"
#include "support/temp_dir.h"

namespace {

const std::string kMac = "^587675010202^587675010203";

// Three image entries whose files lie in the shared folder.
void Entries(FileEntry files[FILE_TABLE_SLOTS])
{
    const char* names[] = {"boot.bin", "kernel.bin", "rootfs.bin"};
    for (int k = 0; k < 3; ++k) {
        files[k].nId = k + 1;
        std::strcpy(files[k].szName, names[k]);
        files[k].cSelected = 1;
    }
}

uint32_t Le32(const std::string& strBytes, size_t nOffset)
{
    uint32_t dwValue = 0;
    for (int i = 3; i >= 0; --i)
        dwValue = (dwValue << 8) | static_cast<uint8_t>(strBytes[nOffset + i]);
    return dwValue;
}

}  // namespace

TEST(SlotManifest, WritesTheSlotsIdentityOverACopyOfTheSharedTail)
{
    CTempDir dir;
    dir.Write("images/boot.bin", std::string(1234, 'b'));
    dir.Write("images/kernel.bin", std::string(5678, 'k'));
    dir.Write("images/rootfs.bin", std::string(9, 'r'));
    std::string strShared(1000, '\0');
    for (size_t i = 0; i < strShared.size(); ++i)
        strShared[i] = static_cast<char>(i * 7 + 3);
    dir.Write("images/ins.txt", strShared);
    FileEntry files[FILE_TABLE_SLOTS];
    Entries(files);

    CSlotManifest manifest(dir.Path() + "/slots/slot2");
    CManifestLock lock;
    ASSERT_TRUE(manifest.Write(dir.Path() + "/images", "20260001", "5A3C0001", kMac, files, {}, lock));
    EXPECT_TRUE(lock.IsHeld());
    const std::string strCopy = dir.Read("slots/slot2/ins.txt");
    ASSERT_EQ(strCopy.size(), 1000u);
    EXPECT_EQ(strCopy.substr(4, 16), "202600015A3C0001");   // factory and registration number
    EXPECT_EQ(strCopy.substr(20, 26), kMac);
    EXPECT_EQ(Le32(strCopy, 144 + 132), 1234u);      // the sizes are those of the shared images
    EXPECT_EQ(Le32(strCopy, 2 * 144 + 132), 5678u);
    EXPECT_EQ(strCopy.substr(MANIFEST_BYTES), strShared.substr(MANIFEST_BYTES));
    EXPECT_EQ(dir.Read("images/ins.txt"), strShared);  // the shared file is only read
}

TEST(SlotManifest, ACopyHeldByARunningJobIsNotTouched)
{
    CTempDir dir;
    dir.Write("images/ins.txt", std::string(700, 'x'));
    FileEntry files[FILE_TABLE_SLOTS];
    Entries(files);
    CSlotManifest running(dir.Path() + "/slots/slot1");
    CManifestLock held;
    ASSERT_TRUE(running.Write(dir.Path() + "/images", "11111111", "1", kMac, files, {}, held));
    const std::string strBefore = dir.Read("slots/slot1/ins.txt");

    dir.Write("images/ins.txt", std::string(900, 'y'));
    CSlotManifest other(dir.Path() + "/slots/slot1");
    CManifestLock lock;
    std::string strLog;
    EXPECT_FALSE(other.Write(dir.Path() + "/images", "22222222", "2", kMac, files,
                             [&strLog](const std::string& strLine) { strLog += strLine; }, lock));
    EXPECT_FALSE(lock.IsHeld());
    EXPECT_NE(strLog.find("in use by another Tovar"), std::string::npos) << strLog;
    EXPECT_EQ(dir.Read("slots/slot1/ins.txt"), strBefore);
}
