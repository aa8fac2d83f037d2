#pragma once
#include <libpq-fe.h>

#include "record/sql_connection.h"

// The record on a PostgreSQL server, shared by a line of stations, through libpq.
class CPgConnection : public ISqlConnection {
public:
    CPgConnection() = default;
    ~CPgConnection() override;
    CPgConnection(const CPgConnection&) = delete;
    CPgConnection& operator=(const CPgConnection&) = delete;

    // nBusyTimeoutMs bounds the connection attempt and each statement: a server that does not
    // answer within it (stopped, or its network gone) loses the connection, which the caller opens
    // again.
    bool Open(const std::string& strUrl, int nBusyTimeoutMs, SqlError& error);

    Dialect GetDialect() const override { return Dialect::Postgres; }
    bool Exec(const std::string& strSql, const std::vector<SqlText>& params, std::vector<SqlRow>* pRows,
              SqlError& error) override;
    bool ExecScript(const std::string& strSql, SqlError& error) override;
    bool Begin(SqlError& error) override;
    bool Commit(SqlError& error) override;
    void Rollback() override;
    std::string Where() const override { return m_strWhere; }

private:
    // Sends a statement (with its parameters, or a script) and waits for its results within the
    // time limit.
    bool Run(const std::string& strSql, const std::vector<SqlText>* pParams, std::vector<SqlRow>* pRows,
             SqlError& error);
    void Drop();

    PGconn* m_pConn = nullptr;
    int m_nTimeoutMs = 5000;
    std::string m_strUrl;     // with its password: only to take that out of libpq's messages
    std::string m_strWhere;   // without it
};
