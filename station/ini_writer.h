#pragma once
#include <string>

// Sets one key of a sections-and-keys file (such as tovar.cfg), keeping every other line, comment
// and line end as it is. Names match without regard to case, as the reader's do: the first
// matching key of the first matching section gets the new value; without it the key is added
// after the section's last key; without the section, the section is added at the end. A missing
// file is made. The file is written whole through a temporary file and a rename, keeping its
// permissions. False, with strError, when it cannot be read or written.
bool SetIniValue(const std::string& strPath, const std::string& strSection, const std::string& strKey,
                 const std::string& strValue, std::string& strError);
