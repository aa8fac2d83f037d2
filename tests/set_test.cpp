#include <gtest/gtest.h>

#include <cstring>

#include "ui/set.h"

namespace {

class Advanced : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* names[4] = {"boot.bin", "kernel.bin", "user.bin", "info.txt"};
        for (int k = 0; k < 4; ++k) {
            std::strcpy(m_files[k].szName, names[k]);
            m_files[k].cSelected = 1;
        }
        m_files[1].cSelected = 0;
    }
    // OnSet as the main window runs it, with the operator's clicks and the closing button.
    void OnSet(const std::vector<std::pair<int, bool>>& clicks, bool bOk)
    {
        CSet dlg;
        dlg.PrepareFromFiles(m_files);
        dlg.OnInitDialog();
        for (const auto& click : clicks)
            dlg.SetBox(click.first, click.second);
        if (bOk) {
            dlg.OnOK();
            dlg.ApplyToFiles(m_files);
        }
    }
    std::vector<int> Flags() const
    {
        std::vector<int> flags;
        for (const FileEntry& entry : m_files)
            flags.push_back(entry.cSelected);
        return flags;
    }

    FileEntry m_files[FILE_TABLE_SLOTS];
};

}  // namespace

TEST_F(Advanced, RowsShowNamesAndStates)
{
    CSet dlg;
    dlg.PrepareFromFiles(m_files);
    dlg.OnInitDialog();
    CSet::RowInfo row1 = dlg.GetRow(1);
    EXPECT_EQ(row1.strName, "kernel.bin");
    EXPECT_FALSE(row1.bChecked);
    EXPECT_TRUE(row1.bEnabled && row1.bVisible);
    CSet::RowInfo row3 = dlg.GetRow(3);
    EXPECT_EQ(row3.strName, "info.txt");
    EXPECT_TRUE(row3.bChecked && row3.bVisible);
    EXPECT_FALSE(row3.bEnabled);
    CSet::RowInfo row4 = dlg.GetRow(4);
    EXPECT_EQ(row4.strName, "");
    EXPECT_FALSE(row4.bVisible || row4.bEnabled || row4.bChecked);
    EXPECT_FALSE(dlg.GetRow(5).bVisible);
}

TEST_F(Advanced, CancelKeepsEveryFlagAndOkWritesTheBoxes)
{
    OnSet({{0, false}, {1, true}, {2, false}}, false);
    EXPECT_EQ(Flags(), (std::vector<int>{1, 0, 1, 1, 0}));
    OnSet({}, true);
    EXPECT_EQ(Flags(), (std::vector<int>{1, 0, 1, 1, 0}));
    OnSet({{0, false}, {1, true}, {0, true}, {2, false}}, true);
    EXPECT_EQ(Flags(), (std::vector<int>{1, 1, 0, 1, 0}));
}

TEST_F(Advanced, FourthRowFixedAndFifthRowStaysZero)
{
    CSet dlg;
    dlg.PrepareFromFiles(m_files);
    dlg.OnInitDialog();
    EXPECT_FALSE(dlg.SetBox(3, false));
    EXPECT_FALSE(dlg.SetBox(4, true));
    EXPECT_FALSE(dlg.SetBox(-1, true));
    EXPECT_FALSE(dlg.SetBox(5, true));
    EXPECT_TRUE(dlg.SetBox(2, false));
    dlg.OnOK();
    dlg.ApplyToFiles(m_files);
    EXPECT_EQ(Flags(), (std::vector<int>{1, 0, 0, 1, 0}));
}
