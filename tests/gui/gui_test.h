#pragma once
#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

// Test classes register themselves; gui_test_main.cpp runs them all with QTest.
using GuiTestFactory = std::function<std::unique_ptr<QObject>()>;
int RegisterGuiTest(GuiTestFactory fnFactory);
#define TOVAR_GUI_TEST(Class) \
    static const int s_nRegistered##Class = RegisterGuiTest([] { return std::make_unique<Class>(); });

// Acts on the next modal dialog of type T once it shows (polled on the event loop, given up after
// nTimeoutMs). The action must end the dialog; checks are recorded by the caller and verified
// after the modal loop has returned.
template <typename T>
void WhenModal(std::function<void(T*)> fnAct, int nTimeoutMs = 10000)
{
    auto* pTimer = new QTimer;
    auto pClock = std::make_shared<QElapsedTimer>();
    pClock->start();
    QObject::connect(pTimer, &QTimer::timeout, [pTimer, pClock, fnAct, nTimeoutMs] {
        T* pDialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!pDialog && pClock->elapsed() < nTimeoutMs)
            return;
        pTimer->stop();
        pTimer->deleteLater();
        if (pDialog)
            fnAct(pDialog);
    });
    pTimer->start(10);
}

// With TOVAR_SHOT_DIR set (tests/gui/screenshot.sh), saves a picture of the widget as NAME.png
// there; with bScreen, of the screen around it, so a dialog above it is in the picture too.
inline void SaveShot(QWidget* pWidget, const char* szName, bool bScreen = false)
{
    const QString strDir = qEnvironmentVariable("TOVAR_SHOT_DIR");
    if (strDir.isEmpty() || !pWidget)
        return;
    QApplication::processEvents();
    const QString strFile = strDir + QStringLiteral("/") + QString::fromUtf8(szName) + QStringLiteral(".png");
    QScreen* pScreen = QGuiApplication::primaryScreen();
    if (bScreen && pScreen) {
        const QRect frame = pWidget->window()->frameGeometry();
        pScreen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).save(strFile, "PNG");
    } else {
        pWidget->window()->grab().save(strFile, "PNG");
    }
}
