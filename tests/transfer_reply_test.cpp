#include <gtest/gtest.h>

#include <vector>

#include "net/transfer_frame.h"

namespace {

std::vector<uint8_t> Reply(const uint8_t* pAnswered, uint8_t cStatus)
{
    std::vector<uint8_t> reply(REPLY_SIZE);
    BuildReply(reply.data(), cStatus, pAnswered);
    return reply;
}

TEST(ClassifyReply, DataRepliesMustBeWholeWithChecksumAndEcho)
{
    std::vector<uint8_t> file(3000, 7);
    uint8_t frame[FRAME_MAX];
    BuildDataFrame(frame, 9, 1, file.data(), file.size());
    ReplyExpectation expect;
    expect.pSent = frame;

    auto ok = Reply(frame, 0);
    EXPECT_EQ(ClassifyReply(expect, ok.data(), 8), ReplyKind::Success);
    EXPECT_EQ(ClassifyReply(expect, Reply(frame, 4).data(), 8), ReplyKind::Failure);
    // Fewer than 8 bytes never count, whatever the rest of the area still holds.
    EXPECT_EQ(ClassifyReply(expect, ok.data(), 7), ReplyKind::Ignored);
    EXPECT_EQ(ClassifyReply(expect, ok.data(), 0), ReplyKind::Ignored);
    auto bad = Reply(frame, 4);
    bad[6] ^= 1;
    EXPECT_EQ(ClassifyReply(expect, bad.data(), 8), ReplyKind::Ignored);
    uint8_t previous[FRAME_MAX];
    BuildDataFrame(previous, 9, 0, file.data(), file.size());
    EXPECT_EQ(ClassifyReply(expect, Reply(previous, 0).data(), 8), ReplyKind::Ignored);
}

TEST(ClassifyReply, StoreTakesAnyEchoButADataFrameOrAnotherStore)
{
    std::vector<uint8_t> file(1500, 7);
    uint8_t store[REPLY_SIZE];
    BuildStoreCommand(store, 9);
    uint8_t last[FRAME_MAX];
    BuildDataFrame(last, 9, 1, file.data(), file.size());
    uint8_t otherStore[REPLY_SIZE];
    BuildStoreCommand(otherStore, 8);
    uint8_t other[REPLY_SIZE] = {0, 1, 2, 3, 4, 5};
    ReplyExpectation expect;
    expect.pSent = store;
    expect.bStore = true;
    expect.nFileSize = static_cast<int64_t>(file.size());

    EXPECT_EQ(ClassifyReply(expect, Reply(other, 0).data(), 8), ReplyKind::Success);
    EXPECT_EQ(ClassifyReply(expect, Reply(other, 1).data(), 8), ReplyKind::Failure);
    EXPECT_EQ(ClassifyReply(expect, Reply(store, 0).data(), 8), ReplyKind::Success);
    EXPECT_EQ(ClassifyReply(expect, Reply(last, 0).data(), 8), ReplyKind::Ignored);
    EXPECT_EQ(ClassifyReply(expect, Reply(otherStore, 0).data(), 8), ReplyKind::Ignored);
}

}  // namespace
