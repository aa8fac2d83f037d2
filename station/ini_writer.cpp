#include "station/ini_writer.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

std::string Trim(const std::string& str)
{
    const size_t nStart = str.find_first_not_of(" \t");
    if (nStart == std::string::npos)
        return {};
    return str.substr(nStart, str.find_last_not_of(" \t") - nStart + 1);
}

bool SameName(const std::string& strA, const std::string& strB)
{
    if (strA.size() != strB.size())
        return false;
    for (size_t i = 0; i < strA.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(strA[i])) != std::tolower(static_cast<unsigned char>(strB[i])))
            return false;
    return true;
}

// A line without its end; the "[name]" of a section line, else empty.
std::string SectionOf(const std::string& strLine)
{
    const std::string str = Trim(strLine);
    if (str.size() < 2 || str.front() != '[')
        return {};
    const size_t nClose = str.find(']');
    return nClose == std::string::npos ? std::string() : Trim(str.substr(1, nClose - 1));
}

std::string KeyOf(const std::string& strLine)
{
    const std::string str = Trim(strLine);
    if (str.empty() || str.front() == ';' || str.front() == '[')
        return {};
    const size_t nEqual = str.find('=');
    return nEqual == std::string::npos ? std::string() : Trim(str.substr(0, nEqual));
}

}  // namespace

bool SetIniValue(const std::string& strPath, const std::string& strSection, const std::string& strKey,
                 const std::string& strValue, std::string& strError)
{
    std::string strText;
    struct stat info {};
    const bool bExists = ::stat(strPath.c_str(), &info) == 0;
    if (bExists) {
        std::ifstream file(strPath, std::ios::binary);
        std::ostringstream buffer;
        buffer << file.rdbuf();
        if (!file) {
            strError = strPath + ": cannot be read";
            return false;
        }
        strText = buffer.str();
    }
    // Lines with their own ends, so CRLF files stay CRLF.
    std::vector<std::string> lines;
    for (size_t nPos = 0; nPos < strText.size();) {
        const size_t nEnd = strText.find('\n', nPos);
        const size_t nNext = nEnd == std::string::npos ? strText.size() : nEnd + 1;
        lines.push_back(strText.substr(nPos, nNext - nPos));
        nPos = nNext;
    }
    const bool bCrLf = strText.find("\r\n") != std::string::npos;
    const std::string strEol = bCrLf ? "\r\n" : "\n";
    auto body = [](const std::string& strLine) {
        std::string str = strLine;
        while (!str.empty() && (str.back() == '\n' || str.back() == '\r'))
            str.pop_back();
        return str;
    };
    const std::string strNewLine = strKey + "=" + strValue + strEol;
    int nSection = -1, nLastKey = -1;
    bool bDone = false;
    for (size_t i = 0; i < lines.size() && !bDone; ++i) {
        const std::string strName = SectionOf(body(lines[i]));
        if (!strName.empty()) {
            if (nSection >= 0)
                break;   // past the first matching section
            if (SameName(strName, strSection))
                nSection = nLastKey = static_cast<int>(i);
            continue;
        }
        if (nSection < 0)
            continue;
        const std::string strLineKey = KeyOf(body(lines[i]));
        if (strLineKey.empty())
            continue;
        nLastKey = static_cast<int>(i);
        if (SameName(strLineKey, strKey)) {
            lines[i] = strNewLine;
            bDone = true;
        }
    }
    if (!bDone) {
        if (!lines.empty() && lines.back().back() != '\n')
            lines.back() += strEol;
        if (nSection >= 0)
            lines.insert(lines.begin() + nLastKey + 1, strNewLine);
        else
            lines.push_back("[" + strSection + "]" + strEol + strNewLine);
    }
    const std::string strTemp = strPath + ".new";
    {
        std::ofstream file(strTemp, std::ios::binary | std::ios::trunc);
        for (const std::string& strLine : lines)
            file << strLine;
        if (!file.flush()) {
            strError = strTemp + ": cannot be written";
            std::remove(strTemp.c_str());
            return false;
        }
    }
    if (bExists)
        ::chmod(strTemp.c_str(), info.st_mode & 07777);
    if (std::rename(strTemp.c_str(), strPath.c_str()) != 0) {
        strError = strPath + ": " + std::strerror(errno);
        std::remove(strTemp.c_str());
        return false;
    }
    return true;
}
