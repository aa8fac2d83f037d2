#include "station/ini_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <unordered_set>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string Trim(const char* pBegin, const char* pEnd)
{
    while (pBegin < pEnd && IsBlank(*pBegin))
        ++pBegin;
    while (pEnd > pBegin && IsBlank(pEnd[-1]))
        --pEnd;
    return std::string(pBegin, pEnd);
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lower(std::string strText)
{
    for (char& c : strText)
        c = LowerAscii(c);
    return strText;
}

bool SameName(const std::string& strName, const char* szWanted)
{
    size_t n = std::strlen(szWanted);
    if (strName.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        if (LowerAscii(strName[i]) != LowerAscii(szWanted[i]))
            return false;
    }
    return true;
}

// A value in matching double or single quotes loses them.
std::string Unquote(const std::string& strValue)
{
    size_t n = strValue.size();
    if (n >= 2 && (strValue[0] == '"' || strValue[0] == '\'') && strValue[n - 1] == strValue[0])
        return strValue.substr(1, n - 2);
    return strValue;
}

}  // namespace

CIniReader::CIniReader(const std::string& strPath) : m_strPath(strPath)
{
    LoadFile();
}

void CIniReader::LoadFile()
{
    // O_NONBLOCK: a FIFO of that name must not hang the start-up; only regular files are read.
    int fd = open(m_strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return;
    }
    // Read one byte more than the limit, to learn whether the file goes on.
    std::string strText;
    char buf[64 * 1024];
    bool bOk = true;
    while (strText.size() <= MAX_FILE_BYTES) {
        ssize_t n = read(fd, buf, std::min(sizeof(buf), MAX_FILE_BYTES + 1 - strText.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            bOk = false;
            break;
        }
        if (n == 0)
            break;
        strText.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    if (!bOk)
        return;
    size_t nHave = strText.size();
    if (nHave > MAX_FILE_BYTES) {
        // Keep whole lines only: the line that crosses the limit is dropped with the rest.
        m_bTruncated = true;
        size_t nLastEnd = strText.rfind('\n', MAX_FILE_BYTES - 1);
        nHave = (nLastEnd == std::string::npos) ? 0 : nLastEnd + 1;
    }
    LoadText(strText.data(), nHave);
    m_bLoaded = true;
}

void CIniReader::LoadText(const char* pText, size_t nSize)
{
    m_sections.clear();
    const char* p = pText;
    const char* pEnd = pText + nSize;
    if (nSize >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0)
        p += 3;  // UTF-8 byte order mark
    Section* pCurrent = nullptr;
    while (p < pEnd) {
        const char* pNewline = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(pEnd - p)));
        const char* pLineEnd = pNewline ? pNewline : pEnd;
        const char* pNul = static_cast<const char*>(std::memchr(p, '\0', static_cast<size_t>(pLineEnd - p)));
        std::string strLine = Trim(p, pNul ? pNul : pLineEnd);
        p = pNewline ? pNewline + 1 : pEnd;

        if (strLine.empty() || strLine[0] == ';')
            continue;
        if (strLine[0] == '[') {
            size_t nClose = strLine.rfind(']');
            if (nClose != std::string::npos) {
                m_sections.push_back({Trim(strLine.data() + 1, strLine.data() + nClose), {}});
                pCurrent = &m_sections.back();
                continue;
            }
        }
        size_t nEq = strLine.find('=');
        if (nEq == std::string::npos || pCurrent == nullptr)
            continue;  // not a key line, or a key before any section
        std::string strKey = Trim(strLine.data(), strLine.data() + nEq);
        if (strKey.empty())
            continue;
        pCurrent->entries.emplace_back(std::move(strKey),
                                       Trim(strLine.data() + nEq + 1, strLine.data() + strLine.size()));
    }
}

const std::string* CIniReader::FindValue(const char* szSection, const char* szKey) const
{
    if (szSection == nullptr || szKey == nullptr)
        return nullptr;
    for (const Section& section : m_sections) {
        if (!SameName(section.strName, szSection))
            continue;
        for (const auto& entry : section.entries) {
            if (SameName(entry.first, szKey))
                return &entry.second;
        }
        return nullptr;  // only the first matching section counts
    }
    return nullptr;
}

int CIniReader::ReadString(const char* szSection, const char* szKey, char* pBuffer, int nSize)
{
    m_bLastCut = false;
    if (pBuffer == nullptr || nSize < 1)
        return 0;
    const std::string* pValue = FindValue(szSection, szKey);
    std::string strValue = pValue ? Unquote(*pValue) : std::string();
    size_t nCopy = strValue.size();
    if (nCopy > static_cast<size_t>(nSize - 1)) {
        nCopy = static_cast<size_t>(nSize - 1);
        m_bLastCut = true;
    }
    std::memcpy(pBuffer, strValue.data(), nCopy);
    pBuffer[nCopy] = '\0';
    return static_cast<int>(nCopy);
}

int CIniReader::ReadInt(const char* szSection, const char* szKey, int& nOut, int nDefault)
{
    char szDefault[INT_TEXT_SIZE];
    std::snprintf(szDefault, sizeof(szDefault), "%d", nDefault);
    char szValue[INT_TEXT_SIZE];
    int nRead;
    if (FindValue(szSection, szKey) != nullptr) {
        nRead = ReadString(szSection, szKey, szValue, sizeof(szValue));
    } else {
        m_bLastCut = false;
        std::memcpy(szValue, szDefault, sizeof(szValue));
        nRead = static_cast<int>(std::strlen(szValue));
    }
    nOut = ParseInt(szValue);
    return nRead;
}

int CIniReader::ParseInt(const char* szText)
{
    const char* p = szText;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool bNegative = false;
    if (*p == '+' || *p == '-')
        bNegative = (*p++ == '-');
    long long nValue = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        nValue = nValue * 10 + (*p - '0');
        if (nValue > static_cast<long long>(INT_MAX) + 1)
            break;  // saturated; further digits cannot bring it back
    }
    if (bNegative)
        nValue = -nValue;
    if (nValue > INT_MAX)
        return INT_MAX;
    if (nValue < INT_MIN)
        return INT_MIN;
    return static_cast<int>(nValue);
}

CIniReader::KeyValues CIniReader::ReadSection(const char* szSection) const
{
    KeyValues result;
    if (szSection == nullptr)
        return result;
    for (const Section& section : m_sections) {
        if (!SameName(section.strName, szSection))
            continue;
        std::unordered_set<std::string> seen;
        for (const auto& entry : section.entries) {
            if (seen.insert(Lower(entry.first)).second)
                result.emplace_back(entry.first, Unquote(entry.second));
        }
        break;
    }
    return result;
}

std::vector<std::string> CIniReader::SectionNames() const
{
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    for (const Section& section : m_sections)
        if (seen.insert(Lower(section.strName)).second)
            names.push_back(section.strName);
    return names;
}
