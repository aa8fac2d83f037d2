#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "net/image_transfer.h"
#include "net/net.h"
#include "support/udp_responder.h"

namespace fs = std::filesystem;
constexpr int kLossMs = 250;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

namespace {

struct RecordingHost : ITransferHost {
    Lines lines;
    int nEnabled = 0;
    std::vector<int> progress;
    void AppendLog(const std::string& strText) override { lines.push_back(strText); }
    void EnableButtons() override { ++nEnabled; }
    void SetProgress(int nPercent) override { progress.push_back(nPercent); }
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

FileEntry Entry(int nId, const char* szName, int8_t cSelected = 1)
{
    FileEntry entry;
    entry.nId = nId;
    std::strncpy(entry.szName, szName, sizeof entry.szName - 1);
    entry.cSelected = cSelected;
    return entry;
}

Bytes Pattern(size_t nSize, uint8_t cSeed)
{
    Bytes data(nSize);
    for (size_t i = 0; i < nSize; ++i)
        data[i] = static_cast<uint8_t>(i * 31 + cSeed);
    return data;
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
    }
    void TearDown() override { fs::remove_all(m_dir); }

    void WriteFile(const std::string& strName, const Bytes& data)
    {
        std::ofstream out(m_dir / strName, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }

    TransferResult Run(CUdpResponder& board, const std::vector<FileEntry>& files)
    {
        return Run(board, files, static_cast<int>(files.size()));
    }
    TransferResult Run(CUdpResponder& board, const std::vector<FileEntry>& files, int nCount)
    {
        m_settings.nBoardPort = board.Port();
        CImageTransfer transfer(m_host, SystemClock(), m_settings);
        TransferResult result = transfer.Run(m_net, files.data(), nCount,
                                             m_dir.string(), m_bStop, m_bQuit);
        EXPECT_FALSE(m_net.IsOpen()) << "the socket is closed at every end";
        return result;
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

TEST_F(ImageTransferTest, SendsSelectedFilesFrameByFrameAndStoresEach)
{
    WriteFile("empty.bin", {});
    WriteFile("k.bin", Pattern(1024, 1));
    WriteFile("odd.bin", Pattern(1500, 2));
    CUdpResponder board;
    std::vector<FileEntry> files = {Entry(2, "empty.bin"), Entry(7, "skipped0.bin", 0), Entry(3, "k.bin"),
                                    Entry(8, "skipped2.bin", 2), Entry(0x104, "odd.bin")};
    ASSERT_EQ(Run(board, files), TransferResult::Installed);

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
    EXPECT_EQ(m_host.nEnabled, 1);
    ASSERT_FALSE(m_host.progress.empty());
    EXPECT_EQ(m_host.progress.front(), 0);
    EXPECT_EQ(m_host.progress.back(), 100);

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

TEST_F(ImageTransferTest, NoEntriesStillEndsWithSuccessAndButtons)
{
    CUdpResponder board;
    std::vector<FileEntry> files = {Entry(1, "a.bin")};
    EXPECT_EQ(Run(board, files, 0), TransferResult::Installed);
    EXPECT_EQ(Run(board, files, -5), TransferResult::Installed);
    EXPECT_EQ(m_host.lines, (Lines{"系统安装成功!\r\n", "系统安装成功!\r\n"}));
    EXPECT_EQ(m_host.nEnabled, 2);
    EXPECT_TRUE(board.Received().empty());
}

TEST_F(ImageTransferTest, CountBeyondTheTableIsCutToFiveSlots)
{
    WriteFile("a.bin", Pattern(10, 0));
    CUdpResponder board;
    std::vector<FileEntry> files(7, Entry(1, "a.bin", 0));
    files[4] = Entry(5, "a.bin");
    files[5] = Entry(6, "a.bin");
    files[6] = Entry(7, "a.bin");
    ASSERT_EQ(Run(board, files, 7), TransferResult::Installed);
    for (const auto& dgram : board.Received())
        EXPECT_EQ(dgram.data[1], 5) << "only slot 4 of the first five is sent";
}

TEST_F(ImageTransferTest, MissingFileEndsTheRunWithoutLaterEntries)
{
    WriteFile("b.bin", Pattern(10, 0));
    CUdpResponder board;
    std::vector<FileEntry> files = {Entry(1, "missing.bin"), Entry(2, "b.bin")};
    EXPECT_EQ(Run(board, files), TransferResult::Ended);
    EXPECT_EQ(m_host.lines, (Lines{"missing.bin:     文件打开失败!\r\n"}));
    EXPECT_EQ(m_host.nEnabled, 0);
    EXPECT_TRUE(board.Received().empty());
}

TEST_F(ImageTransferTest, EntryWithoutANameCannotBeOpened)
{
    CUdpResponder board;
    std::vector<FileEntry> files = {Entry(1, "")};
    EXPECT_EQ(Run(board, files), TransferResult::Ended);
    EXPECT_EQ(m_host.lines, (Lines{":     文件打开失败!\r\n"}));
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
    std::vector<FileEntry> dir = {Entry(1, "dir.bin")};
    EXPECT_EQ(Run(board, dir), TransferResult::Ended);
    std::vector<FileEntry> big = {Entry(1, "big.bin")};
    EXPECT_EQ(Run(board, big), TransferResult::Ended);
    ASSERT_EQ(m_host.lines.size(), 2u);
    EXPECT_NE(m_host.lines[0].find("dir.bin cannot be read whole"), std::string::npos) << m_host.lines[0];
    EXPECT_NE(m_host.lines[1].find("big.bin is too large (67108864 bytes"), std::string::npos) << m_host.lines[1];
    EXPECT_EQ(m_host.lines[1].substr(0, 2), "->");
    EXPECT_TRUE(board.Received().empty());
    EXPECT_EQ(m_host.nEnabled, 0);
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
    std::vector<FileEntry> files = {Entry(1, "a.bin")};
    EXPECT_EQ(Run(board, files), TransferResult::Ended);
    close(hBusy);
    ASSERT_EQ(m_host.lines.size(), 1u);
    EXPECT_EQ(m_host.lines[0].substr(0, 2), "->");
    EXPECT_NE(m_host.lines[0].find("Address already in use"), std::string::npos) << m_host.lines[0];
    EXPECT_TRUE(board.Received().empty());
}

TEST_F(ImageTransferTest, FailureStatusEndsTheRunWithTheAcknowledgedCount)
{
    WriteFile("a.bin", Pattern(3000, 0));
    WriteFile("b.bin", Pattern(10, 0));
    CUdpResponder board([](const CUdpResponder::Datagram& d, int, const CUdpResponder::SendFn& send) {
        send(0, CUdpResponder::ReplyTo(d.data, FrameNumber(d.data) == 2 ? 3 : 0));
    });
    std::vector<FileEntry> files = {Entry(1, "a.bin"), Entry(2, "b.bin")};
    EXPECT_EQ(Run(board, files), TransferResult::Ended);
    EXPECT_EQ(m_host.lines, (Lines{"a.bin:     正在下载......\r\n",
                                   "a.bin:     下载失败!   已下载2帧，已下载2048字节\r\n"}));
    EXPECT_EQ(board.Received().size(), 3u);
    EXPECT_EQ(m_host.nEnabled, 0);
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
    std::vector<FileEntry> files = {Entry(1, "a.bin")};
    ASSERT_EQ(Run(strict, files), TransferResult::Installed);
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
    std::vector<FileEntry> files = {Entry(1, "a.bin")};
    ASSERT_EQ(Run(board, files), TransferResult::Installed);
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
    std::vector<FileEntry> files = {Entry(1, "a.bin")};
    ASSERT_EQ(Run(board, files), TransferResult::Installed);
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
    std::vector<FileEntry> files = {Entry(1, "a.bin"), Entry(2, "b.bin")};
    EXPECT_EQ(Run(board, files), TransferResult::Ended);
    EXPECT_EQ(m_host.lines, (Lines{"a.bin:     正在下载......\r\n",
                                   "a.bin:     下载失败!   已下载1帧，已下载1024字节\r\n"}));
    auto got = board.Received();
    ASSERT_EQ(got.size(), 1u + 3u) << "frame 1 was tried three times";
    for (const auto& dgram : got)
        EXPECT_FALSE(IsStore(dgram.data));
    EXPECT_EQ(m_host.nEnabled, 0);
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
    std::vector<FileEntry> files = {Entry(1, "a.bin"), Entry(2, "b.bin"), Entry(3, "c.bin")};
    EXPECT_EQ(Run(board, files), TransferResult::InstallFailed);
    ASSERT_EQ(m_host.lines.size(), 10u);
    EXPECT_EQ(m_host.lines[2], "a.bin:     存储完成!\r\n");
    EXPECT_EQ(m_host.lines[5], "b.bin:     存储不成功，请重新下载!\r\n");
    EXPECT_EQ(m_host.lines[8], "c.bin:     存储无应答!\r\n");
    EXPECT_EQ(m_host.lines[9], "系统安装失败!\r\n");
    EXPECT_EQ(m_host.nEnabled, 1);
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
    std::vector<FileEntry> files = {Entry(1, "a.bin")};
    EXPECT_EQ(Run(board, files), TransferResult::Stopped);
    EXPECT_EQ(m_host.lines, (Lines{"a.bin:     正在下载......\r\n", "a.bin:     终止下载!\r\n"}));
    EXPECT_EQ(board.Received().size(), 2u);
    EXPECT_EQ(m_host.nEnabled, 0);
}

TEST_F(ImageTransferTest, StopDuringTheLastFrameLetsTheStoreGoOut)
{
    WriteFile("a.bin", Pattern(1500, 0));
    WriteFile("b.bin", Pattern(10, 0));
    CUdpResponder board([this](const CUdpResponder::Datagram& d, int, const CUdpResponder::SendFn& send) {
        if (IsData(d.data) && d.data[1] == 1 && FrameNumber(d.data) == 1)
            m_bStop = 1;
        send(0, CUdpResponder::ReplyTo(d.data));
    });
    std::vector<FileEntry> files = {Entry(1, "a.bin"), Entry(2, "b.bin")};
    EXPECT_EQ(Run(board, files), TransferResult::Stopped);
    EXPECT_EQ(m_host.lines, (Lines{"a.bin:     正在下载......\r\n",
                                   "a.bin:     下载帧:2;下载字节:1500  -------下载完成!\r\n",
                                   "a.bin:     存储完成!\r\n", "b.bin:     正在下载......\r\n",
                                   "b.bin:     终止下载!\r\n"}));

    // With nothing selected after it, the run ends normally.
    m_host = RecordingHost();
    m_bStop = 0;
    files[1].cSelected = 0;
    CUdpResponder board2([this](const CUdpResponder::Datagram& d, int, const CUdpResponder::SendFn& send) {
        if (IsData(d.data) && FrameNumber(d.data) == 1)
            m_bStop = 1;
        send(0, CUdpResponder::ReplyTo(d.data));
    });
    EXPECT_EQ(Run(board2, files), TransferResult::Installed);
    EXPECT_EQ(m_host.lines.back(), "系统安装成功!\r\n");
    EXPECT_EQ(m_host.nEnabled, 1);
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
    std::vector<FileEntry> files = {Entry(1, "a.bin")};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(board, files), TransferResult::Quit);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(m_host.nEnabled, 0);
}

TEST_F(ImageTransferTest, SettlePauseUsesTheClockAndQuitEndsIt)
{
    CUdpResponder board;
    std::vector<FileEntry> files = {Entry(1, "a.bin")};
    TransferSettings settings = m_settings;
    settings.nSettleMs = 10000;
    settings.nBoardPort = board.Port();
    FakeClock clock;
    CImageTransfer transfer(m_host, clock, settings);
    EXPECT_EQ(transfer.Run(m_net, files.data(), 0, m_dir.string(), m_bStop, m_bQuit), TransferResult::Installed);
    EXPECT_EQ(clock.nSlept, 10000u);

    m_host = RecordingHost();
    clock.pQuitOnSleep = &m_bQuit;
    WriteFile("a.bin", Pattern(10, 0));
    EXPECT_EQ(transfer.Run(m_net, files.data(), 1, m_dir.string(), m_bStop, m_bQuit), TransferResult::Quit);
    EXPECT_LT(clock.nSlept, 20000u);
    EXPECT_TRUE(m_host.lines.empty());
    EXPECT_EQ(m_host.nEnabled, 0);
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
    std::vector<FileEntry> files = {Entry(1, "a.bin")};
    EXPECT_EQ(transfer.Run(m_net, files.data(), 1, m_dir.string(), m_bStop, m_bQuit), TransferResult::Ended);
    EXPECT_EQ(m_host.lines.back(), "a.bin:     下载失败!   已下载0帧，已下载0字节\r\n");
    EXPECT_EQ(board.Received().size(), 2u);
}

}  // namespace
