#include <QComboBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "qt/tovar_window.h"
#include "gui/gui_test.h"
#include "samba/monitor_backend.h"
#include "sim/virtual_board.h"
#include "support/temp_dir.h"

namespace {

constexpr int BOARD_COM = 9;
constexpr int JOB_LIMIT_MS = 60000;  // generous: a job takes about a second, more under sanitizers and load

const std::string LOG_START = " 开始下载程序：\r\n";
const std::string LOG_BRING_UP = "->Write ins.txt file successed.\r\n"
                                 "当前芯片Chip ID: 0x819a05a1Chip ID match.\r\n->Extram Ok.\r\n";
// The console's reply as the handshake shows it: the banner (once or more, as bursts went out
// before it came) and the program-wide burst count.
const QRegularExpression CONSOLE_LINE(QStringLiteral("^(VarroBoot console ready\r\n)+,  [1-9][0-9]*\r\n$"));

struct Image {
    int nId;
    std::string strName;
    size_t nSize;
};

std::string Bytes(size_t nSize, unsigned nSeed)
{
    std::mt19937 rng(nSeed);
    std::string str(nSize, '\0');
    for (char& c : str)
        c = static_cast<char>(rng());
    return str;
}

std::string ImagePath(const Image& image) { return "KX30T/系统安装/" + image.strName; }

// The lines one file adds to the log when it is sent whole and the board answers its store.
std::string FileLines(const Image& image, const std::string& strStoreLine)
{
    const std::string strName = image.strName + ":     ";
    return strName + "正在下载......\r\n" + strName + "下载帧:" + std::to_string(image.nSize / 1024 + 1) +
           ";下载字节:" + std::to_string(image.nSize) + "  -------下载完成!\r\n" + strName + strStoreLine + "\r\n";
}

struct ButtonState {
    bool bDownload;
    bool bExit;
    bool bStop;
    bool operator==(const ButtonState&) const = default;
};

}  // namespace

// Whole jobs from the window: the serial boot-monitor backend on the virtual board's
// pseudo-terminal (as COM9), the console handshake on the same line, the images over loopback UDP.
class BoardJobTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<CTempDir> m_pDir;
    std::unique_ptr<CVirtualBoard> m_pBoard;
    std::atomic<int> m_bCancel {0};
    std::unique_ptr<CTovarWindow> m_pWindow;
    std::vector<Image> m_Images;
    // The buttons at every change of the log pane, and every value of the progress bar, from the press on.
    std::vector<std::pair<std::string, ButtonState>> m_LogSteps;
    std::vector<int> m_ProgressSteps;
    std::vector<QMetaObject::Connection> m_Recorders;

    QPushButton* Button(int nId) const { return qobject_cast<QPushButton*>(m_pWindow->Control(nId)); }
    ButtonState Buttons() const
    {
        return {Button(IDOK)->isEnabled(), Button(IDCANCEL)->isEnabled(), Button(IDC_STOP)->isEnabled()};
    }
    bool InputsEnabled() const
    {
        for (int nId : {IDC_MAC, IDC_FACTORY, IDC_REG, IDC_PORT, IDC_SET})
            if (!m_pWindow->Control(nId)->isEnabled())
                return false;
        return true;
    }
    bool LogHas(const std::string& strText) const { return m_pWindow->LogText().find(strText) != std::string::npos; }

    // A station with the given images (three: the manifest names the first three entries), a board
    // with the given transfer faults, and the window on both with the board's port chosen.
    bool Open(const std::vector<Image>& images, const TransferConfig& faults)
    {
        m_Images = images;
        static const char* kSections[] = {"Startup", "Download", "UserProc", "INFO"};
        std::string strConfig = "[COUNT]\r\ncount=" + std::to_string(images.size()) + "\r\n";
        for (size_t k = 0; k < images.size(); ++k) {
            strConfig += std::string("[") + kSections[k] + "]\r\nid=" + std::to_string(images[k].nId) +
                         "\r\nname=" + images[k].strName + "\r\n";
            m_pDir->Write(ImagePath(images[k]), Bytes(images[k].nSize, 10u + static_cast<unsigned>(k)));
        }
        m_pDir->Write("KX30T/config.cfg", strConfig);
        m_pDir->Write("KX30T/系统安装/ins.txt", "");
        m_pDir->Write("tcl_lib/at91sam9x25-ek/applet-lowlevelinit-sam9x25.bin", Bytes(3000, 1));
        m_pDir->Write("tcl_lib/at91sam9x25-ek/VarroBoot.bin", Bytes(5000, 2));

        BoardConfig board;
        board.monitor.nPromptMs = 10;
        board.monitor.nBootDelayMs = 50;
        board.transfer = faults;
        board.transfer.strIp = "127.0.0.1";
        board.transfer.nPort = 0;
        board.transfer.strStoreDir = m_pDir->MakeDir("store");
        m_pBoard = std::make_unique<CVirtualBoard>(board);
        std::string strError;
        if (!m_pBoard->Start(strError)) {
            qWarning("board: %s", strError.c_str());
            return false;
        }

        const std::string strTty = m_pBoard->TtyPath();
        auto fnResolve = [strTty](int nPort) { return nPort == BOARD_COM ? strTty : std::string(); };
        At91BackendFactory fnFactory = [this, strTty, fnResolve]() -> std::unique_ptr<IAt91Backend> {
            auto fnScan = [strTty] { return std::vector<ComPortEntry> {{BOARD_COM, strTty}}; };
            return std::make_unique<CMonitorBackend>(fnResolve, fnScan, SystemClock(), &m_bCancel);
        };
        TovarJobOptions options;
        options.station.strWorkDir = m_pDir->Path();
        options.fnPortResolver = fnResolve;
        options.station.strBoardIp = "127.0.0.1";
        options.station.nBoardPort = m_pBoard->UdpPort();
        options.station.nLocalPort = 0;
        options.station.nSettleMs = 0;
        m_pWindow = std::make_unique<CTovarWindow>(fnFactory, SystemClock(), options);
        m_pWindow->SetBeforeExit([this] { m_bCancel = 1; });
        m_pWindow->show();
        if (!QTest::qWaitForWindowExposed(m_pWindow.get()))
            return false;
        auto* pSelector = qobject_cast<QComboBox*>(m_pWindow->Control(IDC_PORT));
        if (pSelector->count() != 1 || pSelector->itemText(0).toStdString() != "COM9 (" + strTty + ")")
            return false;
        pSelector->setCurrentIndex(0);
        return true;
    }

    // Presses download; from then on every log change and progress value is recorded.
    void Press()
    {
        QTest::mouseClick(Button(IDOK), Qt::LeftButton);
        auto* pLog = qobject_cast<QPlainTextEdit*>(m_pWindow->Control(IDC_LOG));
        m_Recorders.push_back(connect(pLog, &QPlainTextEdit::textChanged, this,
                                      [this] { m_LogSteps.emplace_back(m_pWindow->LogText(), Buttons()); }));
        auto* pProgress = qobject_cast<QProgressBar*>(m_pWindow->Control(IDC_PROGRESS));
        m_Recorders.push_back(connect(pProgress, &QProgressBar::valueChanged, this,
                                      [this](int n) { m_ProgressSteps.push_back(n); }));
    }

    // The log from the press to the console's reply; the reply line is checked by its pattern and cut out.
    bool TakeLogHead(std::string& strRest) const
    {
        const std::string strLog = m_pWindow->LogText();
        const std::string strHead = LOG_START + LOG_BRING_UP;
        if (strLog.compare(0, strHead.size(), strHead) != 0) {
            qWarning("log starts otherwise:\n%s", strLog.c_str());
            return false;
        }
        // The reply line ends with the burst count; the next line names the first image.
        const size_t nNext = strLog.find(m_Images.front().strName + ":", strHead.size());
        if (nNext == std::string::npos)
            return false;
        const QString strReply = QString::fromStdString(strLog.substr(strHead.size(), nNext - strHead.size()));
        if (!CONSOLE_LINE.match(strReply).hasMatch()) {
            qWarning("console reply line: %s", qPrintable(strReply));
            return false;
        }
        strRest = strLog.substr(nNext);
        return true;
    }

    // Every log change recorded before step nEnd came while the job held the buttons.
    bool ButtonsHeldThroughout(size_t nEnd = SIZE_MAX) const
    {
        nEnd = std::min(nEnd, m_LogSteps.size());
        for (size_t i = 0; i < nEnd; ++i) {
            const auto& [strLog, state] = m_LogSteps[i];
            if (!(state == ButtonState {false, false, true})) {
                qWarning("buttons %d%d%d at log:\n%s", state.bDownload, state.bExit, state.bStop, strLog.c_str());
                return false;
            }
        }
        return nEnd > 0;
    }

    bool ProgressRoseTo100() const
    {
        for (size_t i = 1; i < m_ProgressSteps.size(); ++i)
            if (m_ProgressSteps[i] < m_ProgressSteps[i - 1])
                return false;
        return !m_ProgressSteps.empty() && m_ProgressSteps.back() == 100 && m_pWindow->Progress() == 100;
    }

    std::string Pane() const
    {
        return QString::fromStdString(m_pWindow->LogText()).remove(QLatin1Char('\r')).toStdString();
    }

private slots:
    void init()
    {
        m_bCancel = 0;
        m_LogSteps.clear();
        m_ProgressSteps.clear();
        m_pDir = std::make_unique<CTempDir>();
    }

    void cleanup()
    {
        for (const QMetaObject::Connection& connection : m_Recorders)
            disconnect(connection);
        m_Recorders.clear();
        if (m_pWindow && m_pWindow->Dialog().WorkerRunning())
            m_pWindow->Exit();
        m_pWindow.reset();
        m_pBoard.reset();
        m_pDir.reset();
    }

    void wholeJobStoresEveryImage()
    {
        QVERIFY(Open({{1, "boot.bin", 3000}, {2, "kernel.bin", 2048}, {3, "empty.bin", 0}}, TransferConfig()));
        // A log pane that scrolls, and room for the banner without growing the window.
        m_pWindow->resize(m_pWindow->width(), m_pWindow->minimumSizeHint().height() + 60);
        Press();
        QCOMPARE(Buttons(), (ButtonState {false, false, true}));
        QVERIFY(!InputsEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(LogHas("系统安装成功!\r\n") && Buttons() == (ButtonState {true, true, true}),
                                 JOB_LIMIT_MS);
        // The verdict and the transfer's last figures stay in view; the inputs are back.
        QTRY_VERIFY(InputsEnabled());
        QVERIFY(m_pWindow->Control(IDC_VERDICT)->isVisible() && m_pWindow->Control(IDC_STATUS)->isVisible());
        QCOMPARE(m_pWindow->Verdict(), VerdictLook::Success);
        QCOMPARE(m_pWindow->VerdictText(), std::string("成功"));
        QVERIFY2(QRegularExpression(QStringLiteral("^empty\\.bin +[0-9.]+ [KM]B/s +用时 [0-9:]+ +剩余 00:00 +重发 0$"))
                     .match(QString::fromStdString(m_pWindow->StatusText()))
                     .hasMatch(),
                 m_pWindow->StatusText().c_str());
        QCOMPARE(m_pWindow->BeepCount(), 0);
        // The banner made the pane shorter; its end, the verdict's line, is still in view.
        QScrollBar* pScroll = qobject_cast<QPlainTextEdit*>(m_pWindow->Control(IDC_LOG))->verticalScrollBar();
        QVERIFY(pScroll->maximum() > 0);
        QTRY_COMPARE(pScroll->value(), pScroll->maximum());
        QCOMPARE(int(m_pWindow->Dialog().WaitJobResult(JOB_LIMIT_MS).value_or(JobResult{}).verdict), int(JobVerdict::Installed));

        std::string strRest;
        QVERIFY(TakeLogHead(strRest));
        std::string strExpected;
        for (const Image& image : m_Images)
            strExpected += FileLines(image, "存储完成!");
        QCOMPARE(strRest, strExpected + "系统安装成功!\r\n");
        QCOMPARE(qobject_cast<QPlainTextEdit*>(m_pWindow->Control(IDC_LOG))->toPlainText().toStdString(), Pane());
        QVERIFY(ButtonsHeldThroughout());
        QCOMPARE(m_LogSteps.back().first, m_pWindow->LogText());  // the success line came while still held
        QVERIFY(ProgressRoseTo100());

        for (const Image& image : m_Images) {
            const std::string strStored = "store/" + std::to_string(image.nId) + ".bin";
            QVERIFY2(m_pDir->Exists(strStored), strStored.c_str());
            QVERIFY(m_pDir->Read(strStored) == m_pDir->Read(ImagePath(image)));
        }
    }

    // An image unticked in 高级: the board is installed with less than configured, an amber banner.
    void fewerImagesThanConfiguredIsAPartialInstall()
    {
        QVERIFY(Open({{1, "boot.bin", 1500}, {2, "kernel.bin", 3000}}, TransferConfig{}));
        StoreSelected(m_pWindow->Dialog().m_Files[1], 0);
        Press();
        const JobResult result = m_pWindow->Dialog().WaitJobResult(JOB_LIMIT_MS).value_or(JobResult{});
        QCOMPARE(int(result.verdict), int(JobVerdict::Installed));
        QVERIFY(HasFlag(result, kFlagPartial));
        QTRY_COMPARE(m_pWindow->Verdict(), VerdictLook::Partial);
        QVERIFY(m_pWindow->VerdictText().rfind("部分安装 — ", 0) == 0);
        SaveShot(m_pWindow.get(), "partial");
    }

    void storeFailureEndsInFailureWithButtonsBack()
    {
        TransferConfig faults;
        faults.bStoreFail = true;
        QVERIFY(Open({{1, "boot.bin", 1500}, {2, "empty.bin", 0}, {3, "info.txt", 10}}, faults));
        Press();
        QTRY_VERIFY_WITH_TIMEOUT(LogHas("系统安装失败!\r\n") && Buttons() == (ButtonState {true, true, true}),
                                 JOB_LIMIT_MS);
        QCOMPARE(int(m_pWindow->Dialog().WaitJobResult(JOB_LIMIT_MS).value_or(JobResult{}).verdict), int(JobVerdict::Failed));
        QTRY_COMPARE(m_pWindow->VerdictText(), std::string("失败 — 镜像存储失败\n请重新放置电路板后重试; 再次失败请将电路板放到不良品区"));
        QVERIFY(m_pWindow->Control(IDC_VERDICT)->isVisible());
        QCOMPARE(m_pWindow->Verdict(), VerdictLook::Failure);
        QCOMPARE(m_pWindow->BeepCount(), 1);
        SaveShot(m_pWindow.get(), "failed-next-step");

        std::string strRest;
        QVERIFY(TakeLogHead(strRest));
        std::string strExpected;
        for (const Image& image : m_Images)
            strExpected += FileLines(image, "存储不成功，请重新下载!");
        QCOMPARE(strRest, strExpected + "系统安装失败!\r\n");
        QVERIFY(ButtonsHeldThroughout());
        QVERIFY(ProgressRoseTo100());
        QVERIFY(!m_pDir->Exists("store/1.bin"));
    }

    void stopDuringTheTransfer()
    {
        TransferConfig faults;
        faults.nLateMs = 20;  // about 20 s for the image: the press on Stop comes long before its end
        QVERIFY(Open({{1, "big.bin", 1024 * 1024}, {2, "small.bin", 100}, {3, "empty.bin", 0}}, faults));
        Press();
        QTRY_VERIFY_WITH_TIMEOUT(LogHas("big.bin:     正在下载......\r\n"), JOB_LIMIT_MS);
        QCOMPARE(Buttons(), (ButtonState {false, false, true}));
        const size_t nStepsBeforeStop = m_LogSteps.size();
        QTest::mouseClick(Button(IDC_STOP), Qt::LeftButton);
        QCOMPARE(Buttons(), (ButtonState {true, true, true}));
        QTRY_VERIFY_WITH_TIMEOUT(LogHas("终止下载!"), JOB_LIMIT_MS);
        QCOMPARE(int(m_pWindow->Dialog().WaitJobResult(JOB_LIMIT_MS).value_or(JobResult{}).verdict), int(JobVerdict::Stopped));

        std::string strRest;
        QVERIFY(TakeLogHead(strRest));
        QCOMPARE(strRest, std::string("big.bin:     正在下载......\r\nbig.bin:     终止下载!\r\n"));
        QCOMPARE(Buttons(), (ButtonState {true, true, true}));
        QVERIFY(ButtonsHeldThroughout(nStepsBeforeStop));
        QVERIFY(m_pWindow->Progress() < 100);
        QVERIFY(!m_pDir->Exists("store/1.bin"));
        QVERIFY(m_pWindow->isVisible());
    }
};

TOVAR_GUI_TEST(BoardJobTest)
#include "board_job_qtest.moc"
