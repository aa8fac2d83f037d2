#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "net/crc16.h"
#include "net/transfer_frame.h"

TEST(Crc16, KnownValuesAndEmptyInput)
{
    const unsigned char abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(CalcCrc16(abc, 3), 0x5749);
    EXPECT_EQ(CalcCrc16(abc, 0), 0xFFFF);
    EXPECT_EQ(CalcCrc16(abc, -4), 0xFFFF);
}

TEST(Crc16, MatchesBitwiseDefinitionOnRandomData)
{
    std::mt19937 rng(7);
    std::vector<unsigned char> data(4099);
    for (auto& b : data)
        b = static_cast<unsigned char>(rng());
    for (int len : {1, 2, 7, 8, 9, 63, 1024, 1030, 4099})
        EXPECT_EQ(CalcCrc16(data.data(), len), CalcCrc16Bitwise(data.data(), len)) << len;
}

TEST(Crc16, MatchesBitwiseDefinitionAtEveryLengthAndAlignment)
{
    std::mt19937 rng(11);
    std::vector<unsigned char> data(2200);
    for (auto& b : data)
        b = static_cast<unsigned char>(rng());
    for (int len = 0; len <= 2100; ++len)
        ASSERT_EQ(CalcCrc16(data.data() + len % 7, len), CalcCrc16Bitwise(data.data() + len % 7, len)) << len;
    std::vector<unsigned char> ones(1030, 0xFF), zeros(1030, 0);
    EXPECT_EQ(CalcCrc16(ones.data(), 1030), CalcCrc16Bitwise(ones.data(), 1030));
    EXPECT_EQ(CalcCrc16(zeros.data(), 1030), CalcCrc16Bitwise(zeros.data(), 1030));
}

TEST(TransferFrame, WorkedExamples)
{
    uint8_t out[FRAME_MAX];
    ASSERT_EQ(BuildStoreCommand(out, 3), 8);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8), (std::vector<uint8_t>{0x05, 0x03, 0, 0, 0, 0, 0x44, 0x4E}));
    uint8_t reply[8];
    BuildReply(reply, 0, out);
    EXPECT_EQ(std::vector<uint8_t>(reply, reply + 8), (std::vector<uint8_t>{0, 0x03, 0, 0, 0, 0, 0x44, 0x1B}));

    const uint8_t abc[] = {'a', 'b', 'c'};
    ASSERT_EQ(BuildDataFrame(out, 2, 0, abc, 3), 11);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 11),
              (std::vector<uint8_t>{0x01, 0x02, 0, 0, 0, 0x03, 0x61, 0x62, 0x63, 0xBE, 0x6A}));
    BuildReply(reply, 0, out);
    EXPECT_EQ(std::vector<uint8_t>(reply, reply + 8), (std::vector<uint8_t>{0, 0x02, 0, 0, 0, 0x03, 0x39, 0xDA}));
    EXPECT_TRUE(ReplyChecksumOk(reply));
    EXPECT_TRUE(ReplyEchoes(reply, out));

    ASSERT_EQ(BuildDataFrame(out, 2, 0, nullptr, 0), 8);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8), (std::vector<uint8_t>{0x01, 0x02, 0, 0, 0, 0, 0x78, 0x0A}));
}

TEST(TransferFrame, FullAndLastFramesRoundTripThroughParse)
{
    std::vector<uint8_t> file(259 * 1024 + 476, 0x5A);
    uint8_t out[FRAME_MAX];
    ASSERT_EQ(BuildDataFrame(out, 2, 258, file.data(), file.size()), 1032);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{0x01, 0x02, 0x01, 0x02, 0x40, 0x00}));
    ParsedFrame frame;
    ASSERT_TRUE(ParseFrame(out, 1032, frame));
    EXPECT_EQ(frame.nFrame, 258);
    EXPECT_EQ(frame.nPayload, 1024);

    ASSERT_EQ(BuildDataFrame(out, 2, 259, file.data(), file.size()), 484);
    EXPECT_EQ(out[4], 0x01);
    EXPECT_EQ(out[5], 0xDC);
    ASSERT_TRUE(ParseFrame(out, 484, frame));
    EXPECT_EQ(frame.nPayload, 476);
    out[10] ^= 1;
    EXPECT_FALSE(ParseFrame(out, 484, frame));
    EXPECT_EQ(FrameCount(1024), 2u);
    EXPECT_EQ(FrameCount(0), 1u);
}
