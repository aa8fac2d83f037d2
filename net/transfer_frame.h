#pragma once
#include <cstdint>

// Datagram formats of the image transfer: data frames and store commands from the PC,
// 8-byte replies from the board. All checksums are CalcCrc16, low byte first.
constexpr uint8_t CMD_DATA = 1;
constexpr uint8_t CMD_STORE = 5;
constexpr int FRAME_PAYLOAD = 1024;
constexpr int FRAME_HEADER = 6;
constexpr int FRAME_MAX = FRAME_HEADER + FRAME_PAYLOAD + 2;  // 1032
constexpr int REPLY_SIZE = 8;
constexpr uint16_t FULL_FRAME_LENGTH_FIELD = 0x4000;          // what a full frame carries, not 0x0400
constexpr uint64_t MAX_IMAGE_SIZE = 65536ull * FRAME_PAYLOAD - 1;  // larger files would repeat frame numbers

// The board's boot loader listens on this address of the PC-to-board link, on NET_PORT; the tool
// sends from NET_PORT too.
constexpr char BOARD_IP[] = "192.168.1.100";
constexpr int NET_PORT = 1000;

// Number of data frames of a file: floor(size / 1024) + 1 (the last may carry nothing).
inline uint32_t FrameCount(uint64_t nSize) { return static_cast<uint32_t>(nSize / FRAME_PAYLOAD + 1); }

// Writes frame nFrame of a file of nFileSize bytes (pFile) into pOut (room for FRAME_MAX);
// returns the datagram length.
int BuildDataFrame(uint8_t* pOut, uint8_t cFileId, uint32_t nFrame, const uint8_t* pFile, uint64_t nFileSize);

// Writes the 8-byte store command for a file identifier; returns 8.
int BuildStoreCommand(uint8_t* pOut, uint8_t cFileId);

// Writes an 8-byte reply with the given status echoing bytes 1 to 5 of the datagram answered.
int BuildReply(uint8_t* pOut, uint8_t cStatus, const uint8_t* pAnswered);

// Bytes 6 and 7 of the reply hold the checksum of bytes 0 to 5.
bool ReplyChecksumOk(const uint8_t* pReply);

// Bytes 1 to 5 of the reply equal bytes 1 to 5 of the datagram sent.
bool ReplyEchoes(const uint8_t* pReply, const uint8_t* pSent);

// A datagram as the board sees it.
struct ParsedFrame {
    uint8_t cType = 0;
    uint8_t cFileId = 0;
    uint16_t nFrame = 0;
    uint16_t nLengthField = 0;
    const uint8_t* pPayload = nullptr;
    int nPayload = 0;
};

// Checks length, length field and checksum of a received datagram; true when it is a well-formed
// data frame or store command.
bool ParseFrame(const uint8_t* pData, int nLength, ParsedFrame& frame);

// What a received datagram means to the datagram awaiting its reply.
enum class ReplyKind { Ignored, Success, Failure };

struct ReplyExpectation {
    const uint8_t* pSent = nullptr;   // the datagram awaiting a reply (at least 8 bytes)
    bool bStore = false;              // a store command: see ClassifyReply
    int64_t nFileSize = -1;           // store command only: the size of the file just sent
};

// Only a full 8-byte reply with a good checksum counts; for a data frame its bytes 1 to 5 must
// also echo the frame. A store's answer need not echo the store, but one that echoes a data frame
// of the file, or the store of another file, answers something else and is ignored. Success or
// failure is then its status byte.
ReplyKind ClassifyReply(const ReplyExpectation& expect, const uint8_t* pReply, int nReplyLen);
