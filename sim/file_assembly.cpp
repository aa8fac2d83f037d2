#include "sim/file_assembly.h"

#include <cstring>

#include "net/transfer_frame.h"

void CFileAssembly::PutFrame(uint16_t nFrame, const uint8_t* pPayload, size_t nLength, bool bLast)
{
    // A stop-and-wait sender only goes back to frame 0 when it starts the file again.
    if (nFrame == 0 && m_nFrames > 0 && !(m_nFrames == 1 && m_vecHave[0]))
        Clear();
    size_t nOffset = static_cast<size_t>(nFrame) * FRAME_PAYLOAD;
    if (m_vecData.size() < nOffset + nLength)
        m_vecData.resize(nOffset + nLength);
    if (nLength > 0)
        std::memcpy(m_vecData.data() + nOffset, pPayload, nLength);
    if (m_vecHave.size() <= nFrame)
        m_vecHave.resize(static_cast<size_t>(nFrame) + 1, false);
    if (!m_vecHave[nFrame]) {
        m_vecHave[nFrame] = true;
        ++m_nFrames;
    }
    // A full frame at or past the known end means the file has grown since: its end is unknown again.
    if (!bLast && m_bHaveLast && nFrame >= m_nLastFrame)
        m_bHaveLast = false;
    if (bLast) {
        m_bHaveLast = true;
        m_nLastFrame = nFrame;
        m_nSize = nOffset + nLength;
    }
}

bool CFileAssembly::Complete() const
{
    if (!m_bHaveLast)
        return false;
    for (uint32_t n = 0; n <= m_nLastFrame; ++n) {
        if (n >= m_vecHave.size() || !m_vecHave[n])
            return false;
    }
    return true;
}

void CFileAssembly::Clear()
{
    m_vecData.clear();
    m_vecHave.clear();
    m_nFrames = 0;
    m_bHaveLast = false;
    m_nLastFrame = 0;
    m_nSize = 0;
}
