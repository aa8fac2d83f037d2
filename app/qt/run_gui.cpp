#include "app/qt/run_gui.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <memory>

#include "app/qt/tovar_icon.h"
#include "app/qt/tovar_window.h"

namespace {

// Saves the window's picture a tick after the awaited text is in the log, or when the time is up.
class CScreenshot {
public:
    CScreenshot(CTovarWindow& window, const GuiRunOptions& options) : m_Window(window), m_Options(options)
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
        const bool bTextSeen = !m_Options.strScreenshotWhen.empty() &&
                               m_Window.LogText().find(m_Options.strScreenshotWhen) != std::string::npos;
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
        m_Window.Exit();
    }

    CTovarWindow& m_Window;
    const GuiRunOptions& m_Options;
    QTimer m_Timer;
    QElapsedTimer m_Clock;
    int m_nStatus = 3;
    bool m_bSeenBefore = false;
};

}  // namespace

int RunGui(At91BackendFactory fnBackendFactory, const TovarJobOptions& jobOptions, const GuiRunOptions& guiOptions,
           std::atomic<int>* pCancel)
{
    // Without a display Qt would abort; say what is missing instead.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "tovar: no display (DISPLAY or WAYLAND_DISPLAY not set); "
                             "use tovar flash to run a job without a window\n");
        return 2;
    }
    static int nArgc = 1;
    static char szName[] = "tovar";
    static char* argv[] = {szName, nullptr};
    QApplication app(nArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Tovar"));
    QApplication::setApplicationVersion(guiOptions.strBuildText.empty() ? QStringLiteral("1.0")
                                                                          : QString::fromStdString(guiOptions.strBuildText));
    QApplication::setWindowIcon(TovarIcon());

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
        pScreenshot = std::make_unique<CScreenshot>(window, guiOptions);

    window.exec();
    return pScreenshot ? pScreenshot->Status() : 0;
}
