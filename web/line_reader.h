#pragma once
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "record/sql_connection.h"
#include "web/line_view_settings.h"

// The line view's reads of the record, each one bounded (a day's jobs at most) and answered as the
// JSON the pages and an MES read (README: the line view's API). Reads only.
class CLineReader {
public:
    CLineReader(ISqlConnection& db, const LineViewSettings& settings) : m_Db(db), m_Settings(settings) {}

    // The line now: stations and slots, the shift's counts, boards in the last hour, the pools.
    bool Now(int64_t nNowMs, nlohmann::ordered_json& answer, std::string& strError);
    // Failures of a span by stage and reason, most first, each with its boards; per station.
    bool Failures(const TimeSpan& span, const std::string& strStation, nlohmann::ordered_json& answer,
                  std::string& strError);
    // Every job of the board with this MAC, factory or registration number, oldest first, its
    // holds and where its value is installed. No job: an empty list.
    bool Board(const std::string& strValue, nlohmann::ordered_json& answer, std::string& strError);
    // The jobs of a span as tovar record list --csv writes them.
    bool ExportCsv(const TimeSpan& span, const std::string& strStation, std::string& strCsv, std::string& strError);

private:
    bool Slots(int64_t nNowMs, nlohmann::ordered_json& stations, std::string& strError);
    bool Pools(int64_t nInstalledLastHour, nlohmann::ordered_json& pools, std::string& strError);

    ISqlConnection& m_Db;
    const LineViewSettings& m_Settings;
};

// Counts as JSON: installed, failed, stopped, refused, station_faults, first_boards, first_passed, yield.
struct LineCounts;
nlohmann::ordered_json CountsJson(const LineCounts& counts);
