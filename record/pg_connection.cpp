#include "record/pg_connection.h"

#include <algorithm>
#include <cstring>

#include "record/url_redaction.h"

namespace {

constexpr int64_t kWriterLock = 0x546f766172;  // the advisory lock key of the record's writers

// libpq's messages may quote parts of the URL (a host, a port, an option's value): never its password.
bool FailWith(PGconn* pConn, PGresult* pResult, const std::string& strUrl, SqlError& error)
{
    const char* szState = pResult ? PQresultErrorField(pResult, PG_DIAG_SQLSTATE) : nullptr;
    error.strText = WithoutSecrets(
        pResult && *PQresultErrorMessage(pResult) ? PQresultErrorMessage(pResult) : PQerrorMessage(pConn), strUrl);
    while (!error.strText.empty() && (error.strText.back() == '\n' || error.strText.back() == ' '))
        error.strText.pop_back();
    error.bConflict = szState && std::strcmp(szState, "23505") == 0;
    error.bLost = PQstatus(pConn) != CONNECTION_OK || (szState && std::strncmp(szState, "08", 2) == 0);
    if (pResult)
        PQclear(pResult);
    return false;
}

}  // namespace

CPgConnection::~CPgConnection()
{
    if (m_pConn)
        PQfinish(m_pConn);
}

bool CPgConnection::Open(const std::string& strUrl, int nBusyTimeoutMs, SqlError& error)
{
    m_strUrl = strUrl;
    m_strWhere = RedactedUrl(strUrl);
    int nConnectS = std::max(2, nBusyTimeoutMs / 1000);
    std::string strConnect = strUrl + (strUrl.find('?') == std::string::npos ? "?" : "&") +
                             "connect_timeout=" + std::to_string(nConnectS);
    m_pConn = PQconnectdb(strConnect.c_str());
    if (PQstatus(m_pConn) != CONNECTION_OK) {
        error.strText = m_strWhere + ": " + WithoutSecrets(PQerrorMessage(m_pConn), strUrl);
        while (!error.strText.empty() && error.strText.back() == '\n')
            error.strText.pop_back();
        error.bLost = true;
        return false;
    }
    // Notices (such as "relation already exists, skipping") are not for the operator.
    PQsetNoticeProcessor(m_pConn, [](void*, const char*) {}, nullptr);
    return ExecScript("SET lock_timeout = " + std::to_string(nBusyTimeoutMs) +
                          "; SET statement_timeout = " + std::to_string(nBusyTimeoutMs * 4) +
                          "; SET client_min_messages = warning",
                      error);
}

bool CPgConnection::Exec(const std::string& strSql, const std::vector<SqlText>& params, std::vector<SqlRow>* pRows,
                         SqlError& error)
{
    std::vector<const char*> values;
    for (const SqlText& param : params)
        values.push_back(param ? param->c_str() : nullptr);
    PGresult* pResult = PQexecParams(m_pConn, strSql.c_str(), static_cast<int>(values.size()), nullptr,
                                     values.data(), nullptr, nullptr, 0);
    ExecStatusType status = PQresultStatus(pResult);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        return FailWith(m_pConn, pResult, m_strUrl, error);
    if (pRows) {
        pRows->clear();
        int nRows = PQntuples(pResult);
        int nColumns = PQnfields(pResult);
        for (int r = 0; r < nRows; ++r) {
            SqlRow row;
            for (int c = 0; c < nColumns; ++c)
                row.emplace_back(PQgetisnull(pResult, r, c) ? SqlText() : SqlText(PQgetvalue(pResult, r, c)));
            pRows->push_back(std::move(row));
        }
    }
    PQclear(pResult);
    return true;
}

bool CPgConnection::ExecScript(const std::string& strSql, SqlError& error)
{
    PGresult* pResult = PQexec(m_pConn, strSql.c_str());
    ExecStatusType status = PQresultStatus(pResult);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        return FailWith(m_pConn, pResult, m_strUrl, error);
    PQclear(pResult);
    return true;
}

bool CPgConnection::Begin(SqlError& error)
{
    // One writer at a time, as SQLite's BEGIN IMMEDIATE: a transaction-level advisory lock, held
    // until the commit or rollback; lock_timeout bounds the wait for it.
    if (ExecScript("BEGIN; SELECT pg_advisory_xact_lock(" + std::to_string(kWriterLock) + ")", error))
        return true;
    Rollback();
    return false;
}

bool CPgConnection::Commit(SqlError& error) { return ExecScript("COMMIT", error); }

void CPgConnection::Rollback()
{
    if (m_pConn && PQtransactionStatus(m_pConn) != PQTRANS_IDLE) {
        PGresult* pResult = PQexec(m_pConn, "ROLLBACK");
        PQclear(pResult);
    }
}
