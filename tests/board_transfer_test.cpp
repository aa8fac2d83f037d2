#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>
#include <vector>

#include "net/transfer_frame.h"
#include "sim/board_transfer_server.h"
#include "sim/file_assembly.h"

namespace {

namespace fs = std::filesystem;

// The host's end: sends frames to the board's server on loopback and reads its replies.
class BoardTransferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("tovar-board-test-" + std::to_string(getpid()));
        fs::remove_all(m_dir);
        m_config.strStoreDir = m_dir.string();
        m_config.nPort = 0;
        m_nSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(m_nSocket, 0);
    }

    void TearDown() override
    {
        StopServer();
        ::close(m_nSocket);
        fs::remove_all(m_dir);
    }

    void StartServer()
    {
        m_pServer = std::make_unique<CBoardTransferServer>(m_config);
        std::string strError;
        ASSERT_TRUE(m_pServer->Open(strError)) << strError;
        m_nTarget = m_pServer->Port();
        m_thread = std::thread([this] { m_pServer->Run(m_bStop); });
    }

    void StopServer()
    {
        m_bStop = 1;
        if (m_thread.joinable())
            m_thread.join();
    }

    // Sends a datagram and returns the first reply within nWaitMs (empty when none came).
    std::vector<uint8_t> Exchange(const uint8_t* pData, int nLength, int nWaitMs = 500)
    {
        sockaddr_in to {};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(m_nTarget));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::sendto(m_nSocket, pData, static_cast<size_t>(nLength), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to));
        return Receive(nWaitMs);
    }

    std::vector<uint8_t> Receive(int nWaitMs)
    {
        pollfd pfd {m_nSocket, POLLIN, 0};
        if (::poll(&pfd, 1, nWaitMs) <= 0)
            return {};
        uint8_t buffer[64];
        sockaddr_in from {};
        socklen_t nFromLength = sizeof(from);
        ssize_t nLength = ::recvfrom(m_nSocket, buffer, sizeof(buffer), 0, reinterpret_cast<sockaddr*>(&from),
                                     &nFromLength);
        m_nReplyFrom = ntohs(from.sin_port);
        return std::vector<uint8_t>(buffer, buffer + std::max<ssize_t>(nLength, 0));
    }

    // Sends a whole file, each frame until it is acknowledged, then the store command; the store status.
    int SendFile(uint8_t cId, const std::vector<uint8_t>& vecFile, int nWaitMs = 500)
    {
        uint8_t frame[FRAME_MAX];
        for (uint32_t n = 0; n < FrameCount(vecFile.size()); ++n) {
            int nLength = BuildDataFrame(frame, cId, n, vecFile.data(), vecFile.size());
            int nStatus = ExchangeUntilReply(frame, nLength, nWaitMs);
            if (nStatus != 0)
                return nStatus;
        }
        int nLength = BuildStoreCommand(frame, cId);
        return ExchangeUntilReply(frame, nLength, nWaitMs);
    }

    int ExchangeUntilReply(const uint8_t* pFrame, int nLength, int nWaitMs)
    {
        for (int nTry = 0; nTry < 50; ++nTry) {
            auto vecReply = Exchange(pFrame, nLength, nWaitMs);
            if (vecReply.size() == REPLY_SIZE && ReplyChecksumOk(vecReply.data()) &&
                ReplyEchoes(vecReply.data(), pFrame))
                return vecReply[0];
        }
        return -1;
    }

    std::vector<uint8_t> Stored(int nId)
    {
        std::ifstream file(m_dir / (std::to_string(nId) + ".bin"), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
    }

    static std::vector<uint8_t> Pattern(size_t nSize, unsigned nSeed)
    {
        std::mt19937 rng(nSeed);
        std::vector<uint8_t> vec(nSize);
        for (auto& c : vec)
            c = static_cast<uint8_t>(rng());
        return vec;
    }

    fs::path m_dir;
    TransferConfig m_config;
    std::unique_ptr<CBoardTransferServer> m_pServer;
    std::atomic<int> m_bStop {0};
    std::thread m_thread;
    int m_nSocket = -1;
    int m_nTarget = 0;
    int m_nReplyFrom = 0;
};

TEST_F(BoardTransferTest, StoresFilesOfEveryShapeByteForByte)
{
    StartServer();
    auto vecMid = Pattern(1500, 1), vecWhole = Pattern(2048, 2);
    EXPECT_EQ(SendFile(2, vecMid), 0);
    EXPECT_EQ(SendFile(3, vecWhole), 0);
    EXPECT_EQ(SendFile(4, {}), 0);
    EXPECT_EQ(Stored(2), vecMid);
    EXPECT_EQ(Stored(3), vecWhole);
    EXPECT_TRUE(fs::exists(m_dir / "4.bin"));
    EXPECT_EQ(fs::file_size(m_dir / "4.bin"), 0u);
    EXPECT_EQ(m_pServer->GetStats().nStored, 3u);
    EXPECT_EQ(m_nReplyFrom, m_nTarget);
}

TEST_F(BoardTransferTest, RepeatsAndRestartsDoNotCorrupt)
{
    StartServer();
    auto vecFile = Pattern(3000, 3);
    uint8_t frame[FRAME_MAX];
    // Frame 1 twice (the host missed the first reply), frame 0 twice.
    for (uint32_t n : {0u, 0u, 1u, 1u, 2u}) {
        int nLength = BuildDataFrame(frame, 9, n, vecFile.data(), vecFile.size());
        EXPECT_EQ(ExchangeUntilReply(frame, nLength, 500), 0);
    }
    // A store sent again (its reply was lost) is answered as the first one.
    int nLength = BuildStoreCommand(frame, 9);
    EXPECT_EQ(ExchangeUntilReply(frame, nLength, 500), 0);
    EXPECT_EQ(ExchangeUntilReply(frame, nLength, 500), 0);
    EXPECT_EQ(Stored(9), vecFile);

    // The host starts the file again with other content: frame 0 after later frames.
    auto vecOther = Pattern(1100, 4);
    BuildDataFrame(frame, 9, 0, vecOther.data(), vecOther.size());
    EXPECT_EQ(ExchangeUntilReply(frame, FRAME_MAX, 500), 0);
    nLength = BuildStoreCommand(frame, 9);
    EXPECT_EQ(ExchangeUntilReply(frame, nLength, 500), BOARD_STATUS_INCOMPLETE);
    EXPECT_EQ(SendFile(9, vecOther), 0);
    EXPECT_EQ(Stored(9), vecOther);

    // Malformed datagrams get no reply at all.
    frame[7] ^= 0xFF;
    EXPECT_TRUE(Exchange(frame, nLength, 30).empty());
    EXPECT_EQ(m_pServer->GetStats().nBadDatagrams, 1u);
}

TEST_F(BoardTransferTest, LostRepliesWithASeedStillStoreTheFile)
{
    m_config.nLossPercent = 30;
    m_config.nSeed = 5;
    StartServer();
    auto vecFile = Pattern(20 * 1024 + 7, 5);
    EXPECT_EQ(SendFile(1, vecFile, 30), 0);
    EXPECT_EQ(Stored(1), vecFile);
    EXPECT_GT(m_pServer->GetStats().nDropped, 0u);
}

TEST_F(BoardTransferTest, FailureAtFrameKAndStoreFailure)
{
    m_config.nFailAtFrame = 2;
    StartServer();
    auto vecFile = Pattern(5000, 6);
    uint8_t frame[FRAME_MAX];
    for (uint32_t n = 0; n < 4; ++n) {
        int nLength = BuildDataFrame(frame, 1, n, vecFile.data(), vecFile.size());
        EXPECT_EQ(ExchangeUntilReply(frame, nLength, 500), n == 2 ? BOARD_STATUS_FRAME_FAILED : 0) << n;
    }
    StopServer();

    m_config.nFailAtFrame = -1;
    m_config.bStoreFail = true;
    m_bStop = 0;
    StartServer();
    EXPECT_EQ(SendFile(1, vecFile), BOARD_STATUS_STORE_FAILED);
    EXPECT_FALSE(fs::exists(m_dir / "1.bin"));
}

TEST_F(BoardTransferTest, RepliesFromAnotherPortDuplicatedOrCorrupted)
{
    m_config.bReplyFromOtherPort = true;
    m_config.bDuplicateReplies = true;
    StartServer();
    ASSERT_NE(m_pServer->ReplyPort(), m_pServer->Port());
    uint8_t frame[FRAME_MAX];
    int nLength = BuildStoreCommand(frame, 1);
    auto vecReply = Exchange(frame, nLength);
    ASSERT_EQ(vecReply.size(), 8u);
    EXPECT_EQ(m_nReplyFrom, m_pServer->ReplyPort());
    EXPECT_EQ(Receive(500), vecReply);  // the duplicate
    // A host that follows the reply's port is still served.
    m_nTarget = m_pServer->ReplyPort();
    EXPECT_EQ(SendFile(1, Pattern(10, 7)), 0);
    StopServer();

    m_config = TransferConfig {};
    m_config.strStoreDir = m_dir.string();
    m_config.nPort = 0;
    m_config.nCorruptPercent = 100;
    m_bStop = 0;
    StartServer();
    while (!Receive(20).empty()) {
    }  // the duplicates left over
    vecReply = Exchange(frame, nLength);
    ASSERT_EQ(vecReply.size(), 8u);
    EXPECT_FALSE(ReplyChecksumOk(vecReply.data()));
}

TEST(FileAssembly, EndFollowsTheLatestLastFrame)
{
    std::vector<uint8_t> vecFull(1024, 0xAB), vecTail(5, 0xCD);
    CFileAssembly file;
    file.PutFrame(0, vecTail.data(), 5, true);  // a 5-byte file...
    EXPECT_TRUE(file.Complete());
    file.PutFrame(0, vecFull.data(), 1024, false);  // ...sent again as a larger one
    EXPECT_FALSE(file.Complete());
    file.PutFrame(1, vecTail.data(), 5, true);
    ASSERT_TRUE(file.Complete());
    EXPECT_EQ(file.Size(), 1029u);
    EXPECT_EQ(file.Data()[1023], 0xAB);
    EXPECT_EQ(file.Data()[1024], 0xCD);
    file.PutFrame(3, vecTail.data(), 5, true);  // a gap
    EXPECT_FALSE(file.Complete());
}

}  // namespace
