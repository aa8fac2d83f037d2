#pragma once
#include <sqlite3.h>

#include "record/sql_connection.h"

// The record in one SQLite file: WAL mode, so readers never block the writer; a busy database is
// waited for up to a time limit.
class CSqliteConnection : public ISqlConnection {
public:
    CSqliteConnection() = default;
    ~CSqliteConnection() override;
    CSqliteConnection(const CSqliteConnection&) = delete;
    CSqliteConnection& operator=(const CSqliteConnection&) = delete;

    bool Open(const std::string& strPath, int nBusyTimeoutMs, SqlError& error);

    Dialect GetDialect() const override { return Dialect::Sqlite; }
    bool Exec(const std::string& strSql, const std::vector<SqlText>& params, std::vector<SqlRow>* pRows,
              SqlError& error) override;
    bool ExecScript(const std::string& strSql, SqlError& error) override;
    bool Begin(SqlError& error) override;
    bool Commit(SqlError& error) override;
    void Rollback() override;
    std::string Where() const override { return m_strPath; }

private:
    bool Fail(SqlError& error, int nCode);

    sqlite3* m_pDb = nullptr;
    std::string m_strPath;
};
