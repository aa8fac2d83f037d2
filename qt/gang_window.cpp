#include "qt/gang_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "qt/gang_tile.h"
#include "qt/tovar_icon.h"
#include "qt/widget_text.h"

namespace {

constexpr int kExitWaitMs = 15000;   // each slot's job reports within seconds of a stop

// The last line of a log chunk that holds text.
std::string LastLine(const std::string& strText)
{
    size_t nEnd = strText.find_last_not_of("\r\n");
    if (nEnd == std::string::npos)
        return {};
    size_t nStart = strText.find_last_of('\n', nEnd);
    return strText.substr(nStart == std::string::npos ? 0 : nStart + 1, nEnd + 1 - (nStart == std::string::npos ? 0 : nStart + 1));
}

}  // namespace

CGangWindow::CGangWindow(const GangControlFactory& fnMakeControl, IClock& clock, QWidget* pParent)
    : QDialog(pParent, Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(tr("Tovar — 多板安装"));
    setWindowIcon(TovarIcon());
    m_pControl = fnMakeControl(*this);

    m_btnStartAll = MakeButton(tr("全部开始"), this);
    m_btnStopAll = MakeButton(tr("全部停止"), this);
    m_checkLoop = new QCheckBox(tr("连续 (下一块板自动开始)"), this);
    m_labelShift = MakeLabel(QString(), this);
    QFont bold = m_labelShift->font();
    bold.setBold(true);
    m_labelShift->setFont(bold);
    m_btnExit = MakeButton(tr("退出"), this);
    connect(m_btnStartAll, &QPushButton::clicked, this, [this] { StartAll(); });
    connect(m_btnStopAll, &QPushButton::clicked, this, [this] { StopAll(); });
    connect(m_btnExit, &QPushButton::clicked, this, [this] { Exit(); });

    auto* pBar = new QHBoxLayout;
    pBar->addWidget(m_btnStartAll);
    pBar->addWidget(m_btnStopAll);
    pBar->addWidget(m_checkLoop);
    pBar->addStretch(1);
    pBar->addWidget(m_labelShift);
    pBar->addSpacing(12);
    pBar->addWidget(m_btnExit);

    // Up to 16 slots a square of wide tiles; more in six narrower columns (24 fill a 1920x1080
    // screen) in a grid that scrolls where the window is smaller than the tiles.
    const auto planned = m_pControl->PlannedSlots();
    const bool bMany = planned.size() > 16;
    const int nColumns =
        bMany ? 6 : std::max(1, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(planned.size())))));
    auto* pTiles = new QWidget;
    auto* pGrid = new QGridLayout(pTiles);
    pGrid->setContentsMargins(0, 0, 0, 0);
    int nIndex = 0;
    for (const auto& [nSlot, strPort] : planned) {
        auto* pTile = new CGangTile(nSlot, strPort, clock, pTiles);
        pTile->setMinimumWidth(bMany ? 300 : 420);
        if (bMany) {
            // Compact: one point smaller, so a tile's status line fits its narrower column.
            QFont font = pTile->font();
            font.setPointSizeF(std::max(6.0, font.pointSizeF() - 1.5));
            pTile->setFont(font);
        }
        connect(pTile->StartButton(), &QPushButton::clicked, this, [this, n = nSlot] { StartSlot(n); });
        connect(pTile->StopButton(), &QPushButton::clicked, this, [this, n = nSlot] { StopSlot(n); });
        pTile->SetConsoleBoundS(m_pControl->ConsoleBoundS());
        pTile->PortUsable(m_pControl->SlotPortUsable(nSlot));
        pGrid->addWidget(pTile, nIndex / nColumns, nIndex % nColumns);
        m_Tiles[nSlot] = pTile;
        m_Logs[nSlot];
        ++nIndex;
    }
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pBar);
    if (!bMany) {
        pLayout->addWidget(pTiles, 1);
    } else {
        // Many tiles: the window opens as large as the screen; smaller, they scroll.
        auto* pScroll = new QScrollArea(this);
        pScroll->setWidgetResizable(true);
        pScroll->setFrameShape(QFrame::NoFrame);
        pScroll->setWidget(pTiles);
        pLayout->addWidget(pScroll, 1);
        const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                              : QRect(0, 0, 1920, 1080);
        resize(screen.width(), screen.height() - 40);
    }
    // The shift's boards so far, also those of the station's earlier runs.
    if (LineCounts counts; m_pControl->ShiftCounts(counts)) {
        m_bRecordCounts = true;
        ShowShift(counts.nInstalled, counts.nFailed);
    } else {
        ShowShift(0, 0);
    }
}

CGangWindow::~CGangWindow()
{
    // The slots end and join before the tiles they report to go.
    m_pControl->Stop();
    m_pControl.reset();
}

template <typename Fn>
void CGangWindow::Later(Fn fn)
{
    m_Queue.Post(std::function<void()>(std::move(fn)));
}

void CGangWindow::StartAll()
{
    for (const auto& [nSlot, pTile] : m_Tiles)
        if (!pTile->Running())
            StartSlot(nSlot);
}

void CGangWindow::StopAll() { m_pControl->Stop(); }

void CGangWindow::StartSlot(int nSlot)
{
    CGangTile* pTile = Tile(nSlot);
    if (!pTile || pTile->Running() || m_bClosing)
        return;
    std::string strWhy;
    if (!m_pControl->StartSlot(nSlot, m_checkLoop->isChecked(), strWhy)) {
        pTile->LogLine("->" + strWhy);
        return;
    }
    pTile->SetRunning(true);
}

void CGangWindow::StopSlot(int nSlot) { m_pControl->StopSlot(nSlot); }

void CGangWindow::Exit()
{
    const int nRunning = static_cast<int>(
        std::count_if(m_Tiles.begin(), m_Tiles.end(), [](const auto& tile) { return tile.second->Running(); }));
    if (nRunning > 0 && !m_fnConfirmExit(nRunning))
        return;
    StopAndWait();
    done(QDialog::Rejected);
}

// Boards still being installed are stopped only when the operator says so.
bool CGangWindow::AskExit(int nRunning)
{
    QMessageBox box(QMessageBox::Question, windowTitle(),
                    tr("%1 块板正在安装, 确定停止?").arg(nRunning), QMessageBox::NoButton, this);
    QPushButton* pYes = box.addButton(tr("停止并退出"), QMessageBox::AcceptRole);
    box.setDefaultButton(box.addButton(tr("继续安装"), QMessageBox::RejectRole));
    box.exec();
    return box.clickedButton() == pYes;
}

void CGangWindow::StopAndWait()
{
    m_bClosing = true;
    m_pControl->Stop();
    m_pControl->WaitEnded(kExitWaitMs);
}

// Escape and the window's close button go the way of the Exit button.
void CGangWindow::reject() { Exit(); }

CGangTile* CGangWindow::Tile(int nSlot) const
{
    auto it = m_Tiles.find(nSlot);
    return it == m_Tiles.end() ? nullptr : it->second;
}

std::string CGangWindow::ShiftText() const { return ToUtf8(m_labelShift->text()); }

std::string CGangWindow::LogText(int nSlot) const
{
    auto it = m_Logs.find(nSlot);
    return it == m_Logs.end() ? std::string() : it->second;
}

bool CGangWindow::EveryLogHolds(const std::string& strText) const
{
    return !m_Logs.empty() && std::all_of(m_Logs.begin(), m_Logs.end(), [&](const auto& log) {
        return log.second.find(strText) != std::string::npos;
    });
}

// Boards installed and failed since the window opened; a refused or stopped job is neither.
void CGangWindow::CountResult(const JobResult& result)
{
    if (result.verdict == JobVerdict::Installed)
        ++m_nInstalled;
    else if (result.verdict == JobVerdict::Failed || result.verdict == JobVerdict::ChipRejected)
        ++m_nFailed;
    if (!m_bRecordCounts)
        ShowShift(m_nInstalled, m_nFailed);
}

void CGangWindow::ShowShift(int64_t nInstalled, int64_t nFailed)
{
    m_labelShift->setText(tr("本班: 成功 %1   失败 %2").arg(nInstalled).arg(nFailed));
}

void CGangWindow::OnShiftCounts(const LineCounts& counts)
{
    Later([this, counts] {
        m_bRecordCounts = true;
        ShowShift(counts.nInstalled, counts.nFailed);
    });
}

void CGangWindow::OnSlotLog(int nSlot, const std::string& strText)
{
    Later([this, nSlot, strText] {
        m_Logs[nSlot] += strText;
        std::string strLine = LastLine(strText);
        if (CGangTile* pTile = Tile(nSlot); pTile && !strLine.empty())
            pTile->LogLine(strLine);
    });
}

void CGangWindow::OnSlotWaiting(int nSlot, bool bWaiting)
{
    Later([this, nSlot, bWaiting] {
        if (CGangTile* pTile = Tile(nSlot))
            pTile->Waiting(bWaiting);
    });
}

void CGangWindow::OnSlotBoard(int nSlot, const JobIdentity& identity)
{
    Later([this, nSlot, identity] {
        if (CGangTile* pTile = Tile(nSlot))
            pTile->Board(identity);
    });
}

void CGangWindow::OnSlotStage(int nSlot, JobStage stage)
{
    Later([this, nSlot, stage] {
        if (CGangTile* pTile = Tile(nSlot))
            pTile->Stage(stage);
    });
}

void CGangWindow::OnSlotProgress(int nSlot, const TransferProgress& progress)
{
    Later([this, nSlot, progress] {
        if (CGangTile* pTile = Tile(nSlot))
            pTile->Progress(progress);
    });
}

void CGangWindow::OnSlotResult(int nSlot, const JobResult& result)
{
    Later([this, nSlot, result] {
        CountResult(result);
        if (CGangTile* pTile = Tile(nSlot))
            pTile->Result(result);
        if (result.verdict == JobVerdict::Failed || result.verdict == JobVerdict::ChipRejected)
            QApplication::beep();
    });
}

void CGangWindow::OnSlotAlarm(int nSlot, int nFailures)
{
    Later([this, nSlot, nFailures] {
        if (CGangTile* pTile = Tile(nSlot))
            pTile->Alarm(nFailures);
        QApplication::beep();
    });
}

void CGangWindow::OnSlotEnded(int nSlot, const std::string& strWhy)
{
    Later([this, nSlot, strWhy] {
        if (CGangTile* pTile = Tile(nSlot)) {
            pTile->Ended(strWhy);
            if (!m_bClosing)
                pTile->PortUsable(m_pControl->SlotPortUsable(nSlot));
        }
    });
}
