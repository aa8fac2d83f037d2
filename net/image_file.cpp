#include "net/image_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "net/transfer_frame.h"

namespace {

// Closes the descriptor on every way out of Load.
struct FdCloser {
    int hFile;
    ~FdCloser() { close(hFile); }
};

}  // namespace

CImageFile::Status CImageFile::Fail(Status status, const std::string& strError)
{
    m_nSize = 0;
    m_strError = strError;
    return status;
}

CImageFile::Status CImageFile::Load(const std::string& strPath)
{
    m_nSize = 0;
    m_strError.clear();
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it has no effect on regular files.
    int hFile = open(strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (hFile < 0)
        return Fail(Status::OpenFailed, std::strerror(errno));
    FdCloser closer{hFile};
    struct stat info {};
    if (fstat(hFile, &info) != 0)
        return Fail(Status::ReadFailed, std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return Fail(Status::ReadFailed, "not a regular file");
    uint64_t nSize = static_cast<uint64_t>(info.st_size);
    if (nSize > MAX_IMAGE_SIZE)
        return Fail(Status::TooLarge, std::to_string(nSize) + " bytes");
    if (nSize > m_nCapacity) {
        m_pData.reset();   // the old buffer goes first, so only one is ever held
        m_nCapacity = 0;
        size_t nBytes = static_cast<size_t>(std::max<uint64_t>(nSize, 1));
        void* p = mmap(nullptr, nBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return Fail(Status::ReadFailed, "out of memory");
        madvise(p, nBytes, MADV_HUGEPAGE);  // a hint; ignored where huge pages are off
        m_pData = std::unique_ptr<uint8_t[], CImageMappingFree>(static_cast<uint8_t*>(p), CImageMappingFree{nBytes});
        m_nCapacity = nSize;
    }
    uint64_t nDone = 0;
    while (nDone < nSize) {
        size_t nAsk = static_cast<size_t>(std::min<uint64_t>(nSize - nDone, 1u << 30));
        ssize_t n = read(hFile, m_pData.get() + nDone, nAsk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Fail(Status::ReadFailed, std::strerror(errno));
        if (n == 0)
            return Fail(Status::ReadFailed,
                        "ended after " + std::to_string(nDone) + " of " + std::to_string(nSize) + " bytes");
        nDone += static_cast<uint64_t>(n);
    }
    m_nSize = nSize;
    return Status::Ok;
}

void CImageFile::Release()
{
    m_pData.reset();
    m_nCapacity = 0;
    m_nSize = 0;
}

void CImageMappingFree::operator()(uint8_t* p) const
{
    if (p)
        munmap(p, nBytes);
}
