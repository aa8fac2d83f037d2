#include "base/log_text.h"

std::string CliText(const std::string& strLog)
{
    std::string strOut;
    for (size_t i = 0; i < strLog.size(); ++i)
        if (!(strLog[i] == '\r' && i + 1 < strLog.size() && strLog[i + 1] == '\n'))
            strOut += strLog[i];
    return strOut;
}

std::string FirstLineAsWords(const std::string& strLog)
{
    std::string strLine = strLog.substr(0, strLog.find_first_of("\r\n"));
    return strLine.rfind("->", 0) == 0 ? strLine.substr(2) : strLine;
}
