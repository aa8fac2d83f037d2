#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/image_transfer.h"
#include "net/net.h"
#include "sim/board_transfer_server.h"
#include "support/udp_responder.h"
#include "support/wait_until.h"

namespace fs = std::filesystem;
constexpr int kLossMs = 250;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

namespace {

struct RecordingHost : ITransferHost {
    Lines lines;
    Lines details;
    std::vector<TransferProgress> progress;
    std::function<void(const TransferProgress&)> fnOnProgress;
    void AppendLog(const std::string& strText) override { lines.push_back(strText); }
    void AppendDetail(const std::string& strText) override { details.push_back(strText); }
    void OnProgress(const TransferProgress& report) override
    {
        progress.push_back(report);
        if (fnOnProgress)
            fnOnProgress(report);
    }
    bool Logged(const std::string& strPart) const
    {
        for (const std::string& strLine : lines)
            if (strLine.find(strPart) != std::string::npos)
                return true;
        return false;
    }
};

// A clock that never sleeps: time moves only when someone sleeps on it.
struct FakeClock : IClock {
    uint64_t nNow = 1000;
    uint64_t nSlept = 0;
    std::atomic<int>* pQuitOnSleep = nullptr;
    uint64_t NowMs() override { return nNow; }
    void SleepMs(int nMs) override
    {
        nNow += static_cast<uint64_t>(nMs);
        nSlept += static_cast<uint64_t>(nMs);
        if (pQuitOnSleep)
            *pQuitOnSleep = 1;
    }
};

Bytes Pattern(size_t nSize, uint8_t cSeed)
{
    Bytes data(nSize);
    for (size_t i = 0; i < nSize; ++i)
        data[i] = static_cast<uint8_t>(i * 31 + cSeed);
    return data;
}

// What the responder got, once it has taken in everything sent so far: a marker datagram sent now
// queues behind them. Only for responders whose handler takes a 1-byte datagram.
std::vector<CUdpResponder::Datagram> ReceivedSoFar(CUdpResponder& board)
{
    int hSocket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<uint16_t>(board.Port()));
    const uint8_t cMarker = 0xEE;
    sendto(hSocket, &cMarker, 1, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    close(hSocket);
    std::vector<CUdpResponder::Datagram> got;
    EXPECT_TRUE(WaitUntil([&] {
        got = board.Received();
        return !got.empty() && got.back().data == Bytes{cMarker};
    }));
    if (!got.empty())
        got.pop_back();
    return got;
}

bool IsStore(const Bytes& d) { return d.size() == 8 && d[0] == CMD_STORE; }
bool IsData(const Bytes& d) { return !d.empty() && d[0] == CMD_DATA; }
int FrameNumber(const Bytes& d) { return (d[2] << 8) | d[3]; }

class ImageTransferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char szDir[] = "/tmp/tovar-transfer-XXXXXX";
        ASSERT_NE(mkdtemp(szDir), nullptr);
        m_dir = szDir;
        m_settings.strBoardIp = "127.0.0.1";
        m_settings.nLocalPort = 0;
        m_settings.nSettleMs = 0;
        // Generous limits where no reply is meant to go missing, so a slow machine never causes a
        // resend; tests that lose replies on purpose use kLossMs.
        m_settings.nReplyTimeoutMs = 5000;
        m_settings.nStoreTimeoutMs = 5000;
        m_settings.nTries = 3;
        // The same for the measured reply limit: at the configured one unless a test measures.
        m_settings.nReplyFloorMs = 1 << 20;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    void WriteFile(const std::string& strName, const Bytes& data)
    {
        std::ofstream out(m_dir / strName, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }

    // A file of the image folder, as the job lists it.
    TransferImage Image(int nId, const std::string& strName) const
    {
        TransferImage image;
        image.nId = nId;
        image.strName = strName;
        image.strPath = (m_dir / strName).string();
        return image;
    }

    TransferResult Run(CUdpResponder& board, const std::vector<TransferImage>& images)
    {
        return RunOn(board.Port(), images).result;
    }
    TransferReport RunOn(int nBoardPort, const std::vector<TransferImage>& images)
    {
        m_settings.nBoardPort = nBoardPort;
        CImageTransfer transfer(m_host, SystemClock(), m_settings);
        TransferReport report = transfer.Run(m_net, images, m_bStop, m_bQuit);
        EXPECT_FALSE(m_net.IsOpen()) << "the socket is closed at every end";
        EXPECT_EQ(report.images.size(), images.size());
        return report;
    }

    // The payloads of the data frames received, joined in order.
    static Bytes Payload(const std::vector<CUdpResponder::Datagram>& received)
    {
        Bytes data;
        for (const auto& dgram : received)
            if (IsData(dgram.data))
                data.insert(data.end(), dgram.data.begin() + FRAME_HEADER, dgram.data.end() - 2);
        return data;
    }

    fs::path m_dir;
    TransferSettings m_settings;
    RecordingHost m_host;
    CNet m_net;
    std::atomic<int> m_bStop{0};
    std::atomic<int> m_bQuit{0};
};

TEST_F(ImageTransferTest, SendsFilesFrameByFrameAndStoresEach)
{
    WriteFile("empty.bin", {});
    WriteFile("k.bin", Pattern(1024, 1));
    WriteFile("odd.bin", Pattern(1500, 2));
    CUdpResponder board;
    std::vector<TransferImage> images = {Image(2, "empty.bin"), Image(3, "k.bin"), Image(0x104, "odd.bin")};
    ASSERT_EQ(Run(board, images), TransferResult::Installed);

    EXPECT_EQ(m_host.lines, (Lines{"empty.bin:     正在下载......\r\n",
                                   "empty.bin:     下载帧:1;下载字节:0  -------下载完成!\r\n",
                                   "empty.bin:     存储完成!\r\n",
                                   "k.bin:     正在下载......\r\n",
                                   "k.bin:     下载帧:2;下载字节:1024  -------下载完成!\r\n",
                                   "k.bin:     存储完成!\r\n",
                                   "odd.bin:     正在下载......\r\n",
                                   "odd.bin:     下载帧:2;下载字节:1500  -------下载完成!\r\n",
                                   "odd.bin:     存储完成!\r\n",
                                   "系统安装成功!\r\n"}));
    ASSERT_FALSE(m_host.progress.empty());
    EXPECT_EQ(m_host.progress.front().nBytesDone, 0u);
    EXPECT_EQ(m_host.progress.front().nBytesTotal, 2524u);
    EXPECT_EQ(m_host.progress.back().nBytesDone, 2524u);

    auto got = board.Received();
    ASSERT_EQ(got.size(), 8u);
    EXPECT_EQ(got[0].data, (Bytes{0x01, 0x02, 0, 0, 0, 0, 0x78, 0x0A}));   // empty file: one 8-byte frame
    EXPECT_EQ(got[1].data, (Bytes{0x05, 0x02, 0, 0, 0, 0, 0x79, 0x8E}));
    EXPECT_EQ(got[2].data.size(), 1032u);                                  // 1024 bytes: full frame 0 ...
    EXPECT_EQ(Bytes(got[2].data.begin(), got[2].data.begin() + 6), (Bytes{0x01, 0x03, 0, 0, 0x40, 0x00}));
    EXPECT_EQ(got[3].data.size(), 8u);                                     // ... and an empty frame 1
    EXPECT_EQ(Bytes(got[3].data.begin(), got[3].data.begin() + 6), (Bytes{0x01, 0x03, 0, 1, 0, 0}));
    EXPECT_TRUE(IsStore(got[4].data));
    EXPECT_EQ(got[6].data.size(), 484u);                                   // 1500 bytes: N = 476
    EXPECT_EQ(Bytes(got[6].data.begin(), got[6].data.begin() + 6), (Bytes{0x01, 0x04, 0, 1, 0x01, 0xDC}));
    EXPECT_EQ(got[7].data, (Bytes{0x05, 0x04, 0, 0, 0, 0, 0xF1, 0x8E}));   // only the low 8 bits of the id
    Bytes expected = Pattern(1024, 1);
    Bytes odd = Pattern(1500, 2);
    expected.insert(expected.end(), odd.begin(), odd.end());
    EXPECT_EQ(Payload(got), expected);
}

TEST_F(ImageTransferTest, NoFilesStillEndsWithSuccess)
{
    CUdpResponder board;
    EXPECT_EQ(Run(board, {}), TransferResult::Installed);
    EXPECT_EQ(m_host.lines, (Lines{"系统安装成功!\r\n"}));
    EXPECT_TRUE(board.Received().empty());
}

TEST_F(ImageTransferTest, MissingFileEndsTheRunWithoutLaterFiles)
{
    WriteFile("b.bin", Pattern(10, 0));
    CUdpResponder board;
    TransferReport report = RunOn(board.Port(), {Image(1, "missing.bin"), Image(2, "b.bin")});
    EXPECT_EQ(report.result, TransferResult::Ended);
    EXPECT_EQ(report.strReason, "missing.bin: cannot be opened");
    EXPECT_EQ(m_host.lines, (Lines{"missing.bin:     文件打开失败!\r\n", "系统安装失败!\r\n"}));
    EXPECT_TRUE(board.Received().empty());
}

TEST_F(ImageTransferTest, EntryWithoutANameCannotBeOpened)
{
    CUdpResponder board;
    TransferImage image = Image(1, "");
    EXPECT_EQ(Run(board, {image}), TransferResult::Ended);
    EXPECT_EQ(m_host.lines, (Lines{":     文件打开失败!\r\n", "系统安装失败!\r\n"}));
    EXPECT_TRUE(board.Received().empty());
}

TEST_F(ImageTransferTest, UnreadableOrOversizedFileEndsTheRunBeforeSending)
{
    fs::create_directory(m_dir / "dir.bin");
    {
        std::ofstream big(m_dir / "big.bin");
    }
    fs::resize_file(m_dir / "big.bin", 65536ull * 1024);   // sparse: frame numbers would repeat
    CUdpResponder board;
    EXPECT_EQ(Run(board, {Image(1, "dir.bin")}), TransferResult::Ended);
    EXPECT_EQ(Run(board, {Image(1, "big.bin")}), TransferResult::Ended);
    ASSERT_EQ(m_host.lines.size(), 4u);
    EXPECT_NE(m_host.lines[0].find("dir.bin cannot be read whole"), std::string::npos) << m_host.lines[0];
    EXPECT_EQ(m_host.lines[1], "系统安装失败!\r\n");
    EXPECT_NE(m_host.lines[2].find("big.bin is too large (67108864 bytes"), std::string::npos) << m_host.lines[2];
    EXPECT_EQ(m_host.lines[2].substr(0, 2), "->");
    EXPECT_TRUE(board.Received().empty());
}

TEST_F(ImageTransferTest, PortInUseIsReportedWithTheReason)
{
    int hBusy = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    ASSERT_EQ(bind(hBusy, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t nLen = sizeof addr;
    getsockname(hBusy, reinterpret_cast<sockaddr*>(&addr), &nLen);
    WriteFile("a.bin", Pattern(10, 0));
    CUdpResponder board;
    m_settings.nLocalPort = ntohs(addr.sin_port);
    EXPECT_EQ(Run(board, {Image(1, "a.bin")}), TransferResult::Ended);
    close(hBusy);
    ASSERT_EQ(m_host.lines.size(), 1u);
    EXPECT_EQ(m_host.lines[0].substr(0, 2), "->");
    EXPECT_NE(m_host.lines[0].find("Address already in use"), std::string::npos) << m_host.lines[0];
    EXPECT_TRUE(board.Received().empty());
}

TEST_F(ImageTransferTest, BoundToALocalAddressEveryDatagramComesFromIt)
{
    WriteFile("a.bin", Pattern(1500, 3));
    CUdpResponder board;
    m_settings.strBind = "127.0.0.2";
    ASSERT_EQ(Run(board, {Image(1, "a.bin")}), TransferResult::Installed);
    auto got = board.Received();
    ASSERT_EQ(got.size(), 3u);
    for (const auto& dgram : got)
        EXPECT_EQ(dgram.strFromIp, "127.0.0.2");
}

TEST_F(ImageTransferTest, InterfaceThatCannotBeBoundEndsTheRunBeforeSending)
{
    WriteFile("a.bin", Pattern(10, 0));
    CUdpResponder board;
    m_settings.strBind = "tovarnosuch0";
    TransferReport report = RunOn(board.Port(), {Image(1, "a.bin")});
    EXPECT_EQ(report.result, TransferResult::Ended);
    EXPECT_EQ(report.strReason, "cannot bind to interface tovarnosuch0: No such device");
    EXPECT_EQ(m_host.lines, (Lines{"->cannot bind to interface tovarnosuch0: No such device; nothing was sent.\r\n"}));
    EXPECT_TRUE(board.Received().empty());
}

TEST_F(ImageTransferTest, FailureStatusEndsTheRunWithTheAcknowledgedCount)
{
    WriteFile("a.bin", Pattern(3000, 0));
    WriteFile("b.bin", Pattern(10, 0));
    CUdpResponder board([](const CUdpResponder::Datagram& d, int, const CUdpResponder::SendFn& send) {
        send(0, CUdpResponder::ReplyTo(d.data, FrameNumber(d.data) == 2 ? 3 : 0));
    });
    EXPECT_EQ(Run(board, {Image(1, "a.bin"), Image(2, "b.bin")}), TransferResult::Ended);
    EXPECT_EQ(m_host.lines, (Lines{"a.bin:     正在下载......\r\n",
                                   "a.bin:     下载失败!   已下载2帧，已下载2048字节\r\n", "系统安装失败!\r\n"}));
    EXPECT_EQ(board.Received().size(), 3u);
}

// Datagrams that fail the checks are dropped while the same wait goes on.
TEST_F(ImageTransferTest, CorruptShortLongAndForeignDatagramsAreIgnored)
{
    WriteFile("a.bin", Pattern(2500, 0));
    CUdpResponder strict([](const CUdpResponder::Datagram& d, int, const CUdpResponder::SendFn& send) {
        Bytes good = CUdpResponder::ReplyTo(d.data);
        if (IsStore(d.data)) {
            send(0, good);
            return;
        }
        Bytes badCrc = CUdpResponder::ReplyTo(d.data, 1);
        badCrc[7] ^= 0x55;
        send(2, badCrc);                                   // stray sender, failure status, bad checksum
        Bytes wrongEcho = d.data;
        wrongEcho[3] ^= 1;
        send(2, CUdpResponder::ReplyTo(wrongEcho, 1));     // stray sender, valid checksum, wrong echo
        send(0, Bytes(good.begin(), good.begin() + 7));     // too short
        Bytes longer = good;
        longer.push_back(0);
        send(1, longer);                                   // 9 bytes whose first 8 are a good reply
        send(0, good);
    });
    ASSERT_EQ(Run(strict, {Image(1, "a.bin")}), TransferResult::Installed);
    auto got = strict.Received();
    ASSERT_EQ(got.size(), 4u) << "no frame was sent twice";
    for (const auto& dgram : got)
        EXPECT_EQ(dgram.nSocket, 0) << "the destination never moved";
    EXPECT_EQ(m_host.lines[1], "a.bin:     下载帧:3;下载字节:2500  -------下载完成!\r\n");
}

TEST_F(ImageTransferTest, ValidReplyFromAnotherPortMovesTheDestination)
{
    WriteFile("a.bin", Pattern(2100, 0));
    CUdpResponder board([](const CUdpResponder::Datagram& d, int nIndex, const CUdpResponder::SendFn& send) {
        send(nIndex == 0 ? 1 : d.nSocket, CUdpResponder::ReplyTo(d.data));
    });
    ASSERT_EQ(Run(board, {Image(1, "a.bin")}), TransferResult::Installed);
    auto got = board.Received();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].nSocket, 0);
    for (size_t i = 1; i < got.size(); ++i)
        EXPECT_EQ(got[i].nSocket, 1) << i;
}

TEST_F(ImageTransferTest, LostReplyIsResentAndLateDuplicatesAreDropped)
{
    WriteFile("a.bin", Pattern(4000, 0));
    m_settings.nReplyTimeoutMs = kLossMs;
    std::vector<int> seen(8, 0);
    CUdpResponder board([&seen](const CUdpResponder::Datagram& d, int, const CUdpResponder::SendFn& send) {
        if (IsStore(d.data)) {
            send(0, CUdpResponder::ReplyTo(d.data));
            return;
        }
        int n = FrameNumber(d.data);
        ++seen[n];
        if (n == 1 && seen[n] == 1)
            return;   // the reply to frame 1 is lost once
        if (n == 2 && seen[n] == 1) {
            // frame 2's first reply is lost, and a late second answer to frame 1 turns up instead
            Bytes frame1 = d.data;
            frame1[3] = 1;
            frame1[4] = 0x40;
            frame1[5] = 0;
            send(0, CUdpResponder::ReplyTo(frame1));
            return;
        }
        send(0, CUdpResponder::ReplyTo(d.data));
        if (n == 3)
            send(0, CUdpResponder::ReplyTo(d.data));   // a duplicate reaches the store's wait
    });
    ASSERT_EQ(Run(board, {Image(1, "a.bin")}), TransferResult::Installed);
    EXPECT_EQ(seen[0], 1);
    EXPECT_EQ(seen[1], 2);
    EXPECT_EQ(seen[2], 2) << "the late reply for frame 1 did not count for frame 2";
    EXPECT_EQ(seen[3], 1);
    EXPECT_EQ(Payload(board.Received()).size(), 4000u + 2048u);
    EXPECT_EQ(m_host.lines[1], "a.bin:     下载帧:4;下载字节:4000  -------下载完成!\r\n");
    EXPECT_EQ(m_host.lines[2], "a.bin:     存储完成!\r\n");
}

TEST_F(ImageTransferTest, FrameNeverAcknowledgedEndsTheRunWithoutStore)
{
    WriteFile("a.bin", Pattern(2000, 0));
    m_settings.nReplyTimeoutMs = kLossMs;
    WriteFile("b.bin", Pattern(10, 0));
    CUdpResponder board([](const CUdpResponder::Datagram& d, int, const CUdpResponder::SendFn& send) {
        if (FrameNumber(d.data) == 0)
            send(0, CUdpResponder::ReplyTo(d.data));
    });
    EXPECT_EQ(Run(board, {Image(1, "a.bin"), Image(2, "b.bin")}), TransferResult::Ended);
    EXPECT_EQ(m_host.lines, (Lines{"a.bin:     正在下载......\r\n",
                                   "a.bin:     下载失败!   已下载1帧，已下载1024字节\r\n", "系统安装失败!\r\n"}));
    auto got = board.Received();
    ASSERT_EQ(got.size(), 1u + 3u) << "frame 1 was tried three times";
    for (const auto& dgram : got)
        EXPECT_FALSE(IsStore(dgram.data));
}

TEST_F(ImageTransferTest, StoreOutcomesDecideTheLastLine)
{
    WriteFile("a.bin", Pattern(5, 0));
    WriteFile("b.bin", Pattern(5, 1));
    WriteFile("c.bin", Pattern(5, 2));
    m_settings.nTries = 2;
    m_settings.nStoreTimeoutMs = kLossMs;
    CUdpResponder board([](const CUdpResponder::Datagram& d, int, const CUdpResponder::SendFn& send) {
        if (!IsStore(d.data)) {
            send(0, CUdpResponder::ReplyTo(d.data));
        } else if (d.data[1] == 1) {
            Bytes odd = d.data;
            odd[2] = 0x12;
            odd[5] = 0x34;
            send(0, CUdpResponder::ReplyTo(odd));   // another echo, good checksum: accepted
        } else if (d.data[1] == 2) {
            send(0, CUdpResponder::ReplyTo(d.data, 1));
        }   // c.bin's store stays unanswered
    });
    EXPECT_EQ(Run(board, {Image(1, "a.bin"), Image(2, "b.bin"), Image(3, "c.bin")}), TransferResult::InstallFailed);
    ASSERT_EQ(m_host.lines.size(), 10u);
    EXPECT_EQ(m_host.lines[2], "a.bin:     存储完成!\r\n");
    EXPECT_EQ(m_host.lines[5], "b.bin:     存储不成功，请重新下载!\r\n");
    EXPECT_EQ(m_host.lines[8], "c.bin:     存储无应答!\r\n");
    EXPECT_EQ(m_host.lines[9], "系统安装失败!\r\n");
    int nStores = 0;
    for (const auto& dgram : board.Received())
        nStores += IsStore(dgram.data) && dgram.data[1] == 3;
    EXPECT_EQ(nStores, 2) << "the unanswered store command was sent again";
}

TEST_F(ImageTransferTest, StopIsSeenBeforeTheNextFrame)
{
    WriteFile("a.bin", Pattern(3000, 0));
    CUdpResponder board([this](const CUdpResponder::Datagram& d, int, const CUdpResponder::SendFn& send) {
        if (FrameNumber(d.data) == 1)
            m_bStop = 1;
        send(0, CUdpResponder::ReplyTo(d.data));
    });
    EXPECT_EQ(Run(board, {Image(1, "a.bin")}), TransferResult::Stopped);
    EXPECT_EQ(m_host.lines, (Lines{"a.bin:     正在下载......\r\n", "a.bin:     终止下载!\r\n"}));
    EXPECT_EQ(board.Received().size(), 2u);
}

// A stop asked for once the last frame is acknowledged keeps the store command back.
TEST_F(ImageTransferTest, StopAfterTheLastFrameSendsNoStore)
{
    WriteFile("a.bin", Pattern(1500, 0));
    WriteFile("b.bin", Pattern(10, 0));
    m_host.fnOnProgress = [this](const TransferProgress& progress) {
        if (progress.nFileBytes > 0 && progress.nFileBytesDone == progress.nFileBytes)
            m_bStop = 1;
    };
    CUdpResponder board;
    TransferReport report = RunOn(board.Port(), {Image(1, "a.bin"), Image(2, "b.bin")});
    EXPECT_EQ(report.result, TransferResult::Stopped);
    EXPECT_EQ(m_host.lines, (Lines{"a.bin:     正在下载......\r\n",
                                   "a.bin:     下载帧:2;下载字节:1500  -------下载完成!\r\n",
                                   "a.bin:     终止下载!\r\n"}));
    auto got = ReceivedSoFar(board);
    ASSERT_EQ(got.size(), 2u) << "the two frames of a.bin, no store command";
    EXPECT_FALSE(IsStore(got[1].data));
    EXPECT_FALSE(report.images[0].bStored);
}

TEST_F(ImageTransferTest, QuitCutsAReplyWaitShort)
{
    WriteFile("a.bin", Pattern(3000, 0));
    m_settings.nReplyTimeoutMs = 60000;
    m_settings.nTries = 5;
    CUdpResponder board([this](const CUdpResponder::Datagram& d, int, const CUdpResponder::SendFn& send) {
        if (FrameNumber(d.data) != 1) {
            send(0, CUdpResponder::ReplyTo(d.data));
            return;
        }
        m_bStop = 1;   // Exit sets both flags; frame 1 is never answered
        m_bQuit = 1;
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(board, {Image(1, "a.bin")}), TransferResult::Quit);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST_F(ImageTransferTest, SettlePauseUsesTheClockAndQuitEndsIt)
{
    CUdpResponder board;
    TransferSettings settings = m_settings;
    settings.nSettleMs = 10000;
    settings.nBoardPort = board.Port();
    FakeClock clock;
    CImageTransfer transfer(m_host, clock, settings);
    EXPECT_EQ(transfer.Run(m_net, {}, m_bStop, m_bQuit).result, TransferResult::Installed);
    EXPECT_EQ(clock.nSlept, 10000u);

    m_host = RecordingHost();
    clock.pQuitOnSleep = &m_bQuit;
    WriteFile("a.bin", Pattern(10, 0));
    EXPECT_EQ(transfer.Run(m_net, {Image(1, "a.bin")}, m_bStop, m_bQuit).result, TransferResult::Quit);
    EXPECT_LT(clock.nSlept, 20000u);
    EXPECT_EQ(m_host.lines, (Lines{"终止下载!\r\n"}));
    EXPECT_FALSE(m_net.IsOpen());
    EXPECT_TRUE(board.Received().empty());
}

TEST_F(ImageTransferTest, ReplyWaitsEndEvenOnAClockThatStandsStill)
{
    WriteFile("a.bin", Pattern(10, 0));
    CUdpResponder board([](const CUdpResponder::Datagram&, int, const CUdpResponder::SendFn&) {});
    m_settings.nReplyTimeoutMs = 150;   // two slices of the quit check: one full, one shorter
    m_settings.nTries = 2;
    m_settings.nBoardPort = board.Port();
    FakeClock clock;
    CImageTransfer transfer(m_host, clock, m_settings);
    EXPECT_EQ(transfer.Run(m_net, {Image(1, "a.bin")}, m_bStop, m_bQuit).result, TransferResult::Ended);
    ASSERT_EQ(m_host.lines.size(), 3u);
    EXPECT_EQ(m_host.lines[1], "a.bin:     下载失败!   已下载0帧，已下载0字节\r\n");
    EXPECT_EQ(board.Received().size(), 2u);
}

// The virtual board serving on a free loopback port while a test runs.
class SimBoard {
public:
    SimBoard(TransferConfig config, const fs::path& storeDir)
    {
        config.strIp = "127.0.0.1";
        config.nPort = 0;
        config.strStoreDir = storeDir.string();
        m_pServer = std::make_unique<CBoardTransferServer>(config);
        std::string strError;
        m_bOpen = m_pServer->Open(strError);
        EXPECT_TRUE(m_bOpen) << strError;
        if (m_bOpen)
            m_thread = std::thread([this] { m_pServer->Run(m_bStop); });
    }
    ~SimBoard()
    {
        m_bStop = 1;
        if (m_thread.joinable())
            m_thread.join();
    }
    int Port() const { return m_pServer->Port(); }
    CBoardTransferServer::Stats Stats() const { return m_pServer->GetStats(); }

private:
    std::unique_ptr<CBoardTransferServer> m_pServer;
    std::atomic<int> m_bStop{0};
    bool m_bOpen = false;
    std::thread m_thread;
};

struct StoreCase {
    size_t nSize;
    bool bSilent;   // the board never answers the store; else it refuses it
};

void PrintTo(const StoreCase& param, std::ostream* pOut)
{
    *pOut << (param.bSilent ? "unanswered" : "refused") << " store of " << param.nSize << " bytes";
}

class UnconfirmedStoreTest : public ImageTransferTest, public ::testing::WithParamInterface<StoreCase> {};

// Every reply comes twice, so a second acknowledgement of the last frame is about when the store
// command goes out; only the board's own answer to the store may decide whether the file is stored.
TEST_P(UnconfirmedStoreTest, DuplicatedRepliesNeverConfirmAStore)
{
    const StoreCase param = GetParam();
    WriteFile("a.bin", Pattern(param.nSize, 3));
    m_settings.nStoreTimeoutMs = kLossMs;
    m_settings.nTries = 2;
    TransferConfig config;
    config.bDuplicateReplies = true;
    config.bStoreSilent = param.bSilent;
    config.bStoreFail = !param.bSilent;
    SimBoard board(config, m_dir / "board");
    TransferReport report = RunOn(board.Port(), {Image(4, "a.bin")});
    EXPECT_EQ(report.result, TransferResult::InstallFailed);
    EXPECT_FALSE(report.images[0].bStored);
    EXPECT_TRUE(m_host.Logged(param.bSilent ? "a.bin:     存储无应答!" : "a.bin:     存储不成功，请重新下载!"));
    EXPECT_FALSE(m_host.Logged("存储完成!"));
    EXPECT_EQ(m_host.lines.back(), "系统安装失败!\r\n");
    EXPECT_EQ(board.Stats().nStored, 0u);
}

INSTANTIATE_TEST_SUITE_P(SilentOrRefused, UnconfirmedStoreTest,
                         ::testing::Values(StoreCase{1500, true}, StoreCase{0, true}, StoreCase{1500, false},
                                           StoreCase{0, false}),
                         [](const ::testing::TestParamInfo<StoreCase>& info) {
                             return std::string(info.param.bSilent ? "Silent" : "Refused") +
                                    (info.param.nSize == 0 ? "Empty" : "NonEmpty");
                         });

// An empty file's only frame is sent twice because the board answers late; the answer to the
// second try comes after the first and looks exactly like the store's answer.
TEST_F(ImageTransferTest, LateAnswerToAResentEmptyFrameIsNotTheStoresAnswer)
{
    WriteFile("empty.bin", {});
    m_settings.nReplyTimeoutMs = 500;
    m_settings.nStoreTimeoutMs = 750;   // long enough for that answer to turn up during the store's wait
    m_settings.nTries = 2;
    TransferConfig config;
    config.nLateMs = 750;   // halfway between one and two reply time-outs: exactly one resend
    config.bStoreSilent = true;
    SimBoard board(config, m_dir / "board");
    TransferReport report = RunOn(board.Port(), {Image(4, "empty.bin")});
    EXPECT_EQ(report.images[0].nResends, 1u + 1u) << "the frame once, the unanswered store once";
    EXPECT_EQ(report.result, TransferResult::InstallFailed);
    EXPECT_FALSE(report.images[0].bStored);
    EXPECT_FALSE(m_host.Logged("存储完成!"));
}

// A well-formed reply from another loopback address comes first; the real board's follows.
TEST_F(ImageTransferTest, ReplyFromAnotherAddressIsIgnoredAndKeepsTheDestination)
{
    int hStray = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in strayAddr{};
    strayAddr.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.2", &strayAddr.sin_addr);
    ASSERT_EQ(bind(hStray, reinterpret_cast<sockaddr*>(&strayAddr), sizeof strayAddr), 0);
    WriteFile("a.bin", Pattern(2100, 0));
    CUdpResponder board([hStray](const CUdpResponder::Datagram& d, int nIndex, const CUdpResponder::SendFn& send) {
        if (nIndex == 0) {
            sockaddr_in tool{};
            tool.sin_family = AF_INET;
            tool.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            tool.sin_port = htons(static_cast<uint16_t>(d.nFromPort));
            Bytes reply = CUdpResponder::ReplyTo(d.data);
            sendto(hStray, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&tool), sizeof tool);
        }
        send(0, CUdpResponder::ReplyTo(d.data));
    });
    EXPECT_EQ(Run(board, {Image(1, "a.bin")}), TransferResult::Installed);
    auto got = board.Received();
    EXPECT_EQ(got.size(), 4u) << "three frames and the store, each sent once";
    for (const auto& dgram : got)
        EXPECT_EQ(dgram.nSocket, 0);
    uint8_t scratch[2048];
    EXPECT_LT(recv(hStray, scratch, sizeof scratch, MSG_DONTWAIT), 0) << "nothing was sent to the other address";
    close(hStray);
}

// a.bin's first store goes unanswered and its second is confirmed; the answer to the first then
// turns up while b.bin's store, which the board never answers, is awaited.
TEST_F(ImageTransferTest, LateAnswerToThePreviousStoreIsNotTakenForTheNext)
{
    WriteFile("a.bin", Pattern(10, 0));
    WriteFile("b.bin", Pattern(10, 1));
    m_settings.nStoreTimeoutMs = kLossMs;
    m_settings.nTries = 2;
    int nStoresOfA = 0;
    Bytes firstStoreOfA;
    CUdpResponder board([&](const CUdpResponder::Datagram& d, int, const CUdpResponder::SendFn& send) {
        if (!IsStore(d.data)) {
            send(0, CUdpResponder::ReplyTo(d.data));
        } else if (d.data[1] == 1 && ++nStoresOfA == 1) {
            firstStoreOfA = d.data;
        } else if (d.data[1] == 1) {
            send(0, CUdpResponder::ReplyTo(d.data));
        } else if (!firstStoreOfA.empty()) {
            send(0, CUdpResponder::ReplyTo(firstStoreOfA));
            firstStoreOfA.clear();
        }
    });
    TransferReport report = RunOn(board.Port(), {Image(1, "a.bin"), Image(2, "b.bin")});
    EXPECT_EQ(report.result, TransferResult::InstallFailed);
    EXPECT_TRUE(report.images[0].bStored);
    EXPECT_FALSE(report.images[1].bStored);
    EXPECT_TRUE(m_host.Logged("b.bin:     存储无应答!"));
}

TEST_F(ImageTransferTest, ImageChangedSinceItWasMeasuredEndsTheRun)
{
    WriteFile("a.bin", Pattern(100, 0));
    WriteFile("b.bin", Pattern(10, 0));
    CUdpResponder board;
    TransferImage grown = Image(1, "a.bin");
    grown.nExpectedSize = 90;
    TransferReport report = RunOn(board.Port(), {grown, Image(2, "b.bin")});
    EXPECT_EQ(report.result, TransferResult::Ended);
    EXPECT_EQ(report.strReason, "a.bin: changed since it was measured (90 bytes then, 100 now)");
    ASSERT_EQ(m_host.lines.size(), 2u);
    EXPECT_NE(m_host.lines[0].find("a.bin changed since it was measured"), std::string::npos) << m_host.lines[0];
    EXPECT_EQ(m_host.lines[1], "系统安装失败!\r\n");

    // The same size but another modification time.
    TransferImage touched = Image(1, "a.bin");
    touched.nExpectedSize = 100;
    touched.nExpectedMtimeNs = 12345;
    EXPECT_EQ(RunOn(board.Port(), {touched}).strReason, "a.bin: modified since it was measured");
    EXPECT_TRUE(board.Received().empty());
}

// The board never answers the store, and one wait for it alone outlasts ctest's time limit for the
// test: only a stop that cuts the wait short lets the test finish.
TEST_F(ImageTransferTest, StopDuringAStoreWaitEndsTheRun)
{
    WriteFile("a.bin", Pattern(1500, 0));
    m_settings.nStoreTimeoutMs = 600000;
    m_settings.nTries = 5;
    CUdpResponder board([this](const CUdpResponder::Datagram& d, int, const CUdpResponder::SendFn& send) {
        if (IsStore(d.data))
            m_bStop = 1;
        else
            send(0, CUdpResponder::ReplyTo(d.data));
    });
    TransferReport report = RunOn(board.Port(), {Image(1, "a.bin")});
    EXPECT_EQ(report.result, TransferResult::Stopped);
    EXPECT_FALSE(report.images[0].bStored);
    EXPECT_EQ(m_host.lines.back(), "a.bin:     终止下载!\r\n");
    auto got = board.Received();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_TRUE(IsStore(got[2].data));
}

// After replies that came at once, a lost one is sent again long before the configured limit.
TEST_F(ImageTransferTest, ALostReplyWaitsTheMeasuredLimitNotTheConfiguredOne)
{
    WriteFile("a.bin", Pattern(200 * 1024, 3));
    m_settings.nReplyTimeoutMs = 60000;
    m_settings.nReplyFloorMs = 1;
    bool bLost = false;
    CUdpResponder board([&bLost](const CUdpResponder::Datagram& d, int, const CUdpResponder::SendFn& send) {
        if (IsData(d.data) && FrameNumber(d.data) == 150 && !bLost) {
            bLost = true;
            return;
        }
        send(0, CUdpResponder::ReplyTo(d.data));
    });
    ASSERT_EQ(Run(board, {Image(1, "a.bin")}), TransferResult::Installed);
    int nResends = 0;
    for (const std::string& strLine : m_host.details) {
        int nWaitedMs = 0;
        if (std::sscanf(strLine.c_str(), "->No reply within %d ms", &nWaitedMs) != 1)
            continue;
        ++nResends;
        EXPECT_LT(nWaitedMs, 60000 / 4) << strLine;
    }
    EXPECT_GE(nResends, 1);
}

TEST_F(ImageTransferTest, EachImageReportsItsDigestFramesAndResends)
{
    WriteFile("a.bin", Bytes(1000000, 'a'));
    m_settings.nReplyTimeoutMs = kLossMs;
    bool bLost = false;
    CUdpResponder board([&bLost](const CUdpResponder::Datagram& d, int, const CUdpResponder::SendFn& send) {
        if (IsData(d.data) && FrameNumber(d.data) == 500 && !bLost) {
            bLost = true;   // one reply lost
            return;
        }
        send(0, CUdpResponder::ReplyTo(d.data));
    });
    TransferImage image = Image(9, "a.bin");
    image.nSlot = 3;
    TransferReport report = RunOn(board.Port(), {image});
    ASSERT_EQ(report.result, TransferResult::Installed);
    const TransferImageResult& result = report.images[0];
    EXPECT_EQ(result.nSlot, 3);
    EXPECT_EQ(result.nId, 9);
    EXPECT_EQ(result.strName, "a.bin");
    EXPECT_EQ(result.nSize, 1000000u);
    EXPECT_EQ(result.strSha256, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_EQ(result.nFrames, 977u);
    EXPECT_EQ(result.nResends, 1u);
    EXPECT_TRUE(result.bStored);
}

}  // namespace
