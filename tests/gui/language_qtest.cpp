#include <QCheckBox>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTranslator>

#include "gui/gui_test.h"
#include "gui/station_fixture.h"
#include "qt/gang_tile.h"
#include "qt/tovar_window.h"
#include "qt/window_language.h"
#include "sim/at91_sim_board.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"
#include "support/test_options.h"

// The windows' own texts in English; the fixed captions and the cause table's sentences stay Chinese.
class LanguageTest : public QObject {
    Q_OBJECT

private slots:
    void englishReachesTheWindowsOwnTexts()
    {
        CTempDir dir;
        WriteStation(dir);
        CAt91SimBoard board;
        CFakeClock clock;
        QTranslator translator;
        QVERIFY(InstallWindowLanguage(translator, "en"));
        {
            CTovarWindow window(board.Factory(), clock, TestOptions(dir.Path(), 10000, [](int) { return std::string(); }));
            QCOMPARE(window.findChild<QMenuBar*>()->actions().value(0)->text(), QStringLiteral("&Help"));
            QCOMPARE(qobject_cast<QCheckBox*>(window.Control(IDC_AUTONUM))->text(), QStringLiteral("Auto numbers"));
            QCOMPARE(QString::fromStdString(window.GetText(IDOK)), QStringLiteral("开始下载"));
            window.ShowVerdict(VerdictLook::Failure, "失败 — 串口打开失败\n请检查串口线");
            QCOMPARE(QString::fromStdString(window.VerdictText()), QStringLiteral("Failed — 串口打开失败\n请检查串口线"));
            CGangTile tile(3, "COM3", clock, nullptr);
            QCOMPARE(tile.title(), QStringLiteral("Slot 3   COM3"));
            QCOMPARE(QString::fromStdString(tile.StageText()), QStringLiteral("Idle"));
        }
        QCoreApplication::removeTranslator(&translator);
        CGangTile tile(3, "COM3", clock, nullptr);
        QCOMPARE(QString::fromStdString(tile.StageText()), QStringLiteral("空闲"));
    }

    void languageFromTheOptionElseTheLocale()
    {
        const QByteArray saved = qgetenv("LANG");
        qunsetenv("LC_ALL");
        qunsetenv("LC_MESSAGES");
        qputenv("LANG", "en_US.UTF-8");
        QVERIFY(WantsEnglish(""));
        QVERIFY(!WantsEnglish("zh"));
        qputenv("LANG", "zh_CN.UTF-8");
        QVERIFY(!WantsEnglish(""));
        QVERIFY(WantsEnglish("en"));
        qputenv("LANG", "C.UTF-8");
        QVERIFY(!WantsEnglish(""));
        qputenv("LANG", saved);
    }
};

TOVAR_GUI_TEST(LanguageTest)
#include "language_qtest.moc"
