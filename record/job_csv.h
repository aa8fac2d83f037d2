#pragma once
#include <string>
#include <vector>

// The jobs as comma-separated values: one header, one row per job (tovar record list --csv and
// the line view's export write the same).
const char* JobCsvHeader();   // "id,start,end,...\n"
std::string CsvField(const std::string& strText);
// The fields in the header's order, as one line with its "\n".
std::string CsvLine(const std::vector<std::string>& fields);
