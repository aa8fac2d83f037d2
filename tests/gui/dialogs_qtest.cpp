#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <memory>

#include <QLineEdit>
#include <QMessageBox>

#include "qt/about_dlg.h"
#include "qt/pin_dialog.h"
#include "station/engineer_pin.h"
#include "qt/set_dialog.h"
#include "qt/tovar_window.h"
#include "gui/gui_test.h"
#include "sim/at91_sim_board.h"
#include "support/fake_clock.h"
#include "gui/station_fixture.h"
#include "support/temp_dir.h"
#include "support/test_options.h"

// The Advanced dialog and the About box, reached from the main window.
class DialogsTest : public QObject {
    Q_OBJECT

private:
    struct Seen {
        QString strTitle;
        QStringList names;
        bool bChecked[CSet::ROWS] = {};
        bool bEnabled[CSet::ROWS] = {};
        bool bVisible[CSet::ROWS] = {};
    };

    std::unique_ptr<CTempDir> m_pDir;
    std::unique_ptr<CAt91SimBoard> m_pBoard;
    CFakeClock m_Clock;
    std::unique_ptr<CTovarWindow> m_pWindow;

    FileEntry* Files() { return m_pWindow->Dialog().m_Files; }

    // Presses the Advanced button; the modal dialog is looked at, optionally changed, then ended.
    Seen RunAdvanced(const std::function<void(CSetDialog*)>& fnChange, bool bOk)
    {
        Seen seen;
        WhenModal<CSetDialog>([&](CSetDialog* pDialog) {
            seen.strTitle = pDialog->windowTitle();
            for (int k = 0; k < CSet::ROWS; ++k) {
                seen.names << pDialog->NameLabel(k)->text();
                seen.bChecked[k] = pDialog->CheckBox(k)->isChecked();
                seen.bEnabled[k] = pDialog->CheckBox(k)->isEnabled();
                seen.bVisible[k] = pDialog->CheckBox(k)->isVisible() && pDialog->NameLabel(k)->isVisible();
            }
            fnChange(pDialog);
            QTest::mouseClick(bOk ? pDialog->OkButton() : pDialog->CancelButton(), Qt::LeftButton);
        });
        QTest::mouseClick(qobject_cast<QPushButton*>(m_pWindow->Control(IDC_SET)), Qt::LeftButton);
        return seen;
    }

    static void Click(CSetDialog* pDialog, int nRow)
    {
        QCheckBox* pBox = pDialog->CheckBox(nRow);
        QTest::mouseClick(pBox, Qt::LeftButton, {}, pBox->rect().center());
    }

    int Flags() const
    {
        int nBits = 0;
        for (int k = 0; k < CSet::ROWS; ++k)
            nBits |= (m_pWindow->Dialog().m_Files[k].cSelected & 1) << k;
        return nBits;
    }

private slots:
    void init()
    {
        m_pDir = std::make_unique<CTempDir>();
        WriteStation(*m_pDir);
        m_pBoard = std::make_unique<CAt91SimBoard>();
        m_pWindow = std::make_unique<CTovarWindow>(m_pBoard->Factory(), m_Clock, TestOptions(m_pDir->Path(), 10000, [](int) { return std::string(); }));
        m_pWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pWindow.get()));
    }

    void cleanup()
    {
        m_pWindow.reset();
        m_pBoard.reset();
        m_pDir.reset();
    }

    void advancedShowsFiveRowsByTheModel()
    {
        Seen seen = RunAdvanced([](CSetDialog*) {}, false);
        QCOMPARE(seen.strTitle, QStringLiteral("高级"));
        QCOMPARE(seen.names, (QStringList{"uboot.bin", "uImage", "rootfs.jffs2", "info.txt", ""}));
        for (int k = 0; k < 4; ++k)
            QVERIFY(seen.bChecked[k] && seen.bVisible[k]);
        QVERIFY(seen.bEnabled[0] && seen.bEnabled[1] && seen.bEnabled[2]);
        QVERIFY(!seen.bEnabled[3]);  // shows its flag, cannot be changed
        QVERIFY(!seen.bVisible[4]);
        QVERIFY(!seen.bChecked[4]);
    }

    void advancedCancelKeepsEveryFlag()
    {
        RunAdvanced([](CSetDialog* pDialog) {
            Click(pDialog, 0);
            Click(pDialog, 2);
        }, false);
        QCOMPARE(Flags(), 0b01111);
    }

    void advancedOkWritesTheBoxesBack()
    {
        RunAdvanced([](CSetDialog* pDialog) {
            Click(pDialog, 0);
            Click(pDialog, 3);  // disabled: no change
        }, true);
        QCOMPARE(Flags(), 0b01110);

        Seen seen = RunAdvanced([](CSetDialog* pDialog) { Click(pDialog, 0); }, true);  // shown as left, then back on
        QVERIFY(!seen.bChecked[0]);
        QCOMPARE(Flags(), 0b01111);

        RunAdvanced([](CSetDialog*) {}, true);  // OK without changes writes the same flags
        QCOMPARE(Flags(), 0b01111);
        QCOMPARE(int(Files()[4].cSelected), 0);
    }

    void advancedNamesAMissingConfiguration()
    {
        m_pWindow.reset();
        std::remove((m_pDir->Path() + "/KX30T/config.cfg").c_str());
        m_pWindow = std::make_unique<CTovarWindow>(m_pBoard->Factory(), m_Clock, TestOptions(m_pDir->Path(), 10000, [](int) { return std::string(); }));
        m_pWindow->show();
        QString strProblem;
        int nRowsShown = 0;
        WhenModal<CSetDialog>([&](CSetDialog* pDialog) {
            strProblem = pDialog->ProblemLabel() && pDialog->ProblemLabel()->isVisible() ? pDialog->ProblemLabel()->text() : QString();
            for (int k = 0; k < CSet::ROWS; ++k)
                nRowsShown += pDialog->CheckBox(k)->isVisible() ? 1 : 0;
            QTest::mouseClick(pDialog->CancelButton(), Qt::LeftButton);
        });
        QTest::mouseClick(qobject_cast<QPushButton*>(m_pWindow->Control(IDC_SET)), Qt::LeftButton);
        QCOMPARE(strProblem, QString::fromStdString("配置文件缺失: " + m_pDir->Path() + "/KX30T/config.cfg"));
        QCOMPARE(nRowsShown, 0);
    }

    void advancedAsksForTheEngineerPin()
    {
        m_pWindow.reset();
        TovarJobOptions options = TestOptions(m_pDir->Path(), 10000, [](int) { return std::string(); });
        options.station.strEngineerPin = PinHashText("2468", "a1");
        m_pWindow = std::make_unique<CTovarWindow>(m_pBoard->Factory(), m_Clock, options);
        m_pWindow->show();
        QString strPrompt, strMessage;
        bool bHidden = false;
        WhenModal<CPinDialog>([&](CPinDialog* pDialog) {
            strPrompt = pDialog->findChild<QLabel*>()->text();
            bHidden = pDialog->PinEdit()->echoMode() == QLineEdit::Password;
            QTest::keyClicks(pDialog->PinEdit(), "1357");
            WhenModal<QMessageBox>([&](QMessageBox* pBox) {
                strMessage = pBox->text();
                pBox->accept();
            });
            QTest::mouseClick(pDialog->OkButton(), Qt::LeftButton);
        });
        QPushButton* pSet = qobject_cast<QPushButton*>(m_pWindow->Control(IDC_SET));
        QTest::mouseClick(pSet, Qt::LeftButton);   // a wrong PIN: a message, no Advanced dialog
        QCOMPARE(strPrompt, QStringLiteral("请输入工程师密码"));
        QVERIFY(bHidden);
        QCOMPARE(strMessage, QStringLiteral("工程师密码错误, 设置未打开"));
        bool bAdvanced = false;
        WhenModal<CPinDialog>([&](CPinDialog* pDialog) {
            QTest::keyClicks(pDialog->PinEdit(), "2468");
            WhenModal<CSetDialog>([&](CSetDialog* pSetDialog) {
                bAdvanced = true;
                QTest::mouseClick(pSetDialog->CancelButton(), Qt::LeftButton);
            });
            QTest::mouseClick(pDialog->OkButton(), Qt::LeftButton);
        });
        QTest::mouseClick(pSet, Qt::LeftButton);
        QVERIFY(bAdvanced);
    }

    void aboutBoxFromTheHelpMenu()
    {
        QString strTitle;
        QString strVersion;
        QString strBuild;
        bool bIcon = false;
        bool bOkDefault = false;
        WhenModal<CAboutDlg>([&](CAboutDlg* pAbout) {
            strTitle = pAbout->windowTitle();
            strVersion = pAbout->VersionLabel()->text();
            strBuild = pAbout->BuildLabel()->text();
            for (QLabel* pLabel : pAbout->findChildren<QLabel*>())
                bIcon = bIcon || !pLabel->pixmap().isNull();
            bOkDefault = pAbout->OkButton()->isDefault() && pAbout->OkButton()->text() == QStringLiteral("OK");
            QTest::mouseClick(pAbout->OkButton(), Qt::LeftButton);
        });
        // Linux has no system menu: the item sits in the Help menu and the window's context menu.
        m_pWindow->SetBuildText("1.0 (commit abc1234)");
        QAction* pAbout = m_pWindow->AboutAction();
        QCOMPARE(pAbout->text(), QStringLiteral("&About Tovar..."));
        QVERIFY(m_pWindow->actions().contains(pAbout) && m_pWindow->contextMenuPolicy() == Qt::ActionsContextMenu);
        pAbout->trigger();  // returns when the box has closed
        QCOMPARE(strTitle, QStringLiteral("About Tovar"));
        QCOMPARE(strVersion, QStringLiteral("Tovar Version 1.0"));
        QCOMPARE(strBuild, QStringLiteral("1.0 (commit abc1234)"));
        QVERIFY(bIcon);
        QVERIFY(bOkDefault);
        QVERIFY(m_pWindow->isVisible());
        QVERIFY(!m_pWindow->Ended());
    }
};

TOVAR_GUI_TEST(DialogsTest)
#include "dialogs_qtest.moc"
