#include <QApplication>
#include <QTest>
#include <vector>

#include "gui/gui_test.h"

namespace {
std::vector<GuiTestFactory>& Registry()
{
    static std::vector<GuiTestFactory> tests;
    return tests;
}
}  // namespace

int RegisterGuiTest(GuiTestFactory fnFactory)
{
    Registry().push_back(std::move(fnFactory));
    return static_cast<int>(Registry().size());
}

// Runs every registered test class on the offscreen platform; the status counts the failures.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int nFailures = 0;
    for (const GuiTestFactory& fnFactory : Registry()) {
        std::unique_ptr<QObject> pTest = fnFactory();
        nFailures += QTest::qExec(pTest.get(), argc, argv);
    }
    return nFailures == 0 ? 0 : 1;
}
