#include "qt/pin_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "qt/console_text.h"
#include "qt/widget_text.h"

CPinDialog::CPinDialog(const std::string& strPrompt, QWidget* pParent) : QDialog(pParent)
{
    setWindowTitle(tr("工程师设置"));
    QLabel* pPrompt = MakeLabel(ConsoleText(strPrompt), this);
    m_pEdit = new QLineEdit(this);
    m_pEdit->setEchoMode(QLineEdit::Password);
    m_pEdit->setMinimumWidth(220);
    pPrompt->setBuddy(m_pEdit);
    auto* pButtons = new QDialogButtonBox(this);
    m_pOk = pButtons->addButton(tr("确定"), QDialogButtonBox::AcceptRole);
    pButtons->addButton(tr("取消"), QDialogButtonBox::RejectRole);
    m_pOk->setDefault(true);
    connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(16, 16, 16, 12);
    pLayout->addWidget(pPrompt);
    pLayout->addWidget(m_pEdit);
    pLayout->addWidget(pButtons);
    pLayout->setSizeConstraint(QLayout::SetFixedSize);
}

std::string CPinDialog::Pin() const { return ToUtf8(m_pEdit->text()); }
