#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Why a statement failed.
struct SqlError {
    std::string strText;
    bool bConflict = false;   // a unique or primary key constraint refused the row
    bool bLost = false;       // the connection to the database is gone
};

using SqlText = std::optional<std::string>;   // a value as text; nullopt is NULL
using SqlRow = std::vector<SqlText>;

// One connection to the production record's database. Statements use $1, $2, ... for their
// parameters, which are passed as text; result values come back as text. One thread at a time.
class ISqlConnection {
public:
    enum class Dialect { Sqlite, Postgres };

    virtual ~ISqlConnection() = default;
    virtual Dialect GetDialect() const = 0;
    // Runs one statement; its rows go to pRows when given. False, with error, on failure.
    virtual bool Exec(const std::string& strSql, const std::vector<SqlText>& params, std::vector<SqlRow>* pRows,
                      SqlError& error) = 0;
    // Several statements without parameters (schema changes).
    virtual bool ExecScript(const std::string& strSql, SqlError& error) = 0;
    // A transaction that writes: other writers wait for it (SQLite: BEGIN IMMEDIATE).
    virtual bool Begin(SqlError& error) = 0;
    virtual bool Commit(SqlError& error) = 0;
    virtual void Rollback() = 0;
    // Where the record is, for messages (a file path, or the URL without its password).
    virtual std::string Where() const = 0;
};

// Opens "postgresql://..." (or "postgres://...") with libpq, anything else as an SQLite file.
// Waits for a busy database at most nBusyTimeoutMs.
std::unique_ptr<ISqlConnection> OpenSqlConnection(const std::string& strUrl, int nBusyTimeoutMs, SqlError& error);
