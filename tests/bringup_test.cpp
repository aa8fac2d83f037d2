#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/tovardlg.h"
#include "samba/at91_sim_board.h"
#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/test_options.h"
#include "support/temp_dir.h"

namespace {

const char* kApplet = "tcl_lib/at91sam9x25-ek/applet-lowlevelinit-sam9x25.bin";
const char* kBoot = "tcl_lib/at91sam9x25-ek/VarroBoot.bin";

const std::vector<std::string> kFullSequence = {
    "OpenDevice COM1",
    "ReadWord 0xfffff240",
    "WriteBlock 0x00300000+5",
    "WriteWord 0x0030000c=1",
    "WriteWord 0x00300014=0",
    "WriteWord 0x00300004=0",
    "Jump 0x00300000",
    "ReadWord 0x00300004",
    "ReadWord 0x00300008",
    "WriteBlock 0x00300000+9",
    "WriteWord 0x0030000c=1",
    "WriteWord 0x00300014=1",
    "WriteWord 0x00300018=0",
    "WriteWord 0x0030001c=16",
    "WriteWord 0x00300020=0",
    "WriteWord 0x00300004=0",
    "Jump 0x00300000",
    "ReadWord 0x00300004",
    "ReadWord 0x00300008",
    "CloseDevice",
};

// One bring-up on a board of its own, as a job would start it.
struct CBringUpRun {
    CBringUpRun(CAt91SimBoard& board, const std::string& strDir, IClock& clock)
        : m_Dlg(m_View, board.Factory(), clock, TestOptions(strDir))
    {
        m_Dlg.m_szWorkDir = strDir;
        m_Dlg.m_pBootDll = std::make_unique<CAt91BootDll>(board.Factory());
        m_Dlg.m_pBootDll->OpenDevice("COM1", m_Dlg.m_hDevice);
    }
    BringUpResult Run() { return m_Dlg.BringUp(); }
    std::string Log() const { return m_View.Log(); }

    CFakeView m_View;
    CTovarDlg m_Dlg;
};

// Drives the bring-up stage directly, without the worker thread.
class BringUpTest : public ::testing::Test {
protected:
    BringUpTest() : m_Dlg(m_View, m_Board.Factory(), m_Clock, TestOptions(m_Dir.Path()))
    {
        m_Dir.Write(kApplet, "APPLT");
        m_Dir.Write(kBoot, "BOOTLOADR");
        m_Dlg.m_szWorkDir = m_Dir.Path();
    }

    BringUpResult Run()
    {
        m_Dlg.m_pBootDll = std::make_unique<CAt91BootDll>(m_Board.Factory());
        m_Dlg.m_pBootDll->OpenDevice("COM1", m_Dlg.m_hDevice);
        return m_Dlg.BringUp();
    }

    std::vector<std::string> Sequence() const { return m_Board.CallSummary(); }

    // The good sequence cut after call nLast, then the device closed.
    static std::vector<std::string> CutAfter(size_t nLast)
    {
        std::vector<std::string> seq(kFullSequence.begin(), kFullSequence.begin() + static_cast<long>(nLast) + 1);
        seq.push_back("CloseDevice");
        return seq;
    }

    void ExpectHandedToConsole()
    {
        EXPECT_EQ(m_Dlg.m_bConsolePhase.load(), 1);
        EXPECT_EQ(m_Dlg.m_pBootDll, nullptr);
        EXPECT_EQ(m_Board.BackendsBound(), 0);
        EXPECT_EQ(m_Board.OpenHandles(), 0);
        EXPECT_EQ(m_Dlg.m_bBringUpPending.load(), 0);
    }

    CTempDir m_Dir;
    CAt91SimBoard m_Board;
    CFakeView m_View;
    CFakeClock m_Clock;
    CTovarDlg m_Dlg;
};

}  // namespace

TEST_F(BringUpTest, GoodChipRunsAppletThenBootLoaderInOrder)
{
    EXPECT_EQ(Run(), BringUpResult::Completed);
    EXPECT_EQ(Sequence(), kFullSequence);
    EXPECT_EQ(m_View.Log(), "当前芯片Chip ID: 0x819a05a1Chip ID match.\r\n->Extram Ok.\r\n");
    auto calls = m_Board.Calls();
    EXPECT_EQ(std::string(calls[2].data.begin(), calls[2].data.end()), "APPLT");
    EXPECT_EQ(std::string(calls[9].data.begin(), calls[9].data.end()), "BOOTLOADR");
    ExpectHandedToConsole();
    EXPECT_NE(m_Dlg.m_hDevice, 0);  // the handle keeps its value
}

TEST_F(BringUpTest, MaskedBitsAreIgnoredOtherBitsRejectTheChip)
{
    m_Board.SetChipId(0x819F05BF);  // differs only in bits 0-4 and 16-19
    EXPECT_EQ(Run(), BringUpResult::Completed);
    EXPECT_NE(m_View.Log().find("0x819f05bfChip ID match.\r\n"), std::string::npos);

    CAt91SimBoard wrong;
    wrong.SetChipId(0x819A05C1);  // bit 6 differs
    CBringUpRun run(wrong, m_Dir.Path(), m_Clock);
    EXPECT_EQ(run.Run(), BringUpResult::ChipRejected);
    EXPECT_EQ(run.Log(), "当前芯片Chip ID: 0x819a05c1\r\nChip ID match Fail.\r\n");
    EXPECT_EQ(wrong.CallSummary(), (std::vector<std::string>{"OpenDevice COM1", "ReadWord 0xfffff240", "CloseDevice"}));
    EXPECT_EQ(run.m_Dlg.m_bConsolePhase.load(), 0);
    EXPECT_EQ(run.m_Dlg.m_pBootDll, nullptr);
    EXPECT_EQ(wrong.BackendsBound(), 0);
}

TEST_F(BringUpTest, FailedChipReadShowsZeroAndRejects)
{
    m_Board.FailCall("ReadWord", 1, 5);
    EXPECT_EQ(Run(), BringUpResult::ChipRejected);
    EXPECT_EQ(m_View.Log(), "当前芯片Chip ID: 0x00000000\r\nChip ID match Fail.\r\n");
}

TEST_F(BringUpTest, MissingFilesAreReportedAndLeadToTheConsole)
{
    std::remove((m_Dir.Path() + "/" + kApplet).c_str());
    EXPECT_EQ(Run(), BringUpResult::BrokenOff);
    EXPECT_EQ(Sequence(), CutAfter(1));
    EXPECT_NE(m_View.Log().find("Chip ID match.\r\n->Failed to open lowlevelinit file.\r\n"), std::string::npos);
    ExpectHandedToConsole();

    CTempDir dir;
    dir.Write(kApplet, "APPLT");
    CAt91SimBoard board;
    CBringUpRun run(board, dir.Path(), m_Clock);
    EXPECT_EQ(run.Run(), BringUpResult::BrokenOff);
    EXPECT_EQ(board.CallSummary(), CutAfter(8));
    EXPECT_NE(run.Log().find("->Failed to open extram file.\r\n"), std::string::npos);
    EXPECT_EQ(run.Log().find("Extram Ok"), std::string::npos);
    EXPECT_EQ(run.m_Dlg.m_bConsolePhase.load(), 1);
}

TEST_F(BringUpTest, EmptyFilesAreWrittenAsEmptyBlocks)
{
    m_Dir.Write(kApplet, "");
    EXPECT_EQ(Run(), BringUpResult::Completed);
    EXPECT_EQ(Sequence()[2], "WriteBlock 0x00300000+0");
}

TEST_F(BringUpTest, ErrorWordAtAnyStepEndsTheStageSilently)
{
    // Every call after the chip read, by method and occurrence, in the good sequence's order.
    struct Step {
        const char* szMethod;
        int nOccurrence;
        size_t nIndex;
    };
    const Step steps[] = {{"WriteBlock", 1, 2}, {"WriteWord", 1, 3},  {"WriteWord", 2, 4}, {"WriteWord", 3, 5},
                          {"Jump", 1, 6},       {"ReadWord", 2, 7},   {"ReadWord", 3, 8},  {"WriteBlock", 2, 9},
                          {"WriteWord", 4, 10}, {"WriteWord", 5, 11}, {"WriteWord", 6, 12}, {"WriteWord", 7, 13},
                          {"WriteWord", 8, 14}, {"WriteWord", 9, 15}, {"Jump", 2, 16},     {"ReadWord", 4, 17},
                          {"ReadWord", 5, 18}};
    for (const Step& step : steps) {
        CAt91SimBoard board;
        board.FailCall(step.szMethod, step.nOccurrence, 0x42);
        CBringUpRun run(board, m_Dir.Path(), m_Clock);
        EXPECT_EQ(run.Run(), BringUpResult::BrokenOff) << step.szMethod << step.nOccurrence;
        EXPECT_EQ(board.CallSummary(), CutAfter(step.nIndex)) << step.szMethod << step.nOccurrence;
        EXPECT_EQ(run.Log(), "当前芯片Chip ID: 0x819a05a1Chip ID match.\r\n");
        EXPECT_EQ(run.m_Dlg.m_bConsolePhase.load(), 1);
        EXPECT_EQ(board.BackendsBound(), 0);
    }
}

TEST_F(BringUpTest, AppletAndBootLoaderStatus)
{
    m_Board.SetAppletStatus(3);
    EXPECT_EQ(Run(), BringUpResult::BrokenOff);
    EXPECT_EQ(Sequence(), CutAfter(8));
    EXPECT_EQ(m_View.Log(), "当前芯片Chip ID: 0x819a05a1Chip ID match.\r\n");
    ExpectHandedToConsole();

    CAt91SimBoard board;
    board.SetBootLoaderStatus(0x0F);
    CBringUpRun run(board, m_Dir.Path(), m_Clock);
    EXPECT_EQ(run.Run(), BringUpResult::BrokenOff);
    EXPECT_EQ(board.CallSummary(), kFullSequence);
    EXPECT_EQ(run.Log(), "当前芯片Chip ID: 0x819a05a1Chip ID match.\r\n->Extram Error.\r\n");
    EXPECT_EQ(run.m_Dlg.m_bConsolePhase.load(), 1);
}

TEST_F(BringUpTest, DeviceThatDidNotOpenGoesStraightToTheConsole)
{
    m_Board.SetOpenFails(true);
    EXPECT_EQ(Run(), BringUpResult::BrokenOff);
    EXPECT_EQ(m_Dlg.m_hDevice, 0);
    EXPECT_EQ(Sequence(), (std::vector<std::string>{"OpenDevice COM1", "CloseDevice"}));
    EXPECT_EQ(m_View.Log(), "");
    ExpectHandedToConsole();
}
