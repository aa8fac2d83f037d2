#pragma once
#include <cstdint>
#include <memory>
#include <string>

// Releases the anonymous mapping that holds an image.
struct CImageMappingFree {
    size_t nBytes = 0;
    void operator()(uint8_t* p) const;
};

// An image file read whole into memory. The buffer is kept and reused for the next file, so a run
// holds at most one buffer as large as its largest file.
class CImageFile {
public:
    enum class Status { Ok, OpenFailed, ReadFailed, TooLarge };

    // Opens the existing file read-only and reads all of it; on anything but Ok, Error() says why.
    Status Load(const std::string& strPath);
    const uint8_t* Data() const { return m_pData.get(); }
    uint64_t Size() const { return m_nSize; }
    const std::string& Error() const { return m_strError; }
    // Gives the buffer back.
    void Release();

private:
    Status Fail(Status status, const std::string& strError);

    // Anonymous mapping, so a large image can live on huge pages (far fewer page faults).
    std::unique_ptr<uint8_t[], CImageMappingFree> m_pData;
    uint64_t m_nCapacity = 0;
    uint64_t m_nSize = 0;
    std::string m_strError;
};
