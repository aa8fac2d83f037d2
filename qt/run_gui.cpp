#include "qt/run_gui.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <functional>
#include <memory>

#include "qt/gang_window.h"
#include "qt/tovar_icon.h"
#include "qt/tovar_window.h"
#include "qt/widget_text.h"
#include "qt/window_language.h"

namespace {

// Saves the window's picture a tick after the awaited text is in the log, or when the time is up;
// then runs fnExit.
class CScreenshot {
public:
    CScreenshot(QWidget& window, const GuiRunOptions& options, std::function<bool()> fnTextSeen,
                std::function<void()> fnExit)
        : m_Window(window), m_Options(options), m_fnTextSeen(std::move(fnTextSeen)), m_fnExit(std::move(fnExit))
    {
        m_Clock.start();
        QObject::connect(&m_Timer, &QTimer::timeout, &window, [this] { Poll(); });
        m_Timer.start(100);
    }
    int Status() const { return m_nStatus; }

private:
    void Poll()
    {
        const bool bShown = m_Window.isVisible() && m_Window.windowHandle() && m_Window.windowHandle()->isExposed();
        const bool bTextSeen = !m_Options.strScreenshotWhen.empty() && m_fnTextSeen();
        const bool bTimeUp = m_Clock.elapsed() >= m_Options.nScreenshotAfterMs;
        // One more tick after the text: what the job reports right after it (verdict, status) is in.
        const bool bSettled = bShown && bTextSeen && m_bSeenBefore;
        m_bSeenBefore = bShown && bTextSeen;
        if (!bSettled && !bTimeUp)
            return;
        m_Timer.stop();
        if (!bShown) {
            std::fprintf(stderr, "tovar: the window did not appear; no screenshot taken\n");
            m_nStatus = 3;
        } else if (!m_Window.grab().save(QString::fromStdString(m_Options.strScreenshot), "PNG")) {
            std::fprintf(stderr, "tovar: cannot write %s\n", m_Options.strScreenshot.c_str());
            m_nStatus = 4;
        } else if (!m_Options.strScreenshotWhen.empty() && !bTextSeen) {
            std::fprintf(stderr, "tovar: screenshot taken, but the log never showed \"%s\"\n",
                         m_Options.strScreenshotWhen.c_str());
            m_nStatus = 5;
        } else {
            m_nStatus = 0;
        }
        m_fnExit();
    }

    QWidget& m_Window;
    const GuiRunOptions& m_Options;
    std::function<bool()> m_fnTextSeen;
    std::function<void()> m_fnExit;
    QTimer m_Timer;
    QElapsedTimer m_Clock;
    int m_nStatus = 3;
    bool m_bSeenBefore = false;
};

// Without a display Qt would abort; say what is missing instead.
bool HaveDisplay(bool bSay = true)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        if (bSay)
            std::fprintf(stderr, "tovar: no display (DISPLAY or WAYLAND_DISPLAY not set); "
                                 "use tovar flash or tovar gang to run without a window\n");
        return false;
    }
    return true;
}

// The application object both windows run in.
class CTovarApplication {
public:
    explicit CTovarApplication(const GuiRunOptions& options) : m_App(m_nArgc, m_argv)
    {
        QApplication::setApplicationName(QStringLiteral("Tovar"));
        QApplication::setApplicationVersion(options.strBuildText.empty() ? QStringLiteral("1.0")
                                                                         : QString::fromStdString(options.strBuildText));
        QApplication::setWindowIcon(TovarIcon());
        InstallWindowLanguage(m_Translator, options.strLang);
    }

private:
    int m_nArgc = 1;
    char m_szName[6] = "tovar";
    char* m_argv[2] = {m_szName, nullptr};
    QApplication m_App;
    QTranslator m_Translator;
};

}  // namespace

int RunGui(At91BackendFactory fnBackendFactory, const TovarJobOptions& jobOptions, const GuiRunOptions& guiOptions,
           std::atomic<int>* pCancel)
{
    if (!HaveDisplay())
        return 2;
    CTovarApplication app(guiOptions);
    CTovarWindow window(std::move(fnBackendFactory), SystemClock(), jobOptions);
    window.SetBuildText(guiOptions.strBuildText);
    if (!guiOptions.strStartupLog.empty())
        window.AppendLog(guiOptions.strStartupLog);
    if (pCancel)
        window.SetBeforeExit([pCancel] { *pCancel = 1; });
    window.show();

    if (guiOptions.bStartJob) {
        QTimer::singleShot(0, &window, [&window] {
            auto* pSelector = qobject_cast<QComboBox*>(window.Control(IDC_PORT));
            if (pSelector && pSelector->count() > 0)
                pSelector->setCurrentIndex(0);
            qobject_cast<QPushButton*>(window.Control(IDOK))->click();
        });
    }
    std::unique_ptr<CScreenshot> pScreenshot;
    if (!guiOptions.strScreenshot.empty())
        pScreenshot = std::make_unique<CScreenshot>(
            window, guiOptions,
            [&window, &guiOptions] { return window.LogText().find(guiOptions.strScreenshotWhen) != std::string::npos; },
            [&window] { window.Exit(); });

    window.exec();
    return pScreenshot ? pScreenshot->Status() : 0;
}

int RunGangGui(const GangControlFactory& fnMakeControl, const GuiRunOptions& guiOptions)
{
    if (!HaveDisplay())
        return 2;
    CTovarApplication app(guiOptions);
    CGangWindow window(fnMakeControl, SystemClock());
    window.show();
    if (guiOptions.bStartJob)
        QTimer::singleShot(0, &window, [&window] { window.StartAll(); });
    std::unique_ptr<CScreenshot> pScreenshot;
    if (!guiOptions.strScreenshot.empty())
        pScreenshot = std::make_unique<CScreenshot>(
            window, guiOptions, [&window, &guiOptions] { return window.EveryLogHolds(guiOptions.strScreenshotWhen); },
            [&window] {
                // The picture is taken: the boards still running stop without a question.
                window.SetConfirmExit([](int) { return true; });
                window.Exit();
            });
    window.exec();
    return pScreenshot ? pScreenshot->Status() : 0;
}

int ShowGuiStartError(const std::string& strWhy, const GuiRunOptions& guiOptions)
{
    std::fprintf(stderr, "tovar: %s\n", strWhy.c_str());
    // Started from a desktop, nobody reads stderr: say it in a box as well (not when pictured).
    if (!HaveDisplay(false) || !guiOptions.strScreenshot.empty())
        return 2;
    CTovarApplication app(guiOptions);
    QMessageBox::critical(nullptr, QStringLiteral("Tovar"), FromUtf8(strWhy));
    return 2;
}
