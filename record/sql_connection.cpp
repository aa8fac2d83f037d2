#include "record/sql_connection.h"

#include "record/pg_connection.h"
#include "record/sqlite_connection.h"

std::unique_ptr<ISqlConnection> OpenSqlConnection(const std::string& strUrl, int nBusyTimeoutMs, SqlError& error)
{
    if (strUrl.rfind("postgresql://", 0) == 0 || strUrl.rfind("postgres://", 0) == 0) {
        auto pConnection = std::make_unique<CPgConnection>();
        if (!pConnection->Open(strUrl, nBusyTimeoutMs, error))
            return nullptr;
        return pConnection;
    }
    auto pConnection = std::make_unique<CSqliteConnection>();
    if (!pConnection->Open(strUrl, nBusyTimeoutMs, error))
        return nullptr;
    return pConnection;
}
