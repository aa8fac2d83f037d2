#include "net/transfer_frame.h"

#include <cstring>

#include "net/crc16.h"

namespace {

void PutCrc(uint8_t* pData, int nCovered)
{
    int nCrc = CalcCrc16(pData, nCovered);
    pData[nCovered] = static_cast<uint8_t>(nCrc & 0xFF);
    pData[nCovered + 1] = static_cast<uint8_t>((nCrc >> 8) & 0xFF);
}

bool CrcOk(const uint8_t* pData, int nCovered)
{
    int nCrc = CalcCrc16(pData, nCovered);
    return pData[nCovered] == (nCrc & 0xFF) && pData[nCovered + 1] == ((nCrc >> 8) & 0xFF);
}

}  // namespace

int BuildDataFrame(uint8_t* pOut, uint8_t cFileId, uint32_t nFrame, const uint8_t* pFile, uint64_t nFileSize)
{
    uint64_t nOffset = static_cast<uint64_t>(nFrame) * FRAME_PAYLOAD;
    bool bFull = nOffset + FRAME_PAYLOAD <= nFileSize;
    int nPayload = bFull ? FRAME_PAYLOAD : static_cast<int>(nFileSize - nOffset);
    uint16_t nLengthField = bFull ? FULL_FRAME_LENGTH_FIELD : static_cast<uint16_t>(nPayload);
    pOut[0] = CMD_DATA;
    pOut[1] = cFileId;
    pOut[2] = static_cast<uint8_t>((nFrame >> 8) & 0xFF);
    pOut[3] = static_cast<uint8_t>(nFrame & 0xFF);
    pOut[4] = static_cast<uint8_t>(nLengthField >> 8);
    pOut[5] = static_cast<uint8_t>(nLengthField & 0xFF);
    if (nPayload > 0)
        std::memcpy(pOut + FRAME_HEADER, pFile + nOffset, static_cast<size_t>(nPayload));
    PutCrc(pOut, FRAME_HEADER + nPayload);
    return FRAME_HEADER + nPayload + 2;
}

int BuildStoreCommand(uint8_t* pOut, uint8_t cFileId)
{
    pOut[0] = CMD_STORE;
    pOut[1] = cFileId;
    pOut[2] = pOut[3] = pOut[4] = pOut[5] = 0;
    PutCrc(pOut, FRAME_HEADER);
    return REPLY_SIZE;
}

int BuildReply(uint8_t* pOut, uint8_t cStatus, const uint8_t* pAnswered)
{
    pOut[0] = cStatus;
    std::memcpy(pOut + 1, pAnswered + 1, 5);
    PutCrc(pOut, 6);
    return REPLY_SIZE;
}

bool ReplyChecksumOk(const uint8_t* pReply) { return CrcOk(pReply, 6); }

bool ReplyEchoes(const uint8_t* pReply, const uint8_t* pSent) { return std::memcmp(pReply + 1, pSent + 1, 5) == 0; }

bool ParseFrame(const uint8_t* pData, int nLength, ParsedFrame& frame)
{
    if (nLength < FRAME_HEADER + 2 || nLength > FRAME_MAX)
        return false;
    frame.cType = pData[0];
    frame.cFileId = pData[1];
    frame.nFrame = static_cast<uint16_t>((pData[2] << 8) | pData[3]);
    frame.nLengthField = static_cast<uint16_t>((pData[4] << 8) | pData[5]);
    frame.nPayload = nLength - FRAME_HEADER - 2;
    frame.pPayload = pData + FRAME_HEADER;
    if (!CrcOk(pData, nLength - 2))
        return false;
    if (frame.cType == CMD_STORE)
        return nLength == REPLY_SIZE;
    if (frame.cType != CMD_DATA)
        return false;
    if (frame.nLengthField == FULL_FRAME_LENGTH_FIELD)
        return frame.nPayload == FRAME_PAYLOAD;
    return frame.nLengthField == frame.nPayload && frame.nPayload < FRAME_PAYLOAD;
}

namespace {

// Bytes 1 to 5 of the reply are those of one of the data frames of a file of nFileSize bytes.
bool EchoesDataFrame(const uint8_t* pReply, uint8_t cFileId, uint64_t nFileSize)
{
    if (pReply[1] != cFileId || nFileSize > MAX_IMAGE_SIZE)
        return false;
    uint32_t nFrame = static_cast<uint32_t>((pReply[2] << 8) | pReply[3]);
    uint16_t nLengthField = static_cast<uint16_t>((pReply[4] << 8) | pReply[5]);
    uint32_t nLast = FrameCount(nFileSize) - 1;
    if (nFrame < nLast)
        return nLengthField == FULL_FRAME_LENGTH_FIELD;
    return nFrame == nLast && nLengthField == nFileSize % FRAME_PAYLOAD;
}

}  // namespace

ReplyKind ClassifyReply(const ReplyExpectation& expect, const uint8_t* pReply, int nReplyLen)
{
    if (nReplyLen != REPLY_SIZE || !ReplyChecksumOk(pReply))
        return ReplyKind::Ignored;
    if (!expect.bStore && !ReplyEchoes(pReply, expect.pSent))
        return ReplyKind::Ignored;
    if (expect.bStore && !ReplyEchoes(pReply, expect.pSent)) {
        if (expect.nFileSize >= 0 &&
            EchoesDataFrame(pReply, expect.pSent[1], static_cast<uint64_t>(expect.nFileSize)))
            return ReplyKind::Ignored;
        bool bStoreEcho = pReply[2] == 0 && pReply[3] == 0 && pReply[4] == 0 && pReply[5] == 0;
        if (bStoreEcho && pReply[1] != expect.pSent[1])
            return ReplyKind::Ignored;
    }
    return pReply[0] == 0 ? ReplyKind::Success : ReplyKind::Failure;
}
