#include "web/line_store.h"

#include <sys/stat.h>

#include <chrono>

#include "record/url_redaction.h"

namespace {

bool IsPostgres(const std::string& strUrl)
{
    return strUrl.rfind("postgresql://", 0) == 0 || strUrl.rfind("postgres://", 0) == 0;
}

}  // namespace

std::string CLineStore::Where() const { return IsPostgres(m_strUrl) ? RedactedUrl(m_strUrl) : m_strUrl; }

bool CLineStore::Connect(std::string& strError)
{
    // A record file that is not there is not made: this view only reads.
    struct stat info {};
    if (!IsPostgres(m_strUrl) && stat(m_strUrl.c_str(), &info) != 0) {
        strError = m_strUrl + ": no production record there";
        return false;
    }
    SqlError error;
    m_pDb = OpenSqlConnection(m_strUrl, m_nBusyTimeoutMs, error);
    const char* szReadOnly = m_pDb && m_pDb->GetDialect() == ISqlConnection::Dialect::Postgres
                                 ? "SET default_transaction_read_only = on"
                                 : "PRAGMA query_only = ON";
    if (!m_pDb || !m_pDb->ExecScript(szReadOnly, error)) {
        strError = error.strText;
        m_pDb.reset();
        return false;
    }
    return true;
}

bool CLineStore::Read(const std::function<bool(ISqlConnection&, std::string&)>& fnRead, std::string& strError)
{
    std::unique_lock<std::timed_mutex> lock(m_Mutex, std::chrono::milliseconds(m_nBusyTimeoutMs * 2));
    if (!lock.owns_lock()) {
        strError = "the record is busy with other requests";
        return false;
    }
    if (!m_pDb && !Connect(strError))
        return false;
    if (fnRead(*m_pDb, strError))
        return true;
    // A failed read may be a lost connection: the next request opens a new one.
    m_pDb.reset();
    return false;
}
