#include "qt/gang_tile.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "qt/console_text.h"
#include "qt/widget_text.h"
#include "ui/tovardlg.h"


CGangTile::CGangTile(int nSlot, const std::string& strPort, IClock& clock, QWidget* pParent)
    : QGroupBox(pParent), m_nSlot(nSlot), m_strPort(strPort), m_Clock(clock), m_Status(clock)
{
    setTitle(tr("槽 %1   %2").arg(nSlot).arg(FromUtf8(strPort)));
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_labelMac = MakeLabel(QStringLiteral("MAC ID: -"), this);
    m_labelNumbers = MakeLabel(QStringLiteral("出厂编号: -   注册编号: -"), this);
    for (QLabel* pLabel : {m_labelMac, m_labelNumbers}) {
        pLabel->setFont(fixed);
        pLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    m_labelStage = MakeLabel(tr("空闲"), this);
    m_labelStage->setWordWrap(true);
    QFont bold = m_labelStage->font();
    bold.setBold(true);
    m_labelStage->setFont(bold);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_labelStatus = MakeLabel(QString(), this);
    m_labelStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_labelStatus->setMinimumHeight(m_labelStatus->fontMetrics().height());
    m_labelVerdict = MakeVerdictLabel(this, 1.3);
    m_labelLog = MakeHint(QString(), this);
    m_labelLog->setWordWrap(true);
    m_labelLog->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Minimum);
    m_labelLog->setMinimumHeight(2 * m_labelLog->fontMetrics().lineSpacing());   // a long line wraps once
    m_labelCounts = MakeLabel(QString(), this);
    ShowCounts();
    // The stage's time runs on between the job's reports.
    auto* pTimer = new QTimer(this);
    connect(pTimer, &QTimer::timeout, this, [this] {
        if (m_StageClock.Running())
            m_labelStage->setText(ConsoleText(m_StageClock.Text(m_Clock.NowMs())));
    });
    pTimer->start(250);
    m_btnStart = MakeButton(tr("开始"), this);
    m_btnStop = MakeButton(tr("停止"), this);
    m_btnStop->setEnabled(false);

    auto* pButtons = new QHBoxLayout;
    pButtons->addStretch(1);
    pButtons->addWidget(m_btnStart);
    pButtons->addWidget(m_btnStop);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(m_labelMac);
    pLayout->addWidget(m_labelNumbers);
    pLayout->addWidget(m_labelStage);
    pLayout->addWidget(m_progress);
    pLayout->addWidget(m_labelStatus);
    pLayout->addWidget(m_labelVerdict);
    pLayout->addStretch(1);
    pLayout->addWidget(m_labelLog);
    pButtons->insertWidget(0, m_labelCounts);
    pLayout->addLayout(pButtons);
}

void CGangTile::SetRunning(bool bRunning)
{
    m_bRunning = bRunning;
    m_btnStart->setEnabled(!bRunning);
    m_btnStop->setEnabled(bRunning);
    if (bRunning) {
        ShowVerdictOn(m_labelVerdict, VerdictLook::None, {});
        m_eVerdict = VerdictLook::None;
        m_bAlarm = false;
        m_labelStage->setStyleSheet(QString());
    }
}

void CGangTile::Waiting(bool bWaiting)
{
    if (bWaiting)
        m_labelStage->setText(tr("等待下一块板"));
}

void CGangTile::Board(const JobIdentity& identity)
{
    m_labelMac->setText(QStringLiteral("MAC ID: ") + FromUtf8(identity.strMac));
    m_labelNumbers->setText(QStringLiteral("出厂编号: %1   注册编号: %2")
                                .arg(FromUtf8(identity.strFactory), FromUtf8(identity.strReg)));
    ShowVerdictOn(m_labelVerdict, VerdictLook::None, {});
    m_eVerdict = VerdictLook::None;
    m_progress->setValue(0);
    m_labelStatus->clear();
    m_Status.Start();
}

void CGangTile::Stage(JobStage stage)
{
    m_StageClock.Enter(stage, m_Clock.NowMs());
    m_labelStage->setText(ConsoleText(m_StageClock.Text(m_Clock.NowMs())));
}

void CGangTile::Progress(const TransferProgress& progress)
{
    if (progress.nBytesTotal > 0)
        m_progress->setValue(static_cast<int>(std::min(progress.nBytesDone, progress.nBytesTotal) * 100 / progress.nBytesTotal));
    if (m_Status.Update(progress))
        m_labelStatus->setText(ConsoleText(m_Status.Text()));
}

void CGangTile::Result(const JobResult& result)
{
    std::string strText;
    m_eVerdict = CTovarDlg::VerdictOf(result, strText);
    ShowVerdictOn(m_labelVerdict, m_eVerdict, strText);
    m_StageClock.End();
    if (result.verdict == JobVerdict::Installed)
        m_progress->setValue(100);
    m_labelStatus->setText(ConsoleText(m_Status.Text()));
    m_labelStage->setText(result.verdict == JobVerdict::Refused ? tr("未开始") : tr("完成"));
    // A board that carries another board's value, or whose result is lost, is not a good one.
    const bool bSetAside = ExitCodeOf(result) == 4;
    if (result.verdict == JobVerdict::Installed && !HasFlag(result, kFlagPartial) && !bSetAside)
        ++m_nInstalled;
    else if (result.verdict == JobVerdict::Failed || result.verdict == JobVerdict::ChipRejected || bSetAside)
        ++m_nFailed;
    ShowCounts();
}

// The slot's own words say why it ended; the banner of its last board says what to do.
void CGangTile::Ended(const std::string& strWhy)
{
    (void)strWhy;
    m_StageClock.End();
    if (m_eVerdict != VerdictLook::Refused && !m_bAlarm)
        m_labelStage->setText(tr("已结束"));
    SetRunning(false);   // the last board's banner stays until the slot starts again
}

void CGangTile::Alarm(int nFailures)
{
    m_bAlarm = true;
    m_eVerdict = VerdictLook::Refused;
    ShowVerdictOn(m_labelVerdict, m_eVerdict,
                  ToUtf8(tr("工位连续失败 %1 次, 请检查夹具").arg(nFailures)));
    m_labelStage->setText(tr("已停止"));
}

void CGangTile::PortUsable(bool bUsable)
{
    if (m_bRunning || bUsable)
        return;
    m_labelStage->setText(tr("串口不可用: %1").arg(FromUtf8(m_strPort)));
    m_labelStage->setStyleSheet(QStringLiteral("QLabel { color: #b26a00; }"));
}

void CGangTile::ShowCounts()
{
    m_labelCounts->setText(tr("成功 %1  失败 %2").arg(m_nInstalled).arg(m_nFailed));
}

void CGangTile::LogLine(const std::string& strLine)
{
    m_labelLog->setText(FromUtf8(strLine));
}

std::string CGangTile::StageText() const { return ToUtf8(m_labelStage->text()); }

std::string CGangTile::StatusText() const { return ToUtf8(m_labelStatus->text()); }

std::string CGangTile::VerdictText() const
{
    return m_labelVerdict->isHidden() ? std::string() : ToUtf8(m_labelVerdict->text());
}

int CGangTile::ProgressValue() const { return m_progress->value(); }

std::string CGangTile::CountsText() const { return ToUtf8(m_labelCounts->text()); }
