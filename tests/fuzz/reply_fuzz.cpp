// Feeds arbitrary datagrams to the reply checks, against a data frame and a store command built
// from the input's first bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "net/transfer_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize < 4)
        return 0;
    uint8_t cFileId = pData[0];
    uint32_t nFrame = static_cast<uint32_t>((pData[1] << 8) | pData[2]);
    bool bStore = pData[3] & 1;
    pData += 4;
    nSize -= 4;

    // The datagram awaiting a reply: a store command, or the last frame of a short file.
    static uint8_t file[FRAME_PAYLOAD];
    uint64_t nLastSize = nSize % FRAME_PAYLOAD;
    uint8_t sent[FRAME_MAX];
    if (bStore)
        BuildStoreCommand(sent, cFileId);
    else
        BuildDataFrame(sent, cFileId, 0, file, nLastSize);
    // For the store's duplicate check: a file of nFrame full frames and a last one.
    uint64_t nFileSize = static_cast<uint64_t>(nFrame) * FRAME_PAYLOAD + nLastSize;

    // The reply area holds 8 bytes plus slack, like the receive buffer of a run.
    uint8_t reply[REPLY_SIZE + 2] = {};
    int nReply = static_cast<int>(nSize > REPLY_SIZE ? REPLY_SIZE + 1 : nSize);
    std::memcpy(reply, pData, nSize > sizeof reply ? sizeof reply : nSize);

    ReplyExpectation expect;
    expect.pSent = sent;
    expect.bStore = bStore;
    expect.nFileSize = bStore && (nFrame & 1) ? static_cast<int64_t>(nFileSize) : -1;
    ReplyKind kind = ClassifyReply(expect, reply, nReply);
    if (kind != ReplyKind::Ignored && (nReply != REPLY_SIZE || !ReplyChecksumOk(reply)))
        __builtin_trap();
    if (!bStore && kind != ReplyKind::Ignored && !ReplyEchoes(reply, sent))
        __builtin_trap();
    return 0;
}
