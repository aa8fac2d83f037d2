#include "support/temp_dir.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

CTempDir::CTempDir()
{
    char szTemplate[] = "/tmp/tovar-test-XXXXXX";
    const char* szPath = mkdtemp(szTemplate);
    m_strPath = szPath ? szPath : "/tmp";
}

CTempDir::~CTempDir()
{
    std::error_code ec;
    if (m_strPath != "/tmp")
        std::filesystem::remove_all(m_strPath, ec);
}

std::string CTempDir::Write(const std::string& strRelative, const std::string& strContent) const
{
    std::filesystem::path path = std::filesystem::path(m_strPath) / strRelative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << strContent;
    return path.string();
}

std::string CTempDir::Write(const std::string& strRelative, const std::vector<unsigned char>& content) const
{
    return Write(strRelative, std::string(content.begin(), content.end()));
}

std::string CTempDir::Read(const std::string& strRelative) const
{
    std::ifstream in(std::filesystem::path(m_strPath) / strRelative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool CTempDir::Exists(const std::string& strRelative) const
{
    return std::filesystem::exists(std::filesystem::path(m_strPath) / strRelative);
}

std::string CTempDir::MakeDir(const std::string& strRelative) const
{
    std::filesystem::path path = std::filesystem::path(m_strPath) / strRelative;
    std::filesystem::create_directories(path);
    return path.string();
}
