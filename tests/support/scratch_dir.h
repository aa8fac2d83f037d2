#pragma once
#include <string>

// A fresh folder under the temporary directory, removed with everything in it at the end.
class CScratchDir {
public:
    CScratchDir();
    ~CScratchDir();
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;

    const std::string& Path() const { return m_strPath; }
    // Writes a file (relative path, parent folders made as needed) and returns its full path.
    std::string Write(const std::string& strRelPath, const std::string& strContent) const;
    std::string Read(const std::string& strRelPath) const;
    std::string MakeDir(const std::string& strRelPath) const;

private:
    std::string m_strPath;
};
