#include "record/pg_connection.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
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
    m_nTimeoutMs = std::max(100, nBusyTimeoutMs);
    const int nConnectS = std::max(2, nBusyTimeoutMs / 1000);
    // Keepalives and the TCP user timeout find a server whose network went away while idle.
    const std::string strConnect = strUrl + (strUrl.find('?') == std::string::npos ? "?" : "&") +
                                   "connect_timeout=" + std::to_string(nConnectS) +
                                   "&keepalives=1&keepalives_idle=5&keepalives_interval=2&keepalives_count=2" +
                                   "&tcp_user_timeout=" + std::to_string(m_nTimeoutMs);
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
    return ExecScript("SET lock_timeout = " + std::to_string(m_nTimeoutMs) +
                          "; SET statement_timeout = " + std::to_string(m_nTimeoutMs) +
                          "; SET client_min_messages = warning",
                      error);
}

void CPgConnection::Drop()
{
    if (m_pConn)
        PQfinish(m_pConn);
    m_pConn = nullptr;
}

bool CPgConnection::Run(const std::string& strSql, const std::vector<SqlText>* pParams, std::vector<SqlRow>* pRows,
                        SqlError& error)
{
    if (!m_pConn || PQstatus(m_pConn) != CONNECTION_OK) {
        error.strText = m_strWhere + ": the connection was lost";
        error.bLost = true;
        return false;
    }
    int nSent = 0;
    if (pParams) {
        std::vector<const char*> values;
        for (const SqlText& param : *pParams)
            values.push_back(param ? param->c_str() : nullptr);
        nSent = PQsendQueryParams(m_pConn, strSql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                                  nullptr, nullptr, 0);
    } else {
        nSent = PQsendQuery(m_pConn, strSql.c_str());
    }
    if (!nSent)
        return FailWith(m_pConn, nullptr, m_strUrl, error);
    // The server's statement_timeout ends a slow statement; this bound is for a server that does
    // not answer at all (stopped, or its network gone), which no setting of its own can end.
    const auto tDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_nTimeoutMs + 1000);
    auto waitFor = [&](short nEvents) {
        const auto nLeftMs = std::chrono::duration_cast<std::chrono::milliseconds>(tDeadline -
                                                                                   std::chrono::steady_clock::now())
                                 .count();
        if (nLeftMs <= 0)
            return false;
        pollfd fd {PQsocket(m_pConn), nEvents, 0};
        return ::poll(&fd, 1, static_cast<int>(nLeftMs)) > 0;
    };
    auto timedOut = [&] {
        error.strText = m_strWhere + ": no answer within " + std::to_string(m_nTimeoutMs) + " ms";
        error.bLost = true;
        Drop();
        return false;
    };
    for (int nFlush = PQflush(m_pConn); nFlush != 0; nFlush = PQflush(m_pConn)) {
        if (nFlush < 0)
            return FailWith(m_pConn, nullptr, m_strUrl, error);
        if (!waitFor(POLLOUT | POLLIN))
            return timedOut();
    }
    bool bFailed = false;
    for (;;) {
        while (PQisBusy(m_pConn)) {
            if (!waitFor(POLLIN))
                return timedOut();
            if (!PQconsumeInput(m_pConn))
                return FailWith(m_pConn, nullptr, m_strUrl, error);
        }
        PGresult* pResult = PQgetResult(m_pConn);
        if (!pResult)
            break;
        const ExecStatusType status = PQresultStatus(pResult);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            if (!bFailed)
                FailWith(m_pConn, pResult, m_strUrl, error);
            else
                PQclear(pResult);
            bFailed = true;
            continue;
        }
        if (pRows && !bFailed) {
            pRows->clear();
            const int nRows = PQntuples(pResult);
            const int nColumns = PQnfields(pResult);
            for (int r = 0; r < nRows; ++r) {
                SqlRow row;
                for (int c = 0; c < nColumns; ++c)
                    row.emplace_back(PQgetisnull(pResult, r, c) ? SqlText() : SqlText(PQgetvalue(pResult, r, c)));
                pRows->push_back(std::move(row));
            }
        }
        PQclear(pResult);
    }
    return !bFailed;
}

bool CPgConnection::Exec(const std::string& strSql, const std::vector<SqlText>& params, std::vector<SqlRow>* pRows,
                         SqlError& error)
{
    return Run(strSql, &params, pRows, error);
}

bool CPgConnection::ExecScript(const std::string& strSql, SqlError& error) { return Run(strSql, nullptr, nullptr, error); }

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
    if (m_pConn && PQstatus(m_pConn) == CONNECTION_OK && PQtransactionStatus(m_pConn) != PQTRANS_IDLE) {
        SqlError error;
        Run("ROLLBACK", nullptr, nullptr, error);
    }
}
