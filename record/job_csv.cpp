#include "record/job_csv.h"

const char* JobCsvHeader() { return "id,start,end,station,port,verdict,stage,reason,mac,factory,reg,reflash\n"; }

std::string CsvField(const std::string& strText)
{
    if (strText.find_first_of(",\"\n\r") == std::string::npos)
        return strText;
    std::string strOut = "\"";
    for (char c : strText)
        strOut += c == '"' ? std::string("\"\"") : std::string(1, c);
    return strOut + "\"";
}

std::string CsvLine(const std::vector<std::string>& fields)
{
    std::string strLine;
    for (size_t i = 0; i < fields.size(); ++i)
        strLine += (i ? "," : "") + CsvField(fields[i]);
    return strLine + "\n";
}
