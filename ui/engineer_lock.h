#pragma once
#include <string>

// The lock on the engineer's settings (高级: which images are installed). Without a PIN in
// tovar.cfg ([line] engineer-pin=) the settings are open, as they always were; with one, each
// opening needs the PIN.
class CEngineerLock {
public:
    explicit CEngineerLock(std::string strPinHash) : m_strPinHash(std::move(strPinHash)) {}

    bool Open() const { return m_strPinHash.empty(); }   // no PIN configured
    bool Unlock(const std::string& strPin) const;         // true for the right PIN (or no PIN)

    static constexpr const char* PROMPT = "请输入工程师密码";
    static constexpr const char* REFUSED = "工程师密码错误, 设置未打开";

private:
    std::string m_strPinHash;
};
