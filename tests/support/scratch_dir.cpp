#include "support/scratch_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

CScratchDir::CScratchDir()
{
    std::string strTemplate = (fs::temp_directory_path() / "tovar-test-XXXXXX").string();
    if (mkdtemp(strTemplate.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_strPath = strTemplate;
}

CScratchDir::~CScratchDir()
{
    std::error_code ec;
    // Give back write permission that a test may have taken away, then remove everything.
    for (auto it = fs::recursive_directory_iterator(m_strPath, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_strPath, ec);
}

std::string CScratchDir::Write(const std::string& strRelPath, const std::string& strContent) const
{
    fs::path path = fs::path(m_strPath) / strRelPath;
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(strContent.data(), static_cast<std::streamsize>(strContent.size()));
    return path.string();
}

std::string CScratchDir::Read(const std::string& strRelPath) const
{
    std::ifstream in(fs::path(m_strPath) / strRelPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string CScratchDir::MakeDir(const std::string& strRelPath) const
{
    fs::path path = fs::path(m_strPath) / strRelPath;
    fs::create_directories(path);
    return path.string();
}
