#include "qt/set_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "qt/console_text.h"

CSetDialog::CSetDialog(CSet& model, QWidget* pParent) : QDialog(pParent), m_Model(model)
{
    setWindowTitle(QString::fromUtf8(CSet::TITLE));
    m_Model.OnInitDialog();

    auto* pRows = new QGridLayout;
    pRows->setHorizontalSpacing(10);
    pRows->setVerticalSpacing(8);
    for (int k = 0; k < CSet::ROWS; ++k) {
        const CSet::RowInfo row = m_Model.GetRow(k);
        m_pBoxes[k] = new QCheckBox(this);
        m_pBoxes[k]->setChecked(row.bChecked);
        m_pBoxes[k]->setEnabled(row.bEnabled);
        m_pNames[k] = new QLabel(QString::fromStdString(row.strName), this);
        m_pNames[k]->setTextFormat(Qt::PlainText);
        m_pNames[k]->setMinimumWidth(220);
        m_pNames[k]->setBuddy(m_pBoxes[k]);
        if (!row.bVisible) {
            m_pBoxes[k]->hide();
            m_pNames[k]->hide();
        }
        pRows->addWidget(m_pBoxes[k], k, 0);
        pRows->addWidget(m_pNames[k], k, 1);
        // The model has the last word: a click it refuses is taken back.
        connect(m_pBoxes[k], &QCheckBox::toggled, this, [this, k](bool bChecked) {
            if (!m_Model.SetBox(k, bChecked)) {
                QSignalBlocker block(m_pBoxes[k]);
                m_pBoxes[k]->setChecked(m_Model.GetRow(k).bChecked);
            }
        });
    }
    pRows->setColumnStretch(1, 1);
    // Without a file table the dialog says why instead of showing nameless boxes.
    if (!m_Model.Problem().empty()) {
        m_pProblem = new QLabel(ConsoleText(m_Model.Problem()), this);
        m_pProblem->setTextFormat(Qt::PlainText);
        m_pProblem->setWordWrap(true);
        m_pProblem->setMinimumWidth(320);
    }

    auto* pButtons = new QDialogButtonBox(this);
    m_pOk = pButtons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    m_pCancel = pButtons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    m_pOk->setDefault(true);
    connect(pButtons, &QDialogButtonBox::accepted, this, &CSetDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &CSetDialog::reject);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(16, 16, 16, 12);
    pLayout->setSpacing(14);
    if (m_pProblem)
        pLayout->addWidget(m_pProblem);
    pLayout->addLayout(pRows);
    pLayout->addWidget(pButtons);
    pLayout->setSizeConstraint(QLayout::SetFixedSize);
}

// OK takes the boxes into the model; Cancel and the close command leave it as it was.
void CSetDialog::accept()
{
    m_Model.OnOK();
    QDialog::accept();
}
