#pragma once
#include <string>
#include <vector>

// A fresh folder under /tmp, removed with everything in it when the object goes.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_strPath; }
    // Writes a file below the folder, making its parent folders.
    std::string Write(const std::string& strRelative, const std::string& strContent) const;
    std::string Write(const std::string& strRelative, const std::vector<unsigned char>& content) const;
    std::string Read(const std::string& strRelative) const;
    bool Exists(const std::string& strRelative) const;
    // Makes a folder (and its parents) below the folder; returns its full path.
    std::string MakeDir(const std::string& strRelative) const;

private:
    std::string m_strPath;
};
