// Writes the window's icon as <folder>/<n>x<n>/apps/tovar.png for each size it holds, so the
// desktop entry shows the same drawing as the window (run at build time, offscreen).
#include <QDir>
#include <QGuiApplication>

#include <cstdio>

#include "qt/tovar_icon.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString strRoot = QString::fromLocal8Bit(argv[1]);
    for (int nSize : TovarIconSizes()) {
        const QString strDir = QString("%1/%2x%2/apps").arg(strRoot).arg(nSize);
        if (!QDir().mkpath(strDir) || !TovarIconPixmap(nSize).save(strDir + "/tovar.png", "PNG")) {
            std::fprintf(stderr, "cannot write %s/tovar.png\n", qPrintable(strDir));
            return 1;
        }
    }
    return 0;
}
