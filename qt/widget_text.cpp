#include "qt/widget_text.h"

#include "qt/console_text.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

QString FromUtf8(const std::string& str) { return QString::fromUtf8(str.data(), static_cast<qsizetype>(str.size())); }

std::string ToUtf8(const QString& str)
{
    QByteArray bytes = str.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QLabel* MakeLabel(const QString& strText, QWidget* pParent)
{
    auto* pLabel = new QLabel(strText, pParent);
    pLabel->setTextFormat(Qt::PlainText);
    return pLabel;
}

QLabel* MakeHint(const QString& strText, QWidget* pParent)
{
    QLabel* pHint = MakeLabel(strText, pParent);
    QPalette palette = pHint->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    pHint->setPalette(palette);
    return pHint;
}

QPushButton* MakeButton(const QString& strText, QWidget* pParent)
{
    auto* pButton = new QPushButton(strText, pParent);
    pButton->setAutoDefault(false);
    return pButton;
}

QLabel* MakeVerdictLabel(QWidget* pParent, double dScale)
{
    QLabel* pLabel = MakeLabel(QString(), pParent);
    pLabel->setAlignment(Qt::AlignCenter);
    pLabel->setWordWrap(true);
    pLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Minimum);
    QFont font = pLabel->font();
    font.setPointSizeF(font.pointSizeF() * dScale);
    font.setBold(true);
    pLabel->setFont(font);
    pLabel->hide();
    return pLabel;
}

void ShowVerdictOn(QLabel* pLabel, VerdictLook look, const std::string& strText)
{
    if (look == VerdictLook::None) {
        pLabel->hide();
        pLabel->clear();
        return;
    }
    // Amber carries dark text; the other colours white.
    const bool bAmber = look == VerdictLook::Refused || look == VerdictLook::Partial;
    const char* szBackground = look == VerdictLook::Success   ? "#1b7f3a"
                               : look == VerdictLook::Failure ? "#c62828"
                               : bAmber                       ? "#ffb300"
                                                              : "#546e7a";
    pLabel->setStyleSheet(QStringLiteral("QLabel { background-color: %1; color: %2; padding: 8px; "
                                         "border-radius: 4px; }")
                              .arg(QLatin1String(szBackground), QLatin1String(bAmber ? "#212121" : "white")));
    pLabel->setText(ConsoleText(strText));
    // Tall enough for every line of the text, so a narrow tile never clips its next step.
    const int nLines = 1 + static_cast<int>(std::count(strText.begin(), strText.end(), '\n'));
    pLabel->setMinimumHeight(nLines * pLabel->fontMetrics().lineSpacing() + 20);
    pLabel->show();
}
