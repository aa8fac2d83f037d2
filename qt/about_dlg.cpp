#include "qt/about_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "qt/tovar_icon.h"

CAboutDlg::CAboutDlg(const std::string& strBuild, QWidget* pParent) : QDialog(pParent)
{
    setWindowTitle(QStringLiteral("About Tovar"));
    setWindowIcon(TovarIcon());

    auto* pIcon = new QLabel(this);
    pIcon->setPixmap(TovarIcon().pixmap(48, 48));
    pIcon->setAlignment(Qt::AlignTop);

    m_pVersion = new QLabel(QStringLiteral("Tovar Version 1.0"), this);
    m_pVersion->setTextFormat(Qt::PlainText);
    m_pVersion->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pBuild = new QLabel(QString::fromStdString(strBuild.empty() ? "version unknown" : strBuild), this);
    m_pBuild->setTextFormat(Qt::PlainText);
    m_pBuild->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* pTexts = new QVBoxLayout;
    pTexts->addWidget(m_pVersion);
    pTexts->addWidget(m_pBuild);
    pTexts->addStretch();

    m_pOk = new QPushButton(QStringLiteral("OK"), this);
    m_pOk->setDefault(true);
    m_pOk->setMinimumWidth(88);
    connect(m_pOk, &QPushButton::clicked, this, &QDialog::accept);

    auto* pButtons = new QVBoxLayout;
    pButtons->addWidget(m_pOk);
    pButtons->addStretch();

    auto* pLayout = new QHBoxLayout(this);
    pLayout->setContentsMargins(18, 18, 18, 18);
    pLayout->setSpacing(16);
    pLayout->addWidget(pIcon);
    pLayout->addLayout(pTexts, 1);
    pLayout->addLayout(pButtons);
    pLayout->setSizeConstraint(QLayout::SetFixedSize);
    m_pVersion->setMinimumWidth(200);
}
