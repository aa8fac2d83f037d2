#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <thread>

#include "qt/tovar_window.h"
#include "gui/gui_test.h"
#include "sim/at91_sim_board.h"
#include "support/fake_clock.h"
#include "gui/station_fixture.h"
#include "support/temp_dir.h"
#include "support/test_options.h"

namespace {

const std::string LOG_START = " 开始下载程序：\r\n";
// One press on COM3 up to the console phase, whose port does not open in these tests.
const std::string LOG_JOB = "->Write ins.txt file successed.\r\n"
                            "当前芯片Chip ID: 0x819a05a1Chip ID match.\r\n->Extram Ok.\r\n"
                            "COM3:     串口打开失败!\r\n"
                            "->COM3 is not mapped to any device; Tovar keeps trying until the board answers or Stop.\r\n";

QString Pane(const std::string& strLog) { return QString::fromUtf8(strLog.c_str()).remove(QLatin1Char('\r')); }

}  // namespace

// The main window on the in-process simulated board, driven through its widgets.
class MainWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<CTempDir> m_pDir;
    std::unique_ptr<CAt91SimBoard> m_pBoard;
    CFakeClock m_Clock;
    std::unique_ptr<CTovarWindow> m_pWindow;

    template <typename T>
    T* Get(int nId) const
    {
        return qobject_cast<T*>(m_pWindow->Control(nId));
    }
    QPushButton* Button(int nId) const { return Get<QPushButton>(nId); }
    bool Buttons(bool bDownload, bool bExit, bool bStop) const
    {
        return Button(IDOK)->isEnabled() == bDownload && Button(IDCANCEL)->isEnabled() == bExit &&
               Button(IDC_STOP)->isEnabled() == bStop;
    }
    int Calls(const std::string& strMethod) const
    {
        int n = 0;
        for (const auto& call : m_pBoard->Calls())
            n += call.strMethod == strMethod;
        return n;
    }
    // Chooses the first device, presses download and waits until the worker is in its console phase.
    bool RunBringUp()
    {
        Get<QComboBox>(IDC_PORT)->setCurrentIndex(0);
        QTest::mouseClick(Button(IDOK), Qt::LeftButton);
        if (!Buttons(false, false, true))
            return false;
        return QTest::qWaitFor([&] { return m_pWindow->Dialog().Job()->Running() && m_pWindow->Dialog().Job()->Stage() == JobStage::Console; }, 10000);
    }

private slots:
    void init()
    {
        m_pDir = std::make_unique<CTempDir>();
        WriteStation(*m_pDir);
        m_pBoard = std::make_unique<CAt91SimBoard>();
        m_pBoard->SetDevices({"COM12", "COM3", "COM5"});
        m_pWindow = std::make_unique<CTovarWindow>(m_pBoard->Factory(), m_Clock, TestOptions(m_pDir->Path(), 10000, [](int) { return std::string(); }));
        m_pWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pWindow.get()));
    }

    void cleanup()
    {
        if (m_pWindow->Dialog().WorkerRunning())
            m_pWindow->Dialog().OnCancel();
        m_pWindow.reset();
        m_pBoard.reset();
        m_pDir.reset();
    }

    void captionsAndArrangementAtStartUp()
    {
        QCOMPARE(m_pWindow->windowTitle(), QStringLiteral("Kestrel_NorFlash"));
        QVERIFY(!m_pWindow->windowIcon().isNull());
        QCOMPARE(m_pWindow->LogText(), LOG_START);
        auto* pLog = Get<QPlainTextEdit>(IDC_LOG);
        QCOMPARE(pLog->toPlainText(), Pane(LOG_START));
        QVERIFY(pLog->isReadOnly());
        QCOMPARE(Get<QLineEdit>(IDC_MAC)->text(), QStringLiteral("^587675010202^587675010203"));
        QCOMPARE(Get<QLineEdit>(IDC_FACTORY)->text(), QStringLiteral("12345678"));
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{8}$")).match(Get<QLineEdit>(IDC_REG)->text()).hasMatch());
        QCOMPARE(Get<QLabel>(IDC_FACTORY_LABEL)->text(), QStringLiteral("出厂编号"));
        QCOMPARE(Get<QLabel>(IDC_REG_LABEL)->text(), QStringLiteral("注册编号"));
        QCOMPARE(Get<QLabel>(IDC_SELECTCOM)->text(), QStringLiteral("选择COM"));
        QCOMPARE(Button(IDOK)->text(), QStringLiteral("开始下载"));
        QCOMPARE(Button(IDC_STOP)->text(), QStringLiteral("终止"));
        QCOMPARE(Button(IDCANCEL)->text(), QStringLiteral("退出"));
        QCOMPARE(Button(IDC_SET)->text(), QStringLiteral("高级"));
        QVERIFY(Button(IDOK)->isDefault());
        QVERIFY(Buttons(true, true, true));
        QVERIFY(Button(IDC_SET)->isEnabled());
        QCOMPARE(Get<QProgressBar>(IDC_PROGRESS)->value(), 0);

        auto* pSelector = Get<QComboBox>(IDC_PORT);
        QVERIFY(pSelector->isEditable());
        QCOMPARE(pSelector->count(), 3);
        QCOMPARE(pSelector->itemText(0), QStringLiteral("COM3"));
        QCOMPARE(pSelector->itemText(1), QStringLiteral("COM5"));
        QCOMPARE(pSelector->itemText(2), QStringLiteral("COM12"));
        QCOMPARE(m_pWindow->GetCurSel(), -1);
        pSelector->setCurrentIndex(1);
        QCOMPARE(m_pWindow->GetCurSel(), 1);

        QStringList hints;
        for (QLabel* pLabel : m_pWindow->findChildren<QLabel*>())
            hints << pLabel->text();
        QVERIFY(hints.contains(QStringLiteral("example:12345678")));
        QVERIFY(hints.contains(QStringLiteral("example:^587675010203^587675030405")));
        QVERIFY(hints.contains(QStringLiteral("MAC ID")));

        // Top to bottom: log, progress, factory row, MAC row, selector and buttons.
        auto top = [&](int nId) { return m_pWindow->Control(nId)->mapTo(m_pWindow.get(), QPoint(0, 0)).y(); };
        QVERIFY(top(IDC_LOG) < top(IDC_PROGRESS));
        QVERIFY(top(IDC_PROGRESS) < top(IDC_FACTORY));
        QCOMPARE(top(IDC_FACTORY), top(IDC_REG));
        QVERIFY(top(IDC_FACTORY) < top(IDC_MAC));
        QVERIFY(top(IDC_MAC) < top(IDC_PORT));
        QVERIFY(top(IDC_MAC) < top(IDOK));

        // The log pane takes what a larger window adds.
        const int nLogHeight = m_pWindow->Control(IDC_LOG)->height();
        const int nButtonHeight = Button(IDOK)->height();
        m_pWindow->resize(m_pWindow->width() + 200, m_pWindow->height() + 200);
        QTRY_VERIFY(m_pWindow->Control(IDC_LOG)->height() >= nLogHeight + 150);
        QCOMPARE(Button(IDOK)->height(), nButtonHeight);
    }

    void refusedMacTextByButtonAndEnter()
    {
        Get<QComboBox>(IDC_PORT)->setCurrentIndex(0);
        auto* pMac = Get<QLineEdit>(IDC_MAC);
        pMac->setText(QString(25, QLatin1Char('A')));
        QTest::mouseClick(Button(IDOK), Qt::LeftButton);
        const std::string strRefused = "请输入正确的macid  \r\n";
        QCOMPARE(m_pWindow->LogText(), LOG_START + strRefused);
        pMac->setText(QString(27, QLatin1Char('A')));
        pMac->setFocus();
        QTest::keyClick(pMac, Qt::Key_Return);  // Enter acts as the download button
        QCOMPARE(m_pWindow->LogText(), LOG_START + strRefused + strRefused);
        QCOMPARE(Get<QPlainTextEdit>(IDC_LOG)->toPlainText(), Pane(LOG_START + strRefused + strRefused));
        QVERIFY(Buttons(true, true, true));
        QCOMPARE(Calls("OpenDevice"), 0);
    }

    // The 监控口 selector: hidden without monitor ports in tovar.cfg; with them, beside the fields,
    // first the board's own port, and held like the other inputs during a job.
    void monitorSelectorOnlyWithTheStationsMonitorPorts()
    {
        QVERIFY(Get<QComboBox>(IDC_MONITOR)->isHidden());
        QVERIFY(Get<QLabel>(IDC_MONITOR_LABEL)->isHidden());
        QCOMPARE(m_pWindow->GetMonitorSel(), -1);
        m_pWindow.reset();
        m_pDir->Write("tovar.cfg", "[slot1]\nport=COM3\nmonitor-port=usb:1-2.4\n");
        m_pWindow = std::make_unique<CTovarWindow>(m_pBoard->Factory(), m_Clock, TestOptions(m_pDir->Path(), 10000, [](int) { return std::string(); }));
        m_pWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pWindow.get()));
        auto* pMonitor = Get<QComboBox>(IDC_MONITOR);
        QVERIFY(pMonitor->isVisible());
        QCOMPARE(Get<QLabel>(IDC_MONITOR_LABEL)->text(), QStringLiteral("监控口"));
        QCOMPARE(pMonitor->count(), 2);
        QCOMPARE(pMonitor->itemText(0), QStringLiteral("同一串口"));
        QCOMPARE(pMonitor->itemText(1), QStringLiteral("usb:1-2.4"));
        QCOMPARE(m_pWindow->GetMonitorSel(), -1);
        pMonitor->setCurrentIndex(1);
        QCOMPARE(m_pWindow->GetMonitorSel(), 0);
        QVERIFY(pMonitor->width() >= pMonitor->sizeHint().width());
        SaveShot(m_pWindow.get(), "monitor-port");
        Get<QComboBox>(IDC_PORT)->setCurrentIndex(0);
        QTest::mouseClick(Button(IDOK), Qt::LeftButton);
        QVERIFY(!pMonitor->isEnabled());
        QVERIFY(QTest::qWaitFor([&] { return m_pWindow->Dialog().WaitJobResult(0).has_value(); }, 10000));
        QTRY_VERIFY(pMonitor->isEnabled());
        QVERIFY(m_pWindow->LogText().find("Waiting for the boot monitor's USB port usb:1-2.4") != std::string::npos);
    }

    void typedSelectorTextIsNoSelection()
    {
        auto* pSelector = Get<QComboBox>(IDC_PORT);
        pSelector->setCurrentIndex(0);
        pSelector->setEditText(QStringLiteral("COM9"));
        QCOMPARE(m_pWindow->GetCurSel(), -1);
        QTest::mouseClick(Button(IDOK), Qt::LeftButton);
        QCOMPARE(m_pWindow->LogText(), LOG_START + "->未选择串口, 请选择电路板的 COM 口\r\n");
        QCOMPARE(Calls("OpenDevice"), 0);
        // Nothing reached a board: the amber refusal, with what to do, and no earlier board's figures.
        QCOMPARE(m_pWindow->Verdict(), VerdictLook::Refused);
        QCOMPARE(m_pWindow->VerdictText(), std::string("未开始 — 串口不可用\n请检查串口线是否插好, 并选择正确的 COM 口"));
        QCOMPARE(m_pWindow->StatusText(), std::string());
        SaveShot(m_pWindow.get(), "refused");
    }

    void buttonTableThroughAJobAndStop()
    {
        QVERIFY(RunBringUp());
        QTRY_COMPARE(m_pWindow->LogText(), LOG_START + LOG_JOB);
        QCOMPARE(Get<QPlainTextEdit>(IDC_LOG)->toPlainText(), Pane(LOG_START + LOG_JOB));
        QCOMPARE(m_pBoard->CallSummary()[1], std::string("OpenDevice COM3"));
        QVERIFY(Buttons(false, false, true));  // the job holds them until the transfer or Stop
        // The console is awaited: its stage and its time on the job's clock beside the status line.
        QTRY_VERIFY2(m_pWindow->StageText().rfind("控制台  ", 0) == 0, m_pWindow->StageText().c_str());
        SaveShot(m_pWindow.get(), "console-countdown");

        // During the job: Enter, Escape and the close command change nothing.
        const std::string strLog = m_pWindow->LogText();
        QTest::keyClick(Get<QLineEdit>(IDC_MAC), Qt::Key_Return);
        QTest::keyClick(m_pWindow.get(), Qt::Key_Escape);
        QVERIFY(!m_pWindow->close());
        QVERIFY(m_pWindow->isVisible());
        QVERIFY(!m_pWindow->Ended());
        QCOMPARE(m_pWindow->BeepCount(), 2);
        QCOMPARE(Calls("OpenDevice"), 1);
        QCOMPARE(m_pWindow->LogText(), strLog);

        QTest::mouseClick(Button(IDC_STOP), Qt::LeftButton);
        QVERIFY(Buttons(true, true, true));
        QVERIFY(m_pWindow->Dialog().WorkerRunning());
        QVERIFY(m_pWindow->isVisible());
    }

    void exitDuringAJob()
    {
        QVERIFY(RunBringUp());
        QTest::mouseClick(Button(IDC_STOP), Qt::LeftButton);
        QTest::mouseClick(Button(IDCANCEL), Qt::LeftButton);
        QVERIFY(m_pWindow->Ended());
        QCOMPARE(m_pWindow->EndResult(), int(IDCANCEL));
        QVERIFY(!m_pWindow->Dialog().WorkerRunning());
        QVERIFY(!m_pWindow->isVisible());
    }

    void exitWhileIdleByButtonEscapeOrClose_data()
    {
        QTest::addColumn<int>("nWay");
        QTest::newRow("Exit button") << 0;
        QTest::newRow("Escape key") << 1;
        QTest::newRow("close command") << 2;
    }

    void exitWhileIdleByButtonEscapeOrClose()
    {
        QFETCH(int, nWay);
        bool bExitRan = false;
        m_pWindow->SetBeforeExit([&] { bExitRan = true; });
        if (nWay == 0)
            QTest::mouseClick(Button(IDCANCEL), Qt::LeftButton);
        else if (nWay == 1)
            QTest::keyClick(m_pWindow.get(), Qt::Key_Escape);
        else
            QVERIFY(m_pWindow->close());
        QVERIFY(bExitRan);
        QVERIFY(m_pWindow->Ended());
        QCOMPARE(m_pWindow->EndResult(), int(IDCANCEL));
        QVERIFY(!m_pWindow->Dialog().WorkerRunning());
        QVERIFY(!m_pWindow->isVisible());
    }

    // Requests from another thread never wait for the window and arrive in call order, also
    // relative to appends made on the window's thread afterwards.
    void workerRequestsArriveInOrderWithoutBlocking()
    {
        std::string strExpected = LOG_START;
        for (int i = 0; i < 200; ++i)
            strExpected += "->line " + std::to_string(i) + "\r\n";
        std::thread worker([&] {
            for (int i = 0; i < 200; ++i) {
                m_pWindow->AppendLog("->line " + std::to_string(i) + "\r\n");
                m_pWindow->EnableControl(IDC_STOP, i % 2 == 1);
                m_pWindow->SetProgress(i / 2);
            }
        });
        worker.join();  // done although this thread served no event meanwhile
        QCOMPARE(m_pWindow->LogText(), LOG_START);
        m_pWindow->AppendLog("->last\r\n");  // on the window's thread: after everything queued
        QCOMPARE(m_pWindow->LogText(), strExpected + "->last\r\n");
        QCOMPARE(Get<QPlainTextEdit>(IDC_LOG)->toPlainText(), Pane(strExpected + "->last\r\n"));
        QVERIFY(Button(IDC_STOP)->isEnabled());
        QCOMPARE(m_pWindow->Progress(), 99);
        m_pWindow->SetProgress(150);
        QCOMPARE(m_pWindow->Progress(), 100);
    }
};

TOVAR_GUI_TEST(MainWindowTest)
#include "main_window_qtest.moc"
