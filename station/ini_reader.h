#pragma once
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// Reader of a sections-and-keys text file ("[section]" lines, "key = value" lines), with the
// rules of the Windows profile reader the configuration files were written for:
// - section and key names match without regard to (ASCII) case;
// - blanks and tabs around names and values are trimmed; CRLF and LF line ends both work;
// - a value in matching double or single quotes loses them (an unmatched quote stays);
// - the first matching section, and the first matching key in it, win;
// - a key present with an empty value reads as empty text; only a missing key (or section, or
//   file) gives the default;
// - ';' starts a comment only at the start of a line;
// - a value longer than the caller's buffer is cut so that it ends with a zero inside the buffer.
// The file is read once, when the reader is made. Only the first MAX_FILE_BYTES bytes count
// (a line cut by that limit is dropped), a NUL byte ends its line, and a file that is missing,
// unreadable or not a regular file reads as empty.
class CIniReader {
public:
    static constexpr size_t MAX_FILE_BYTES = 1024 * 1024;
    static constexpr int INT_TEXT_SIZE = 20;  // value text buffer of ReadInt: at most 19 characters

    using KeyValues = std::vector<std::pair<std::string, std::string>>;

    explicit CIniReader(const std::string& strPath);

    // Replaces what the reader holds by the given text, as if it were the file's contents.
    void LoadText(const char* pText, size_t nSize);

    // Stores the value as atoi takes it (leading blanks, optional sign, digits; 0 if none;
    // saturating at INT_MIN/INT_MAX) of the key's value text, cut to 19 characters; a missing
    // key gives nDefault. Returns the number of characters of the value text.
    int ReadInt(const char* szSection, const char* szKey, int& nOut, int nDefault);

    // Copies the key's value text (empty when missing) into pBuffer, cut to nSize - 1 bytes and
    // always zero-terminated. Nothing is written when nSize < 1. Returns the number of bytes copied.
    int ReadString(const char* szSection, const char* szKey, char* pBuffer, int nSize);

    // True when the last ReadInt or ReadString had to cut the value.
    bool WasCut() const { return m_bLastCut; }

    // The keys of the first matching section in file order, with their values (quotes removed,
    // never cut). A key that appears again later in the section is left out, as a lookup would
    // never reach it. Empty when the section is missing.
    KeyValues ReadSection(const char* szSection) const;
    // The names of the sections in file order; a name that appears again (in any case) is left out.
    std::vector<std::string> SectionNames() const;

    bool IsLoaded() const { return m_bLoaded; }            // the file could be read
    bool IsTruncated() const { return m_bTruncated; }      // the file was longer than MAX_FILE_BYTES
    const std::string& GetPath() const { return m_strPath; }

    // The atoi rule used by ReadInt, without undefined behaviour on overflow.
    static int ParseInt(const char* szText);

private:
    struct Section {
        std::string strName;
        KeyValues entries;  // raw trimmed values, quotes still on
    };

    void LoadFile();
    const std::string* FindValue(const char* szSection, const char* szKey) const;

    std::string m_strPath;
    std::vector<Section> m_sections;
    bool m_bLoaded = false;
    bool m_bTruncated = false;
    bool m_bLastCut = false;
};
