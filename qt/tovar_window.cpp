#include "qt/tovar_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "qt/about_dlg.h"
#include "qt/console_text.h"
#include "qt/pin_dialog.h"
#include "qt/set_dialog.h"
#include "qt/tovar_icon.h"
#include "qt/widget_text.h"

namespace {

// The pane breaks lines at "\n"; the messages end their lines with "\r\n".
QString ForPane(const std::string& strText)
{
    QString str = FromUtf8(strText);
    str.remove(QLatin1Char('\r'));
    return str;
}

}  // namespace

CTovarWindow::CTovarWindow(At91BackendFactory fnBackendFactory, IClock& clock, TovarJobOptions options,
                           QWidget* pParent)
    : QDialog(pParent, Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Kestrel_NorFlash"));
    setWindowIcon(TovarIcon());
    BuildControls();
    m_pDlg = std::make_unique<CTovarDlg>(*this, std::move(fnBackendFactory), clock, std::move(options));
    m_pDlg->OnInitDialog();
    // The stage's time runs on by itself, between the job's reports.
    auto* pTimer = new QTimer(this);
    connect(pTimer, &QTimer::timeout, this, [this] { m_labelStage->setText(ConsoleText(m_pDlg->StageText())); });
    pTimer->start(250);
}

// The dialog goes first: its destructor ends the worker, which may still post to this window.
CTovarWindow::~CTovarWindow() { m_pDlg.reset(); }

void CTovarWindow::BuildControls()
{
    m_editLog = new QPlainTextEdit(this);
    m_editLog->setReadOnly(true);
    m_editLog->setUndoRedoEnabled(false);
    m_editLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_editLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_editLog->setMinimumHeight(160);
    m_editLog->document()->setDocumentMargin(6);
    // A pane showing its end keeps showing it when it gets shorter (the verdict banner appears).
    QScrollBar* pScroll = m_editLog->verticalScrollBar();
    connect(pScroll, &QScrollBar::valueChanged, this, [this, pScroll](int nValue) { m_bLogAtEnd = nValue >= pScroll->maximum(); });
    connect(pScroll, &QScrollBar::rangeChanged, this, [this, pScroll](int, int nMax) {
        if (m_bLogAtEnd)
            pScroll->setValue(nMax);
    });

    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(true);

    // File, rate, times and resends of the transfer; a long file name is cut, never widens the window.
    m_labelStatus = MakeLabel(QString(), this);
    m_labelStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_labelStatus->setMinimumHeight(m_labelStatus->fontMetrics().height());

    // The last job's verdict, large and coloured; hidden until a job ends and again at the next press.
    m_labelStage = MakeLabel(QString(), this);
    QFont stageFont = m_labelStage->font();
    stageFont.setBold(true);
    m_labelStage->setFont(stageFont);
    m_labelVerdict = MakeVerdictLabel(this, 1.6);

    // Resource captions; the dialog's start-up replaces them with the operator's texts.
    QLabel* pFactoryLabel = MakeLabel(QStringLiteral("chuchangbianhao"), this);
    QLabel* pRegLabel = MakeLabel(QStringLiteral("zhucebianhao"), this);
    QLabel* pMacLabel = MakeLabel(QStringLiteral("MAC ID"), this);
    QLabel* pSelectLabel = MakeLabel(QStringLiteral("SelectCOM"), this);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_editFactory = new QLineEdit(this);
    m_editReg = new QLineEdit(this);
    m_editMac = new QLineEdit(this);
    for (QLineEdit* pEdit : {m_editFactory, m_editReg, m_editMac}) {
        pEdit->setFont(fixed);
        pEdit->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }
    const int nCharWidth = QFontMetrics(fixed).horizontalAdvance(QLatin1Char('0'));
    m_editFactory->setMinimumWidth(nCharWidth * 16);
    m_editReg->setMinimumWidth(nCharWidth * 16);
    m_editMac->setMinimumWidth(nCharWidth * 30);
    pFactoryLabel->setBuddy(m_editFactory);
    pRegLabel->setBuddy(m_editReg);
    pMacLabel->setBuddy(m_editMac);

    m_cbPort = new QComboBox(this);
    m_cbPort->setEditable(true);
    m_cbPort->setInsertPolicy(QComboBox::NoInsert);
    m_cbPort->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_cbPort->setMinimumContentsLength(18);
    pSelectLabel->setBuddy(m_cbPort);

    m_labelMonitor = MakeLabel(tr("监控口"), this);
    m_cbMonitor = new QComboBox(this);
    m_cbMonitor->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_cbMonitor->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_labelMonitor->setBuddy(m_cbMonitor);
    m_labelMonitor->hide();
    m_cbMonitor->hide();

    m_btnSet = MakeButton(QStringLiteral("set"), this);
    m_btnDownload = MakeButton(QStringLiteral("DownLoad"), this);
    m_btnStop = MakeButton(QStringLiteral("Stop"), this);
    m_btnExit = MakeButton(QStringLiteral("Cancel"), this);
    m_btnDownload->setAutoDefault(true);
    m_btnDownload->setDefault(true);
    QFont large = font();
    large.setPointSizeF(large.pointSizeF() * 1.25);
    for (QPushButton* pButton : {m_btnDownload, m_btnStop, m_btnExit}) {
        pButton->setFont(large);
        pButton->setMinimumSize(120, 44);
    }
    QFont bold = large;
    bold.setBold(true);
    m_btnDownload->setFont(bold);
    // The operator's main action stands out; disabled, it looks like any disabled button.
    QPalette accent = m_btnDownload->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        accent.setColor(group, QPalette::Button, QColor(0x1f, 0x6f, 0xc5));
        accent.setColor(group, QPalette::ButtonText, Qt::white);
    }
    m_btnDownload->setPalette(accent);

    connect(m_btnDownload, &QPushButton::clicked, this, [this] { m_pDlg->OnOK(); });
    connect(m_btnStop, &QPushButton::clicked, this, [this] { m_pDlg->OnStop(); });
    connect(m_btnExit, &QPushButton::clicked, this, [this] { Exit(); });
    connect(m_btnSet, &QPushButton::clicked, this, [this] { OnAdvanced(); });
    connect(m_cbPort, &QComboBox::activated, this, [this] { m_pDlg->OnSelChangePort(); });

    // Linux has no system menu: About lives in the Help menu and the window's context menu.
    auto* pMenuBar = new QMenuBar(this);
    QMenu* pHelp = pMenuBar->addMenu(tr("帮助(&H)"));
    m_pAboutAction = pHelp->addAction(QStringLiteral("&About Tovar..."));
    connect(m_pAboutAction, &QAction::triggered, this, [this] { ShowAbout(); });
    addAction(m_pAboutAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    auto* pFields = new QGridLayout;
    pFields->setHorizontalSpacing(10);
    pFields->setVerticalSpacing(8);
    pFields->addWidget(pFactoryLabel, 0, 0);
    pFields->addWidget(m_editFactory, 0, 1);
    pFields->addWidget(pRegLabel, 0, 2);
    pFields->addWidget(m_editReg, 0, 3);
    pFields->addWidget(MakeHint(QStringLiteral("example:12345678"), this), 0, 4);
    pFields->addWidget(pMacLabel, 1, 0);
    pFields->addWidget(m_editMac, 1, 1, 1, 3);
    pFields->addWidget(MakeHint(QStringLiteral("example:^587675010203^587675030405"), this), 1, 4);
    // Identities from the record's pools, and this station's count of the day.
    m_checkAutoNumber = new QCheckBox(QStringLiteral("autonum"), this);
    connect(m_checkAutoNumber, &QCheckBox::toggled, this, [this] { m_pDlg->OnAutoNumber(); });
    m_labelToday = new QLabel(this);
    pFields->addWidget(m_checkAutoNumber, 2, 1);
    pFields->addWidget(m_labelToday, 2, 2, 1, 3);
    pFields->addWidget(m_labelMonitor, 3, 0);
    pFields->addWidget(m_cbMonitor, 3, 1, 1, 2, Qt::AlignLeft);
    pFields->setColumnStretch(4, 1);  // a wider window widens the log, not the short fields

    auto* pBottom = new QHBoxLayout;
    pBottom->setSpacing(10);
    pBottom->addWidget(pSelectLabel);
    pBottom->addWidget(m_cbPort);
    pBottom->addWidget(m_btnSet);
    pBottom->addStretch(1);
    pBottom->addWidget(m_btnDownload);
    pBottom->addWidget(m_btnStop);
    pBottom->addWidget(m_btnExit);
    pBottom->setAlignment(pSelectLabel, Qt::AlignVCenter);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->setMenuBar(pMenuBar);
    pLayout->setContentsMargins(12, 10, 12, 12);
    pLayout->setSpacing(10);
    pLayout->addWidget(m_editLog, 1);
    pLayout->addWidget(m_progress);
    auto* pStatusRow = new QHBoxLayout;
    pStatusRow->addWidget(m_labelStatus, 1);
    pStatusRow->addWidget(m_labelStage);
    pLayout->addLayout(pStatusRow);
    pLayout->addWidget(m_labelVerdict);
    pLayout->addLayout(pFields);
    pLayout->addLayout(pBottom);

    m_Controls = {{IDOK, m_btnDownload},         {IDCANCEL, m_btnExit},     {IDC_LOG, m_editLog},
                  {IDC_PORT, m_cbPort},          {IDC_STOP, m_btnStop},     {IDC_PROGRESS, m_progress},
                  {IDC_SELECTCOM, pSelectLabel}, {IDC_MAC, m_editMac},      {IDC_SET, m_btnSet},
                  {IDC_FACTORY, m_editFactory},  {IDC_REG, m_editReg},      {IDC_FACTORY_LABEL, pFactoryLabel},
                  {IDC_REG_LABEL, pRegLabel},    {IDC_STATUS, m_labelStatus}, {IDC_VERDICT, m_labelVerdict},
                  {IDC_AUTONUM, m_checkAutoNumber}, {IDC_TODAY, m_labelToday},
                  {IDC_STAGE, m_labelStage},     {IDC_MONITOR, m_cbMonitor},
                  {IDC_MONITOR_LABEL, m_labelMonitor}};
    resize(820, 600);
}

QWidget* CTovarWindow::Control(int nId) const
{
    auto it = m_Controls.find(nId);
    return it == m_Controls.end() ? nullptr : it->second;
}

int CTovarWindow::Progress() const { return m_progress->value(); }

std::string CTovarWindow::StatusText() const { return ToUtf8(m_labelStatus->text()); }

std::string CTovarWindow::StageText() const { return ToUtf8(m_labelStage->text()); }

std::string CTovarWindow::VerdictText() const
{
    return m_labelVerdict->isHidden() ? std::string() : ToUtf8(m_labelVerdict->text());
}

bool CTovarWindow::OnWindowThread() const { return QThread::currentThread() == thread(); }

std::string CTovarWindow::GetText(int nId)
{
    QWidget* pControl = Control(nId);
    if (nId == IDC_LOG)
        return m_strLog;
    if (auto* pEdit = qobject_cast<QLineEdit*>(pControl))
        return ToUtf8(pEdit->text());
    if (auto* pCombo = qobject_cast<QComboBox*>(pControl))
        return ToUtf8(pCombo->currentText());
    if (auto* pLabel = qobject_cast<QLabel*>(pControl))
        return ToUtf8(pLabel->text());
    if (auto* pButton = qobject_cast<QPushButton*>(pControl))
        return ToUtf8(pButton->text());
    return {};
}

void CTovarWindow::SetText(int nId, const std::string& strText)
{
    m_Queue.Drain();
    ApplyText(nId, strText);
}

void CTovarWindow::SetTextLater(int nId, const std::string& strText) { Post({PendingOp::Text, nId, 0, strText}); }

bool CTovarWindow::IsChecked(int nId)
{
    auto* pBox = qobject_cast<QCheckBox*>(Control(nId));
    return pBox && pBox->isChecked();
}

void CTovarWindow::SetCheckedLater(int nId, bool bChecked) { Post({PendingOp::Check, nId, bChecked ? 1 : 0, {}}); }

void CTovarWindow::ApplyText(int nId, const std::string& strText)
{
    QWidget* pControl = Control(nId);
    if (nId == IDC_LOG) {
        m_strLog = strText;
        m_editLog->setPlainText(ForPane(strText));
    } else if (auto* pEdit = qobject_cast<QLineEdit*>(pControl)) {
        pEdit->setText(FromUtf8(strText));
    } else if (auto* pCombo = qobject_cast<QComboBox*>(pControl)) {
        pCombo->setEditText(FromUtf8(strText));
    } else if (auto* pLabel = qobject_cast<QLabel*>(pControl)) {
        pLabel->setText(ConsoleText(strText));
    } else if (auto* pBox = qobject_cast<QCheckBox*>(pControl)) {
        pBox->setText(ConsoleText(strText));
    } else if (auto* pButton = qobject_cast<QPushButton*>(pControl)) {
        pButton->setText(FromUtf8(strText));
    }
}

// Entries keep the order in which they are added; adding selects nothing.
void CTovarWindow::AddDevice(const std::string& strName)
{
    const int nSel = m_cbPort->currentIndex();
    const QString strEdit = m_cbPort->currentText();
    m_cbPort->addItem(FromUtf8(strName));
    m_cbPort->setCurrentIndex(nSel);
    if (nSel < 0)
        m_cbPort->setEditText(strEdit);
}

// A text typed into the selector's edit field that is not the chosen entry counts as no selection.
int CTovarWindow::GetCurSel()
{
    const int nSel = m_cbPort->currentIndex();
    if (nSel < 0 || m_cbPort->itemText(nSel) != m_cbPort->currentText())
        return -1;
    return nSel;
}

void CTovarWindow::ShowMonitorPorts(const std::vector<std::string>& names)
{
    m_cbMonitor->clear();
    m_cbMonitor->addItem(tr("同一串口"));  // the monitor answers on the chosen serial port
    for (const std::string& strName : names)
        m_cbMonitor->addItem(FromUtf8(strName));
    m_cbMonitor->setCurrentIndex(0);
    m_labelMonitor->show();
    m_cbMonitor->show();
}

int CTovarWindow::GetMonitorSel() { return m_cbMonitor->isHidden() ? -1 : m_cbMonitor->currentIndex() - 1; }

void CTovarWindow::SetCurSel(int nIndex) { m_cbPort->setCurrentIndex(nIndex); }

bool CTovarWindow::AskYesNo(const std::string& strText)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Tovar"), ConsoleText(strText), QMessageBox::NoButton, this);
    QPushButton* pYes = box.addButton(tr("重新安装"), QMessageBox::YesRole);
    box.setDefaultButton(box.addButton(tr("取消"), QMessageBox::NoRole));
    box.exec();
    return box.clickedButton() == pYes;
}

bool CTovarWindow::AskPin(const std::string& strPrompt, std::string& strPin)
{
    CPinDialog dlg(strPrompt, this);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    strPin = dlg.Pin();
    return true;
}

void CTovarWindow::ShowMessage(const std::string& strText)
{
    QMessageBox::warning(this, QStringLiteral("Tovar"), ConsoleText(strText));
}

bool CTovarWindow::RunAdvanced(CSet& dlg)
{
    CSetDialog form(dlg, this);
    return form.exec() == QDialog::Accepted;
}

void CTovarWindow::EndDialog(int nResult)
{
    m_Queue.Drain();
    m_bEnded = true;
    m_nEndResult = nResult;
    done(nResult);
}

void CTovarWindow::HideWindow() { hide(); }

void CTovarWindow::WarnBeep() { Post({PendingOp::Beep, 0, 0, {}}); }

void CTovarWindow::AppendLog(const std::string& strText) { Post({PendingOp::Log, 0, 0, strText}); }

void CTovarWindow::EnableControl(int nId, bool bEnable) { Post({PendingOp::Enable, nId, bEnable ? 1 : 0, {}}); }

void CTovarWindow::SetProgress(int nPercent) { Post({PendingOp::Progress, 0, nPercent, {}}); }

void CTovarWindow::SetStatusLine(const std::string& strText) { Post({PendingOp::Status, 0, 0, strText}); }

void CTovarWindow::ShowVerdict(VerdictLook look, const std::string& strText)
{
    Post({PendingOp::Verdict, 0, static_cast<int>(look), strText});
}

// Queues the request. On the window's thread it is carried out at once, after what was queued
// before it; from another thread one drain is posted for any number of requests.
void CTovarWindow::Post(PendingOp op) { m_Queue.Post(std::move(op)); }

void CTovarWindow::Drain(std::deque<PendingOp>& ops)
{
    std::string strLog;  // consecutive appends go into the pane in one step
    for (PendingOp& op : ops) {
        if (op.eKind == PendingOp::Log) {
            strLog += op.strText;
            continue;
        }
        ApplyLog(strLog);
        strLog.clear();
        Apply(op);
    }
    ApplyLog(strLog);
}

void CTovarWindow::Apply(const PendingOp& op)
{
    switch (op.eKind) {
    case PendingOp::Enable:
        if (QWidget* pControl = Control(op.nId))
            pControl->setEnabled(op.nValue != 0);
        break;
    case PendingOp::Progress:
        m_progress->setValue(std::clamp(op.nValue, 0, 100));
        break;
    case PendingOp::Status:
        m_labelStatus->setText(ConsoleText(op.strText));
        break;
    case PendingOp::Verdict:
        ApplyVerdict(static_cast<VerdictLook>(op.nValue), op.strText);
        break;
    case PendingOp::Beep:
        ++m_nBeeps;
        QApplication::beep();
        break;
    case PendingOp::Text:
        ApplyText(op.nId, op.strText);
        break;
    case PendingOp::Check:
        if (auto* pBox = qobject_cast<QCheckBox*>(Control(op.nId)))
            pBox->setChecked(op.nValue != 0);
        break;
    case PendingOp::Log:
        break;
    }
}

void CTovarWindow::ApplyVerdict(VerdictLook look, const std::string& strText)
{
    m_eVerdict = look;
    ShowVerdictOn(m_labelVerdict, look, strText);
}

// Appends at the end of the pane, whatever the operator has selected, and keeps the end in view.
void CTovarWindow::ApplyLog(const std::string& strText)
{
    if (strText.empty())
        return;
    m_strLog += strText;
    QTextCursor cursor(m_editLog->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(ForPane(strText));
    m_editLog->verticalScrollBar()->setValue(m_editLog->verticalScrollBar()->maximum());
}

void CTovarWindow::Exit()
{
    if (m_fnBeforeExit)
        m_fnBeforeExit();
    m_pDlg->OnCancel();
}

void CTovarWindow::ShowAbout()
{
    CAboutDlg about(m_strBuild, this);
    about.exec();
}

// The close command: the dialog decides; the window goes only when the dialog has ended.
void CTovarWindow::closeEvent(QCloseEvent* pEvent)
{
    if (!m_bEnded) {
        m_Queue.Drain();
        if (m_btnExit->isEnabled() && m_fnBeforeExit)
            m_fnBeforeExit();  // the close command is about to take the Exit path
        m_pDlg->OnClose();
    }
    if (m_bEnded)
        pEvent->accept();
    else
        pEvent->ignore();
}

// Escape acts as the Exit button while that button is enabled.
void CTovarWindow::reject()
{
    if (m_bEnded)
        return;
    if (m_btnExit->isEnabled())
        Exit();
    else
        WarnBeep();
}

void CTovarWindow::OnAdvanced() { m_pDlg->OnSet(); }
