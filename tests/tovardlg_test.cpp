#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "station/engineer_pin.h"
#include "ui/set.h"
#include "ui/tovardlg.h"
#include "sim/at91_sim_board.h"
#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/test_options.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

namespace {

class ConsoleTest : public ::testing::Test {
protected:
    // A station with one image and an ins.txt, unless bStation is false.
    void Start(const std::vector<std::string>& devices = {"COM1"}, bool bStation = true)
    {
        m_Board.SetDevices(devices);
        m_Dir.Write("tcl_lib/at91sam9x25-ek/applet-lowlevelinit-sam9x25.bin", "A");
        m_Dir.Write("tcl_lib/at91sam9x25-ek/VarroBoot.bin", "B");
        if (bStation && !m_Dir.Exists("KX30T/config.cfg")) {
            m_Dir.Write("KX30T/config.cfg", "[COUNT]\ncount=1\n[Startup]\nid=1\nname=boot.bin\n");
            m_Dir.Write("KX30T/系统安装/boot.bin", "12345");
            m_Dir.Write("KX30T/系统安装/ins.txt", "");
        }
        TovarJobOptions options = TestOptions(m_Dir.Path(), 10000, m_fnResolver);
        options.pRecord = m_pRecord;
        if (m_fnAdjust)
            m_fnAdjust(options);
        options.station.portMap = m_PortMap;
        options.station.strEngineerPin = m_strPinHash;
        m_pDlg = std::make_unique<CTovarDlg>(m_View, m_Board.Factory(), m_Clock, options);
        ASSERT_TRUE(m_pDlg->OnInitDialog());
    }

    bool Buttons(bool bDownload, bool bExit, bool bStop) const
    {
        return m_View.Enabled(IDOK) == bDownload && m_View.Enabled(IDCANCEL) == bExit && m_View.Enabled(IDC_STOP) == bStop;
    }

    int Count(const std::string& strMethod) const
    {
        int n = 0;
        for (const auto& call : m_Board.Calls())
            n += call.strMethod == strMethod;
        return n;
    }

    void TearDown() override
    {
        if (m_pDlg && m_pDlg->WorkerRunning())
            m_pDlg->OnCancel();
    }

    bool WaitStage(JobStage stage)
    {
        return WaitUntil([&] { return m_pDlg->Job()->Running() && m_pDlg->Job()->Stage() == stage; });
    }

    CTempDir m_Dir;
    CAt91SimBoard m_Board;
    CFakeView m_View;
    CFakeClock m_Clock;
    PortResolver m_fnResolver = [](int) { return std::string(); };  // no console port unless a test gives one
    CStationRecord* m_pRecord = nullptr;
    std::function<void(TovarJobOptions&)> m_fnAdjust;  // changes the options before the dialog starts
    CComPortMap m_PortMap;
    std::string m_strPinHash;
    std::unique_ptr<CTovarDlg> m_pDlg;
};

}  // namespace

TEST_F(ConsoleTest, StartUpSetsCaptionsDefaultsAndSortedDevices)
{
    Start({"COM12", "COM3", "COM5"}, false);
    EXPECT_EQ(m_View.Log(), " 开始下载程序：\r\n->配置文件缺失: " + m_Dir.Path() + "/KX30T/config.cfg\r\n");
    EXPECT_EQ(m_View.GetText(IDC_MAC), "^587675010202^587675010203");
    EXPECT_EQ(m_View.GetText(IDC_FACTORY), "12345678");
    const std::string strReg = m_View.GetText(IDC_REG);
    EXPECT_EQ(strReg.size(), 8u);
    EXPECT_EQ(strReg.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(m_View.GetText(IDC_FACTORY_LABEL), "出厂编号");
    EXPECT_EQ(m_View.GetText(IDC_REG_LABEL), "注册编号");
    EXPECT_EQ(m_View.GetText(IDC_SELECTCOM), "选择COM");
    EXPECT_EQ(m_View.GetText(IDOK), "开始下载");
    EXPECT_EQ(m_View.GetText(IDC_STOP), "终止");
    EXPECT_EQ(m_View.GetText(IDCANCEL), "退出");
    EXPECT_EQ(m_View.GetText(IDC_SET), "高级");
    EXPECT_EQ(m_View.m_Devices, (std::vector<std::string>{"COM3", "COM5", "COM12"}));
    EXPECT_EQ(m_View.GetCurSel(), -1);
    EXPECT_TRUE(Buttons(true, true, true));
    EXPECT_EQ(m_pDlg->m_nFileCount, -1);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(m_pDlg->m_Files[k].cSelected, 1);
    EXPECT_EQ(m_pDlg->m_Files[4].cSelected, 0);
}

TEST_F(ConsoleTest, PressOpensTheChosenDevice)
{
    Start({"COM12", "COM3", "COM5"});
    m_View.Select(1);
    m_pDlg->OnOK();
    ASSERT_TRUE(WaitStage(JobStage::Console));
    EXPECT_EQ(m_Board.CallSummary()[1], "OpenDevice COM5");
    EXPECT_TRUE(WaitUntil([&] {
        return m_View.Log().find("COM5:     串口打开失败!\r\n->COM5 is not mapped to any device;") != std::string::npos;
    })) << m_View.Log();
}

TEST_F(ConsoleTest, SelectorPutsPortsEntriesFirstAndStartsOnTheLastChosenPort)
{
    m_PortMap.AddEntry("COM12", "/dev/ttyUSB0");
    Start({"COM12", "COM3", "COM5"});
    EXPECT_EQ(m_View.m_Devices, (std::vector<std::string>{"COM12", "COM3", "COM5"}));
    EXPECT_EQ(m_View.GetCurSel(), 0);   // the only [ports] entry
    m_View.Select(2);
    m_pDlg->OnSelChangePort();
    m_pDlg.reset();
    m_View.m_Devices.clear();
    m_View.Select(-1);
    Start({"COM12", "COM3", "COM5"});
    EXPECT_EQ(m_View.GetCurSel(), 2);   // COM5, chosen in this folder before
}

TEST_F(ConsoleTest, PortNumberRuleAndStableSort)
{
    EXPECT_EQ(CTovarDlg::PortNumberOfName("COM7"), 7);
    EXPECT_EQ(CTovarDlg::PortNumberOfName("COM12"), 12);
    EXPECT_EQ(CTovarDlg::PortNumberOfName("COM123"), 12);
    EXPECT_EQ(CTovarDlg::PortNumberOfName("COM"), 0);
    EXPECT_EQ(CTovarDlg::PortNumberOfName("COMx"), 0);
    Start({"COM5 (b)", "COM05", "COM3", "COM5 (a)"});
    EXPECT_EQ(m_View.m_Devices, (std::vector<std::string>{"COM3", "COM5 (b)", "COM05", "COM5 (a)"}));
}

TEST_F(ConsoleTest, TenDevicesAreAllListed)
{
    std::vector<std::string> devices;
    for (int i = 12; i >= 1; --i)
        devices.push_back("COM" + std::to_string(i));
    Start(devices);
    ASSERT_EQ(m_View.m_Devices.size(), 10u);
    EXPECT_EQ(m_View.m_Devices.front(), "COM3");
    EXPECT_EQ(m_View.m_Devices.back(), "COM12");
    EXPECT_EQ(m_pDlg->DeviceCount(), 10);
}

TEST_F(ConsoleTest, MacTextMustBeTwoUnicastAddresses)
{
    Start();
    m_View.Select(0);
    const std::string strRefused = "请输入正确的macid  \r\n";
    for (const std::string& strMac : {std::string(25, 'A'), std::string(27, 'A'),
                                      std::string(24, 'A') + "\xe4\xb8\xad",  // 26 bytes, not two addresses
                                      std::string("^ZZZZZZZZZZZZ^ZZZZZZZZZZZZ"), std::string("^FFFFFFFFFFFF^587675010203")}) {
        std::string strBefore = m_View.Log();
        m_View.SetText(IDC_MAC, strMac);
        m_pDlg->OnOK();
        EXPECT_EQ(m_View.Log().substr(0, strBefore.size() + strRefused.size()), strBefore + strRefused) << strMac;
        EXPECT_TRUE(Buttons(true, true, true));
        EXPECT_EQ(Count("OpenDevice"), 0);
    }
    m_View.SetText(IDC_MAC, "^587675010202^587675010203");
    m_pDlg->OnOK();
    EXPECT_TRUE(Buttons(false, false, true));
    EXPECT_TRUE(WaitUntil([&] { return Count("OpenDevice") == 1; }));
}

TEST_F(ConsoleTest, UnconvertibleMacTextIsRefused)
{
    Start();
    m_View.Select(0);
    m_View.SetText(IDC_MAC, std::string(22, 'A') + "\xf0\x9f\x98\x80");
    m_pDlg->OnOK();
    EXPECT_NE(m_View.Log().find("->MAC ID含有无法转换的字符"), std::string::npos);
    EXPECT_EQ(Count("OpenDevice"), 0);
}

TEST_F(ConsoleTest, ButtonTableThroughAJobAndStop)
{
    Start();
    m_View.Select(0);
    m_pDlg->OnOK();
    EXPECT_TRUE(Buttons(false, false, true));
    ASSERT_TRUE(WaitStage(JobStage::Console));
    m_pDlg->OnStop();
    EXPECT_TRUE(Buttons(true, true, true));
    std::optional<JobResult> result = m_pDlg->WaitJobResult(10000);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->verdict, JobVerdict::Stopped);
    EXPECT_TRUE(Buttons(true, true, true));
}

TEST_F(ConsoleTest, PressWithoutSelectionOrWhileAJobRunsStartsNothing)
{
    Start();
    m_pDlg->OnOK();
    EXPECT_NE(m_View.Log().find("->未选择串口, 请选择电路板的 COM 口\r\n"), std::string::npos);
    EXPECT_EQ(Count("OpenDevice"), 0);
    EXPECT_TRUE(Buttons(true, true, true));

    m_View.Select(0);
    m_pDlg->OnOK();
    ASSERT_TRUE(WaitStage(JobStage::Console));
    m_pDlg->OnOK();
    EXPECT_NE(m_View.Log().find("->上一块板尚未结束, 请等上一块板结束后再开始\r\n"), std::string::npos);
    EXPECT_EQ(Count("OpenDevice"), 1);
    EXPECT_EQ(m_pDlg->JobsStarted(), 1);
}

TEST_F(ConsoleTest, SecondPressRescansAndOpensTheChosenNameOrRefusesAGoneDevice)
{
    Start({"COM3", "COM5"});
    m_View.Select(1);
    m_pDlg->OnOK();
    ASSERT_TRUE(WaitStage(JobStage::Console));
    EXPECT_EQ(m_Board.BackendsBound(), 0);
    m_pDlg->OnStop();
    ASSERT_TRUE(m_pDlg->WaitJobResult(10000));
    ASSERT_TRUE(WaitUntil([&] { return !m_pDlg->Job()->Running(); }));

    m_Board.SetDevices({"COM2", "COM3", "COM5"});  // COM5 now stands at index 2
    m_pDlg->OnOK();
    ASSERT_TRUE(WaitStage(JobStage::Console));
    auto summary = m_Board.CallSummary();
    EXPECT_EQ(Count("ScanDevices"), 2);
    EXPECT_EQ(Count("OpenDevice"), 2);
    EXPECT_NE(std::find(summary.rbegin(), summary.rend(), "OpenDevice COM5"), summary.rend());
    EXPECT_EQ(m_View.m_Devices, (std::vector<std::string>{"COM3", "COM5"}));  // the selector is not refilled

    m_pDlg->OnStop();
    ASSERT_TRUE(WaitUntil([&] { return !m_pDlg->Job()->Running(); }));
    m_Board.SetDevices({"COM3"});
    m_pDlg->OnOK();
    EXPECT_NE(m_View.Log().find("->COM5 已断开"), std::string::npos);
    EXPECT_EQ(Count("OpenDevice"), 2);
}

TEST_F(ConsoleTest, WrongChipEndsTheJobButNotTheWorker)
{
    m_Board.SetChipId(0x12345678);
    Start();
    m_View.Select(0);
    m_pDlg->OnOK();
    std::optional<JobResult> result = m_pDlg->WaitJobResult(10000);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->verdict, JobVerdict::ChipRejected);
    EXPECT_NE(m_View.Log().find("\r\nChip ID match Fail.\r\n"), std::string::npos);
    EXPECT_TRUE(m_pDlg->WorkerRunning());
    EXPECT_TRUE(Buttons(true, true, true));  // every ended job gives the buttons back
    ASSERT_TRUE(WaitUntil([&] { return !m_pDlg->Job()->Running(); }));

    m_Board.SetChipId(0x819A05A1);
    m_pDlg->OnOK();
    ASSERT_TRUE(m_View.WaitForLog("->Extram Ok.\r\n"));
}

TEST_F(ConsoleTest, ExitWhileIdleEndsWorkerAndDialog)
{
    Start();
    m_pDlg->OnCancel();
    EXPECT_FALSE(m_pDlg->WorkerRunning());
    EXPECT_TRUE(m_View.m_bEnded);
    EXPECT_EQ(m_View.m_nEndResult, IDCANCEL);
}

TEST_F(ConsoleTest, ExitDuringTheConsolePhaseEndsTheWorker)
{
    Start();
    m_View.Select(0);
    m_pDlg->OnOK();
    ASSERT_TRUE(WaitStage(JobStage::Console));
    m_pDlg->OnCancel();
    EXPECT_FALSE(m_pDlg->WorkerRunning());
    EXPECT_TRUE(m_View.m_bEnded);
}

TEST_F(ConsoleTest, CloseDuringAJobOnlyWarnsAndHeldDialogHides)
{
    Start();
    m_View.Select(0);
    m_pDlg->OnOK();
    m_pDlg->OnClose();
    EXPECT_EQ(m_View.m_nBeeps, 1);
    EXPECT_FALSE(m_View.m_bEnded);
    EXPECT_TRUE(m_pDlg->WorkerRunning());

    int nProxy = 0;
    m_pDlg->m_pAutoProxy = &nProxy;
    m_pDlg->OnStop();
    m_pDlg->OnClose();
    EXPECT_TRUE(m_View.m_bHidden);
    EXPECT_FALSE(m_View.m_bEnded);
    m_pDlg->m_pAutoProxy = nullptr;
    m_pDlg->OnClose();
    EXPECT_TRUE(m_View.m_bEnded);
    EXPECT_FALSE(m_pDlg->WorkerRunning());
}

namespace {

// A backend that holds ReadWord until released, to catch the worker inside the bring-up.
class CHeldBackend : public IAt91Backend {
public:
    CHeldBackend(std::atomic<int>& bRelease, std::atomic<int>& bEntered) : m_bRelease(bRelease), m_bEntered(bEntered) {}
    void CloseDevice(int32_t) override {}
    void OpenDevice(const char*, int32_t& h) override { h = 1; }
    void WriteWord(int32_t, int32_t, int32_t, int32_t& e) override { e = 0; }
    void WriteHalfWord(int32_t, int16_t, int32_t, int32_t& e) override { e = 0; }
    void WriteByte(int32_t, uint8_t, int32_t, int32_t& e) override { e = 0; }
    void WriteBlock(int32_t, int32_t, const uint8_t*, int32_t, int32_t& e) override { e = 0; }
    void ReadWord(int32_t, int32_t& v, int32_t, int32_t& e) override
    {
        m_bEntered = 1;
        WaitUntil([&] { return m_bRelease.load() != 0; });
        v = 0;
        e = 1;
    }
    void ReadHalfWord(int32_t, int16_t&, int32_t, int32_t& e) override { e = 0; }
    void ReadByte(int32_t, uint8_t&, int32_t, int32_t& e) override { e = 0; }
    void ReadBlock(int32_t, int32_t, uint8_t*, int32_t, int32_t& e) override { e = 0; }
    void Jump(int32_t, int32_t, int32_t& e) override { e = 0; }
    void ScanDevices(char* sz[SCAN_MAX_DEVICES]) override
    {
        std::snprintf(sz[0], DEVICE_NAME_SIZE, "COM4");
        sz[1] = nullptr;
    }

private:
    std::atomic<int>& m_bRelease;
    std::atomic<int>& m_bEntered;
};

}  // namespace

TEST(ConsoleExit, StopDuringBringUpAndAWorkerThatOutlivesTheExitWait)
{
    std::atomic<int> bRelease{0};
    std::atomic<int> bEntered{0};
    CFakeView view;
    CFakeClock clock;
    CTempDir dir;
    dir.Write("KX30T/config.cfg", "[COUNT]\ncount=1\n[Startup]\nid=1\nname=boot.bin\n");
    dir.Write("KX30T/系统安装/ins.txt", "");
    dir.Write("KX30T/系统安装/boot.bin", "12345");
    auto factory = [&]() -> std::unique_ptr<IAt91Backend> { return std::make_unique<CHeldBackend>(bRelease, bEntered); };
    {
        CTovarDlg dlg(view, factory, clock, TestOptions(dir.Path(), 50, [](int) { return std::string(); }));
        dlg.OnInitDialog();
        view.Select(0);
        dlg.OnOK();
        ASSERT_TRUE(WaitUntil([&] { return bEntered.load() == 1; }));
        dlg.OnStop();
        EXPECT_TRUE(view.Enabled(IDOK) && view.Enabled(IDCANCEL) && view.Enabled(IDC_STOP));
        dlg.OnOK();  // the bring-up has not returned yet: refused
        EXPECT_NE(view.Log().find("->上一块板仍在启动中"), std::string::npos);
        dlg.OnCancel();  // gives up after 50 ms; the dialog still ends
        EXPECT_TRUE(view.m_bEnded);
        EXPECT_TRUE(dlg.WorkerRunning());
        bRelease = 1;  // the held call returns; the worker sees the quit and ends before destruction
    }
    EXPECT_NE(view.Log().find("终止下载!"), std::string::npos);
}

TEST_F(ConsoleTest, ConfigurationManifestAndAdvancedOptionsThroughTheConsole)
{
    m_Dir.Write("KX30T/config.cfg",
                "[COUNT]\r\ncount=2\r\n[Startup]\r\nid=200\r\nname=boot.bin\r\n[Download]\r\nid=3\r\n"
                "name=" + std::string(60, 'n') + "\r\n");
    m_Dir.Write("KX30T/系统安装/boot.bin", "12345");
    m_Dir.Write("KX30T/系统安装/ins.txt", "");
    Start();
    EXPECT_EQ(m_pDlg->m_nFileCount, 2);
    EXPECT_EQ(m_pDlg->m_Files[0].nId, 200);
    EXPECT_EQ(std::string(m_pDlg->m_Files[1].szName), std::string(51, 'n'));
    EXPECT_NE(m_View.Log().find("name cut to 51 bytes"), std::string::npos);

    m_View.Select(0);
    m_View.SetText(IDC_FACTORY, "123456789");  // 9 bytes: refused before anything changes
    m_pDlg->OnOK();
    EXPECT_NE(m_View.Log().find("->出厂编号超过8字节，请重新输入!\r\n"), std::string::npos);
    EXPECT_EQ(Count("OpenDevice"), 0);
    EXPECT_EQ(m_Dir.Read("KX30T/系统安装/ins.txt").size(), 0u);

    m_View.SetText(IDC_FACTORY, "1234");
    m_pDlg->OnOK();
    EXPECT_NE(m_View.Log().find("->Write ins.txt file successed.\r\n"), std::string::npos);
    std::string strManifest = m_Dir.Read("KX30T/系统安装/ins.txt");
    ASSERT_EQ(strManifest.size(), 576u);
    EXPECT_EQ(strManifest.substr(4, 5), std::string("1234\0", 5));
    EXPECT_EQ(strManifest.substr(144, 4), std::string("\xc8\0\0\0", 4));  // id 200, little-endian
    EXPECT_EQ(strManifest.substr(144 + 132, 4), std::string("\x05\0\0\0", 4));

    m_View.m_fnAdvanced = [](CSet& dlg) {
        dlg.OnInitDialog();
        dlg.SetBox(0, false);
        dlg.OnOK();
        return true;
    };
    m_pDlg->OnSet();
    EXPECT_EQ(m_pDlg->m_Files[0].cSelected, 0);
    m_View.m_fnAdvanced = [](CSet& dlg) {
        dlg.OnInitDialog();
        dlg.SetBox(0, true);
        return false;  // cancelled
    };
    m_pDlg->OnSet();
    EXPECT_EQ(m_pDlg->m_Files[0].cSelected, 0);
}

TEST_F(ConsoleTest, AdvancedNeedsTheEngineerPinWhenOneIsConfigured)
{
    m_strPinHash = PinHashText("2468", "a1b2");
    Start();
    int nRuns = 0;
    m_View.m_fnAdvanced = [&nRuns](CSet&) { return ++nRuns, false; };
    m_View.m_strPin = "1357";
    m_pDlg->OnSet();
    EXPECT_EQ(nRuns, 0);
    EXPECT_EQ(m_View.m_Prompts, std::vector<std::string>{"请输入工程师密码"});
    EXPECT_EQ(m_View.m_Messages, std::vector<std::string>{"工程师密码错误, 设置未打开"});
    m_View.m_strPin = "";   // cancelled: no dialog, no message
    m_pDlg->OnSet();
    EXPECT_EQ(nRuns, 0);
    EXPECT_EQ(m_View.m_Messages.size(), 1u);
    m_View.m_strPin = "2468";
    m_pDlg->OnSet();
    EXPECT_EQ(nRuns, 1);
    EXPECT_EQ(m_View.m_Messages.size(), 1u);
}

TEST_F(ConsoleTest, WithoutAWrittenIdentityNoJobStarts)
{
    Start();
    std::remove((m_Dir.Path() + "/KX30T/系统安装/ins.txt").c_str());
    m_View.Select(0);
    m_pDlg->OnOK();
    EXPECT_NE(m_View.Log().find("->Failed to open ins.txt file.\r\n->未写入身份信息，未开始下载。\r\n"), std::string::npos);
    EXPECT_FALSE(m_Dir.Exists("KX30T/系统安装/ins.txt"));
    EXPECT_EQ(Count("OpenDevice"), 0);
    EXPECT_EQ(m_pDlg->JobsStarted(), 0);
    EXPECT_TRUE(Buttons(true, true, true));
}

// The window checks the images as every front end does, before the board sees anything.
TEST_F(ConsoleTest, AWrongDigestOrAMissingImageIsRefusedBeforeTheBoard)
{
    m_Dir.Write("KX30T/系统安装/SHA256SUMS", std::string(64, '0') + "  boot.bin\n");
    Start();
    m_View.Select(0);
    m_pDlg->OnOK();
    EXPECT_NE(m_View.Log().find("SHA256SUMS"), std::string::npos) << m_View.Log();
    EXPECT_EQ(m_Dir.Read("KX30T/系统安装/ins.txt").size(), 0u);

    std::remove((m_Dir.Path() + "/KX30T/系统安装/SHA256SUMS").c_str());
    std::remove((m_Dir.Path() + "/KX30T/系统安装/boot.bin").c_str());
    m_pDlg->OnOK();
    const std::string strLog = m_View.Log();
    EXPECT_LT(strLog.find("->Open bin err.\r\n"), strLog.find("->image boot.bin: ")) << strLog;
    EXPECT_EQ(Count("OpenDevice"), 0);
    EXPECT_EQ(m_pDlg->JobsStarted(), 0);
    EXPECT_TRUE(Buttons(true, true, true));
}

TEST_F(ConsoleTest, WithoutAConfigurationNoJobStarts)
{
    Start({"COM1"}, false);
    m_View.Select(0);
    m_pDlg->OnOK();
    EXPECT_NE(m_View.Log().find("->No image file is selected"), std::string::npos);
    EXPECT_EQ(Count("OpenDevice"), 0);
}

TEST_F(ConsoleTest, EachJobWritesItsLogFileInTheWorkingFolder)
{
    Start();
    m_View.Select(0);
    m_pDlg->OnOK();
    ASSERT_TRUE(WaitStage(JobStage::Console));
    m_pDlg->OnStop();
    ASSERT_TRUE(m_pDlg->WaitJobResult(10000));
    std::string strPath;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_Dir.Path() + "/logs"))
        strPath = entry.is_regular_file() ? entry.path().string() : strPath;
    EXPECT_NE(strPath.find("_COM1_12345678.log"), std::string::npos) << strPath;
    std::ifstream file(strPath);
    std::string strText((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // Every line of the press, the manifest's before the job's.
    EXPECT_LT(strText.find("[log] ->Write ins.txt file successed.\n"), strText.find("[log] ->Extram Ok.\n")) << strText;
    EXPECT_NE(strText.find("[result] stopped (console)"), std::string::npos) << strText;
}

// While a job runs the identity, the port and Advanced stay as they were pressed; its end gives them
// back with a banner, which beeps for a failure and goes at the next press.
TEST_F(ConsoleTest, JobHoldsTheInputsAndEndsInABanner)
{
    const int INPUTS[] = {IDC_MAC, IDC_FACTORY, IDC_REG, IDC_PORT, IDC_SET};
    auto inputs = [&](bool bEnabled) {
        for (int nId : INPUTS)
            if (m_View.Enabled(nId) != bEnabled)
                return false;
        return true;
    };
    Start();
    m_View.Select(0);
    m_pDlg->OnOK();
    ASSERT_TRUE(WaitStage(JobStage::Console));
    EXPECT_TRUE(inputs(false));
    m_pDlg->OnStop();
    ASSERT_TRUE(m_pDlg->WaitJobResult(10000));
    EXPECT_TRUE(inputs(true));
    EXPECT_EQ(m_View.Verdict(), VerdictLook::Stopped);
    EXPECT_EQ(m_View.VerdictText(), "已终止 — 已由操作员终止\n如需安装, 请重新开始");
    EXPECT_EQ(m_View.m_nBeeps, 0);
    ASSERT_TRUE(WaitUntil([&] { return !m_pDlg->Job()->Running(); }));

    m_Board.SetChipId(0x12345678);
    m_pDlg->OnOK();
    ASSERT_TRUE(m_pDlg->WaitJobResult(10000));
    EXPECT_TRUE(inputs(true));
    EXPECT_EQ(m_View.Verdict(), VerdictLook::Failure);
    EXPECT_EQ(m_View.VerdictText(), "失败 — 芯片型号不符\n请将电路板放到不良品区");
    EXPECT_EQ(m_View.m_nBeeps, 1);

    ASSERT_TRUE(WaitUntil([&] { return !m_pDlg->Job()->Running(); }));
    m_View.SetText(IDC_MAC, "short");
    m_pDlg->OnOK();  // refused: the last board's banner gives way to the refusal's own
    EXPECT_EQ(m_View.Verdict(), VerdictLook::Refused);
    EXPECT_EQ(m_View.VerdictText(), "未开始 — 身份信息格式不正确\n请检查 MAC ID、出厂编号和注册编号后重试");
}

TEST_F(ConsoleTest, WithARecordTheNextBoardNeverInheritsAnIdentity)
{
    CStationRecord record;
    RecordSettings settings;
    settings.strWorkDir = m_Dir.Path();
    settings.strStation = "st1";
    std::string strWhy;
    ASSERT_TRUE(record.Open(settings, strWhy)) << strWhy;
    std::string strError;
    for (const auto& [szKind, szFirst] : {std::pair{"macs", "58:76:75:00:00:10"}, {"factory", "7"}, {"reg", "AB"}})
        ASSERT_TRUE(record.Record()->AddPool(szKind, szFirst, 5, strError)) << strError;
    m_pRecord = &record;
    Start();
    EXPECT_EQ(m_View.GetText(IDC_MAC), "");  // no sample identity with a record
    m_View.SetText(IDC_AUTONUM, "checked");
    m_pDlg->OnAutoNumber();
    EXPECT_EQ(m_View.GetText(IDC_MAC), "^587675000010^587675000011");
    EXPECT_EQ(m_View.GetText(IDC_FACTORY), "7");
    // A job that ends (the console never answers: Stop) hands its identity back and the next one is shown.
    m_View.Select(0);
    m_pDlg->OnOK();
    ASSERT_TRUE(WaitStage(JobStage::Console));
    m_pDlg->OnStop();
    ASSERT_TRUE(m_pDlg->WaitJobResult(10000));
    EXPECT_TRUE(WaitUntil([&] { return m_View.GetText(IDC_MAC) == "^587675000010^587675000011"; }));
    std::vector<RecordedJob> jobs;
    ASSERT_TRUE(record.Record()->ListJobs({}, jobs, strError)) << strError;
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].result.strStation, "st1");   // the window's jobs carry the station's name
    // A stopped job is no failed board: the shift's count shows it apart.
    EXPECT_TRUE(WaitUntil([&] { return m_View.GetText(IDC_TODAY).find("失败 0  停止 1") != std::string::npos; }))
        << m_View.GetText(IDC_TODAY);
    // The identity shown is reserved again: the pool hands out another one.
    JobIdentity next;
    ASSERT_TRUE(record.TakeNext(next, strWhy)) << strWhy;
    EXPECT_NE(next.strMac, m_View.GetText(IDC_MAC));
    m_pDlg->OnCancel();
    m_pDlg.reset();  // before the record it uses
}

// The last identity of a pool never stays for the next board: fields cleared, box unticked, red banner.
TEST_F(ConsoleTest, AnEmptyPoolClearsTheFieldsAndUnticksAutoNumbering)
{
    CStationRecord record;
    RecordSettings settings;
    settings.strWorkDir = m_Dir.Path();
    std::string strWhy, strError;
    ASSERT_TRUE(record.Open(settings, strWhy)) << strWhy;
    for (const auto& [szKind, szFirst] : {std::pair{"macs", "58:76:75:00:00:10"}, {"factory", "7"}, {"reg", "AB"}})
        ASSERT_TRUE(record.Record()->AddPool(szKind, szFirst, 1, strError)) << strError;
    JobIdentity taken;
    ASSERT_TRUE(record.TakeNext(taken, strWhy)) << strWhy;  // another station took the last one
    m_pRecord = &record;
    Start();
    m_View.SetText(IDC_MAC, taken.strMac);
    m_View.SetText(IDC_AUTONUM, "checked");
    m_pDlg->OnAutoNumber();
    EXPECT_EQ(m_View.GetText(IDC_MAC), "");
    EXPECT_FALSE(m_View.IsChecked(IDC_AUTONUM));
    EXPECT_EQ(m_View.Verdict(), VerdictLook::Failure);
    EXPECT_EQ(m_View.VerdictText().rfind("号码池已用完", 0), 0u) << m_View.VerdictText();
    m_pDlg.reset();  // before the record it uses
}

TEST_F(ConsoleTest, MonitorPortSelectorOffersTheStationsMonitorPortsAndFeedsTheJob)
{
    Start();
    EXPECT_FALSE(m_View.m_bMonitorShown);  // nothing named: no selector
    m_pDlg.reset();

    // The slots' monitor ports, then the [ports] entries on the udev rule's links; each once.
    m_Dir.Write("tovar.cfg", "[slot1]\nport=COM3\nmonitor-port=usb:1-2.4\n[slot2]\nport=COM4\nmonitor-port=com70\n");
    m_fnAdjust = [](TovarJobOptions& options) {
        options.station.portMap.AddEntry("COM70", "/dev/tovar/pci-0000:00:14.0-usb-0:2.4:1.0");
        options.station.portMap.AddEntry("COM71", "/dev/ttyUSB5");
    };
    Start();
    ASSERT_TRUE(m_View.m_bMonitorShown);
    EXPECT_EQ(m_View.m_MonitorPorts, (std::vector<std::string>{"usb:1-2.4", "COM70"}));

    auto opened = [&](const std::string& strName) {
        return WaitUntil([&] {
            for (const std::string& strCall : m_Board.CallSummary())
                if (strCall == "OpenDevice " + strName)
                    return true;
            return false;
        });
    };
    m_View.Select(0);
    m_View.m_nMonitorSel = 0;
    m_pDlg->OnOK();
    EXPECT_TRUE(opened("usb:1-2.4"));
    EXPECT_TRUE(m_View.WaitForLog("->等待引导监控的 USB 口 / Waiting for the boot monitor's USB port usb:1-2.4 (at most 10 s).\r\n"));
    ASSERT_TRUE(m_pDlg->WaitJobResult(10000).has_value());  // the sim board has no such port: the job ends
    ASSERT_TRUE(WaitUntil([&] { return !m_pDlg->Job()->Running(); }));
    // The first entry: the monitor on the board's own port, as without a monitor port.
    m_View.m_nMonitorSel = -1;
    m_pDlg->OnOK();
    EXPECT_TRUE(opened("COM1"));
    EXPECT_EQ(Count("OpenDevice"), 2);
    m_pDlg->OnStop();
}
