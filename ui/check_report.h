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
        bool bNote = false;
    };

    void Add(const std::string& strName, bool bPass, const std::string& strDetail);
    // A finding worth knowing that is no failure ("NOTE  name: detail"; passes).
    void AddNote(const std::string& strName, const std::string& strDetail);
    bool AllPassed() const;
    // "PASS  name: detail" lines (FAIL, NOTE), each ending in '\n'.
    std::string Text() const;
    // {"ok": ..., "checks": [{"name", "pass", "detail"[, "note": true]}, ...]}
    std::string Json() const;

private:
    std::vector<Line> m_lines;
};
