#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <string>

#include "line/gang_station.h"
#include "qt/gang_tile.h"
#include "qt/gang_window.h"
#include "gui/gui_test.h"
#include "sim/virtual_board.h"
#include "support/temp_dir.h"

namespace {

constexpr int JOB_LIMIT_MS = 60000;

// A board that comes and goes at every look, as a fixture that keeps being loaded.
class CComingAndGoing : public IBoardProbe {
public:
    BoardPresence Probe() override { return (m_nLooks++ % 2) ? BoardPresence::Monitor : BoardPresence::Absent; }

private:
    int m_nLooks = 0;
};

// Slots on in-process virtual boards, one each; the console of board nSilent (0: none) stays silent.
class GangWindowTest : public QObject {
    Q_OBJECT

    void Open(int nBoards, int nSilent, uint32_t nChipId = MonitorConfig{}.nChipId, int nSlotAlarm = 0)
    {
        m_pDir = std::make_unique<CTempDir>();
        m_pDir->Write("KX30T/config.cfg", "[COUNT]\r\ncount=1\r\n[Startup]\r\nid=1\r\nname=boot.bin\r\n");
        m_pDir->Write("KX30T/系统安装/boot.bin", std::string(30000, 'b'));
        m_pDir->Write("KX30T/系统安装/ins.txt", std::string(600, 't'));
        m_pDir->Write("tcl_lib/at91sam9x25-ek/applet-lowlevelinit-sam9x25.bin", std::string(3000, 'a'));
        m_pDir->Write("tcl_lib/at91sam9x25-ek/VarroBoot.bin", std::string(5000, 'v'));
        RecordSettings recordSettings;
        recordSettings.strWorkDir = m_pDir->Path();
        std::string strWhy;
        m_pRecord = std::make_unique<CStationRecord>();
        QVERIFY(m_pRecord->Open(recordSettings, strWhy));
        QVERIFY(m_pRecord->Record()->AddPool("macs", "58:76:75:01:08:00", 10, strWhy));
        QVERIFY(m_pRecord->Record()->AddPool("factory", "20261301", 10, strWhy));
        QVERIFY(m_pRecord->Record()->AddPool("reg", "5A3C0500", 10, strWhy));

        StationSettings station;
        station.strWorkDir = m_pDir->Path();
        station.strBoardIp = "127.0.0.1";
        station.nSlotAlarm = nSlotAlarm;
        std::vector<StationSlot> stationSlots;
        for (int k = 1; k <= nBoards; ++k) {
            BoardConfig config;
            config.monitor.nPromptMs = 10;
            config.monitor.nBootDelayMs = 50;
            config.monitor.bSilentConsole = k == nSilent;
            config.monitor.nChipId = nChipId;
            config.transfer.nPort = 0;
            config.transfer.strStoreDir = m_pDir->MakeDir("store" + std::to_string(k));
            config.strLinkPath = m_pDir->Path() + "/ttyBoard" + std::to_string(k);
            m_Boards.push_back(std::make_unique<CVirtualBoard>(config));
            QVERIFY(m_Boards.back()->Start(strWhy));
            StationSlot slot;
            slot.nSlot = k;
            slot.strPort = config.strLinkPath;
            slot.nBoardPort = m_Boards.back()->UdpPort();
            slot.nLocalPort = 0;
            slot.nSettleMs = 0;
            stationSlots.push_back(slot);
        }
        QVERIFY(CGangStation::PlanSlots(station, stationSlots, m_Setups, strWhy));
        Reopen();
    }

    void Reopen()
    {
        m_pWindow = std::make_unique<CGangWindow>(
            [this, setups = m_Setups](IGangObserver& observer) {
                GangHooks hooks;
                if (m_bBoardsComeAndGo)
                    hooks.fnProbe = [](const GangSlotSetup&, const std::atomic<int>*) {
                        return std::make_unique<CComingAndGoing>();
                    };
                auto pStation = std::make_unique<CGangStation>(observer, *m_pRecord, hooks);
                pStation->Plan(setups, GangSettings{});
                return std::unique_ptr<IGangControl>(std::move(pStation));
            },
            SystemClock());
        m_pWindow->show();
    }

    CGangTile* Tile(int nSlot) { return m_pWindow->Tile(nSlot); }

private slots:
    void cleanup()
    {
        m_pWindow.reset();
        m_Boards.clear();
        m_pRecord.reset();
        m_pDir.reset();
    }

    void StartAllInstallsEveryBoardAndCountsThem()
    {
        Open(2, 0);
        QCOMPARE(m_pWindow->TileCount(), 2);
        m_pWindow->StartAll();
        QVERIFY(Tile(1)->Running() && Tile(2)->Running() && !Tile(1)->StartButton()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!Tile(1)->Running() && !Tile(2)->Running(), JOB_LIMIT_MS);
        QCOMPARE(Tile(1)->VerdictText(), std::string("成功"));
        QCOMPARE(Tile(2)->VerdictText(), std::string("成功"));
        QCOMPARE(Tile(1)->ProgressValue(), 100);
        QCOMPARE(m_pWindow->ShiftText(), std::string("本班: 成功 2   失败 0"));
        QVERIFY(Tile(1)->StartButton()->isEnabled() && !Tile(1)->StopButton()->isEnabled());
        // Opened again, the window shows the shift's boards as the record holds them.
        m_pWindow.reset();
        Reopen();
        QCOMPARE(m_pWindow->ShiftText(), std::string("本班: 成功 2   失败 0"));
    }

    // Stop on one of four tiles ends its board alone; the tile can then be started again.
    void StopOnOneTileLeavesTheOthersAndTheTileStartsAgain()
    {
        Open(4, 3);
        m_pWindow->StartAll();
        QTRY_VERIFY_WITH_TIMEOUT(m_pWindow->LogText(3).find("Chip ID match") != std::string::npos, JOB_LIMIT_MS);
        Tile(3)->StopButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!Tile(1)->Running() && !Tile(2)->Running() && !Tile(3)->Running() && !Tile(4)->Running(),
                                 JOB_LIMIT_MS);
        for (int nSlot : {1, 2, 4})
            QCOMPARE(Tile(nSlot)->Verdict(), VerdictLook::Success);
        QCOMPARE(Tile(3)->Verdict(), VerdictLook::Stopped);
        QCOMPARE(m_pWindow->ShiftText(), std::string("本班: 成功 3   失败 0"));

        Tile(3)->StartButton()->click();
        QVERIFY(Tile(3)->Running());
        QCOMPARE(Tile(3)->VerdictText(), std::string());
        QTRY_VERIFY_WITH_TIMEOUT(Tile(3)->StageText().rfind("控制台  0:", 0) == 0, JOB_LIMIT_MS);
        QTRY_VERIFY_WITH_TIMEOUT(Tile(3)->StageText().find("还剩") != std::string::npos, JOB_LIMIT_MS);
        // 退出 with a board running asks first; the answer "continue" leaves everything running.
        WhenModal<QMessageBox>([this](QMessageBox* pBox) {
            SaveShot(m_pWindow.get(), "gang-exit-question", true);
            pBox->reject();
        });
        m_pWindow->Exit();
        QVERIFY(m_pWindow->isVisible() && Tile(3)->Running());
        int nAsked = 0;
        m_pWindow->SetConfirmExit([&](int nRunning) {
            nAsked = nRunning;
            return false;
        });
        m_pWindow->Exit();
        QCOMPARE(nAsked, 1);
        QVERIFY(m_pWindow->isVisible() && Tile(3)->Running());
        m_pWindow->StopAll();
        QTRY_VERIFY_WITH_TIMEOUT(!Tile(3)->Running(), JOB_LIMIT_MS);
        QCOMPARE(Tile(1)->CountsText(), std::string("成功 1  失败 0"));
        QCOMPARE(Tile(3)->CountsText(), std::string("成功 0  失败 0"));
    }

    // A slot whose port is missing says so before it starts, and its refusal is amber, not a failure.
    void AMissingPortShowsOnTheIdleTileAndItsRefusalIsAmber()
    {
        Open(1, 0);
        m_Boards.clear();   // the board's port goes away
        m_pWindow.reset();
        Reopen();
        QVERIFY(Tile(1)->StageText().rfind("串口不可用: ", 0) == 0);
        m_pWindow->StartSlot(1);
        QTRY_VERIFY_WITH_TIMEOUT(!Tile(1)->Running(), JOB_LIMIT_MS);
        QCOMPARE(Tile(1)->Verdict(), VerdictLook::Refused);
        QVERIFY(Tile(1)->VerdictText().rfind("未开始 — 串口不可用\n", 0) == 0);
        QCOMPARE(m_pWindow->ShiftText(), std::string("本班: 成功 0   失败 0"));
        SaveShot(m_pWindow.get(), "gang-refused");
    }

    // Board after board failing on one slot in 连续 mode: the slot stops and turns amber for its fixture.
    void ASlotFailingBoardAfterBoardStopsWithItsAlarm()
    {
        m_bBoardsComeAndGo = true;
        Open(2, 0, 0x12345678, 3);
        m_pWindow->LoopCheck()->setChecked(true);
        m_pWindow->StartSlot(1);
        QTRY_VERIFY_WITH_TIMEOUT(!Tile(1)->Running(), JOB_LIMIT_MS);
        QCOMPARE(Tile(1)->VerdictText(), std::string("工位连续失败 3 次, 请检查夹具"));
        QCOMPARE(Tile(1)->Verdict(), VerdictLook::Refused);
        QCOMPARE(Tile(1)->CountsText(), std::string("成功 0  失败 3"));
        SaveShot(m_pWindow.get(), "gang-alarm");
    }

private:
    std::unique_ptr<CTempDir> m_pDir;
    std::unique_ptr<CStationRecord> m_pRecord;
    std::vector<std::unique_ptr<CVirtualBoard>> m_Boards;
    std::vector<GangSlotSetup> m_Setups;
    bool m_bBoardsComeAndGo = false;
    std::unique_ptr<CGangWindow> m_pWindow;
};

}  // namespace

TOVAR_GUI_TEST(GangWindowTest)
#include "gang_window_qtest.moc"
