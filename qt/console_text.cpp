#include "qt/console_text.h"

#include <QCoreApplication>

#include "qt/widget_text.h"

namespace {

bool IsHan(QChar c) { return c.script() == QChar::Script_Han; }

}  // namespace

QString ConsoleText(const std::string& strUtf8)
{
    const QString strText = FromUtf8(strUtf8);
    QString strOut;
    strOut.reserve(strText.size());
    for (qsizetype i = 0; i < strText.size();) {
        if (!IsHan(strText[i])) {
            strOut += strText[i++];
            continue;
        }
        qsizetype nEnd = i;
        while (nEnd < strText.size() && IsHan(strText[nEnd]))
            ++nEnd;
        const QByteArray run = strText.mid(i, nEnd - i).toUtf8();
        strOut += QCoreApplication::translate("Console", run.constData());
        i = nEnd;
    }
    return strOut;
}
