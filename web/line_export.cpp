#include "record/job_csv.h"
#include "record/record_sql.h"
#include "web/line_reader.h"

bool CLineReader::ExportCsv(const TimeSpan& span, const std::string& strStation, std::string& strCsv,
                            std::string& strError)
{
    std::vector<SqlRow> rows;
    if (!RunSql(m_Db,
                "SELECT id, started_at, ended_at, station, port, verdict, stage, reason, mac, factory, reg, reflash "
                "FROM jobs WHERE started_ms >= $1 AND started_ms < $2 AND ($3 = '' OR station = $3) ORDER BY id",
                {std::to_string(span.nStartMs), std::to_string(span.nEndMs), strStation}, &rows, strError))
        return false;
    strCsv = JobCsvHeader();
    for (const SqlRow& row : rows) {
        std::vector<std::string> fields;
        for (const SqlText& value : row)
            fields.push_back(TextOf(value));
        if (fields[4].empty())
            fields[4] = "-";
        fields[11] = NumberOf(row[11]) ? "1" : "0";
        strCsv += CsvLine(fields);
    }
    return true;
}
