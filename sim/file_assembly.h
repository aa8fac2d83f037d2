#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// One file as the board's boot loader assembles it from numbered data frames. Frame n carries the
// bytes from n * 1024 on; the last frame (fewer than 1024 bytes, maybe none) fixes the size.
// A repeated frame overwrites its own bytes only, so a resend never corrupts the file.
class CFileAssembly {
public:
    // bLast: the frame's length field is not the full-frame marker.
    void PutFrame(uint16_t nFrame, const uint8_t* pPayload, size_t nLength, bool bLast);
    // The last frame and every frame before it are here.
    bool Complete() const;
    // The file's bytes; valid when Complete().
    const uint8_t* Data() const { return m_vecData.data(); }
    size_t Size() const { return m_nSize; }
    bool Empty() const { return m_nFrames == 0; }
    void Clear();

private:
    std::vector<uint8_t> m_vecData;
    std::vector<bool> m_vecHave;
    size_t m_nFrames = 0;  // distinct frames received
    bool m_bHaveLast = false;
    uint32_t m_nLastFrame = 0;
    size_t m_nSize = 0;
};
