#pragma once
#include <string>
#include <vector>

// The findings of tovar check: one per check, passed or failed, with a detail in words.
class CCheckReport {
public:
    struct Line {
        std::string strName;
        bool bPass = false;
        std::string strDetail;
    };

    void Add(const std::string& strName, bool bPass, const std::string& strDetail);
    bool AllPassed() const;
    // "PASS  name: detail" lines, each ending in '\n'.
    std::string Text() const;
    // {"ok": ..., "checks": [{"name", "pass", "detail"}, ...]}
    std::string Json() const;

private:
    std::vector<Line> m_lines;
};
