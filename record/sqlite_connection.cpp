#include "record/sqlite_connection.h"

#include <string>

CSqliteConnection::~CSqliteConnection()
{
    if (m_pDb)
        sqlite3_close_v2(m_pDb);
}

bool CSqliteConnection::Fail(SqlError& error, int nCode)
{
    error.strText = m_strPath + ": " + (m_pDb ? sqlite3_errmsg(m_pDb) : sqlite3_errstr(nCode));
    int nPrimary = nCode & 0xFF;
    error.bConflict = nCode == SQLITE_CONSTRAINT_UNIQUE || nCode == SQLITE_CONSTRAINT_PRIMARYKEY;
    error.bLost = nPrimary == SQLITE_IOERR || nPrimary == SQLITE_CANTOPEN || nPrimary == SQLITE_NOTADB ||
                  nPrimary == SQLITE_CORRUPT || nPrimary == SQLITE_READONLY;
    return false;
}

bool CSqliteConnection::Open(const std::string& strPath, int nBusyTimeoutMs, SqlError& error)
{
    m_strPath = strPath;
    int nCode = sqlite3_open_v2(strPath.c_str(), &m_pDb,
                                SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (nCode != SQLITE_OK)
        return Fail(error, nCode);
    sqlite3_extended_result_codes(m_pDb, 1);
    sqlite3_busy_timeout(m_pDb, nBusyTimeoutMs);
    return ExecScript("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;", error);
}

bool CSqliteConnection::Exec(const std::string& strSql, const std::vector<SqlText>& params,
                             std::vector<SqlRow>* pRows, SqlError& error)
{
    sqlite3_stmt* pStmt = nullptr;
    int nCode = sqlite3_prepare_v2(m_pDb, strSql.c_str(), static_cast<int>(strSql.size()), &pStmt, nullptr);
    if (nCode != SQLITE_OK)
        return Fail(error, nCode);
    // $N names bind by their number, wherever they stand in the statement.
    for (size_t i = 0; i < params.size(); ++i) {
        int nIndex = sqlite3_bind_parameter_index(pStmt, ("$" + std::to_string(i + 1)).c_str());
        if (nIndex == 0)
            continue;
        if (params[i])
            sqlite3_bind_text(pStmt, nIndex, params[i]->c_str(), static_cast<int>(params[i]->size()), SQLITE_TRANSIENT);
        else
            sqlite3_bind_null(pStmt, nIndex);
    }
    if (pRows)
        pRows->clear();
    while ((nCode = sqlite3_step(pStmt)) == SQLITE_ROW) {
        if (!pRows)
            continue;
        SqlRow row;
        int nColumns = sqlite3_column_count(pStmt);
        for (int c = 0; c < nColumns; ++c) {
            if (sqlite3_column_type(pStmt, c) == SQLITE_NULL)
                row.emplace_back(std::nullopt);
            else
                row.emplace_back(std::string(reinterpret_cast<const char*>(sqlite3_column_text(pStmt, c)),
                                             static_cast<size_t>(sqlite3_column_bytes(pStmt, c))));
        }
        pRows->push_back(std::move(row));
    }
    sqlite3_finalize(pStmt);
    return nCode == SQLITE_DONE ? true : Fail(error, nCode);
}

bool CSqliteConnection::ExecScript(const std::string& strSql, SqlError& error)
{
    int nCode = sqlite3_exec(m_pDb, strSql.c_str(), nullptr, nullptr, nullptr);
    return nCode == SQLITE_OK ? true : Fail(error, nCode);
}

bool CSqliteConnection::Begin(SqlError& error) { return ExecScript("BEGIN IMMEDIATE", error); }

bool CSqliteConnection::Commit(SqlError& error) { return ExecScript("COMMIT", error); }

void CSqliteConnection::Rollback()
{
    if (m_pDb && !sqlite3_get_autocommit(m_pDb))
        sqlite3_exec(m_pDb, "ROLLBACK", nullptr, nullptr, nullptr);
}
