#include "ui/check_report.h"

#include <algorithm>
#include <nlohmann/json.hpp>

void CCheckReport::Add(const std::string& strName, bool bPass, const std::string& strDetail)
{
    m_lines.push_back({strName, bPass, strDetail});
}

void CCheckReport::AddNote(const std::string& strName, const std::string& strDetail)
{
    m_lines.push_back({strName, true, strDetail, true});
}

bool CCheckReport::AllPassed() const
{
    return std::all_of(m_lines.begin(), m_lines.end(), [](const Line& line) { return line.bPass; });
}

std::string CCheckReport::Text() const
{
    std::string strText;
    for (const Line& line : m_lines)
        strText += (line.bNote ? "NOTE  " : line.bPass ? "PASS  " : "FAIL  ") + line.strName + ": " + line.strDetail + "\n";
    return strText;
}

std::string CCheckReport::Json() const
{
    nlohmann::ordered_json checks = nlohmann::ordered_json::array();
    for (const Line& line : m_lines) {
        checks.push_back({{"name", line.strName}, {"pass", line.bPass}, {"detail", line.strDetail}});
        if (line.bNote)
            checks.back()["note"] = true;
    }
    nlohmann::ordered_json json = {{"ok", AllPassed()}, {"checks", checks}};
    // Invalid UTF-8 in a file name becomes U+FFFD rather than an exception.
    return json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}
