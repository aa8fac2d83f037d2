#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "record/sql_connection.h"

// The line view's one connection to the record, read-only, opened when first needed and again
// after it was lost. One request uses it at a time; another waits for it a bounded time.
class CLineStore {
public:
    CLineStore(std::string strUrl, int nBusyTimeoutMs) : m_strUrl(std::move(strUrl)), m_nBusyTimeoutMs(nBusyTimeoutMs) {}

    // Runs fnRead on the connection; false, with strError for the server's log, when the record
    // cannot be reached, is busy past the bound, or fnRead failed.
    bool Read(const std::function<bool(ISqlConnection&, std::string&)>& fnRead, std::string& strError);
    // Where the record is, without its password.
    std::string Where() const;

private:
    bool Connect(std::string& strError);

    std::string m_strUrl;
    int m_nBusyTimeoutMs;
    std::timed_mutex m_Mutex;
    std::unique_ptr<ISqlConnection> m_pDb;
};
