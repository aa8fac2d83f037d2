#include "record/record_sql.h"

#include <cstdlib>

bool RunSql(ISqlConnection& db, const std::string& strSql, const std::vector<SqlText>& params,
            std::vector<SqlRow>* pRows, std::string& strError, SqlError* pError)
{
    SqlError error;
    if (db.Exec(strSql, params, pRows, error))
        return true;
    strError = error.strText;
    if (pError)
        *pError = error;
    return false;
}

bool BeginWrite(ISqlConnection& db, std::string& strError, SqlError* pError)
{
    SqlError error;
    if (db.Begin(error))
        return true;
    strError = error.strText;
    if (pError)
        *pError = error;
    return false;
}

bool CommitWrite(ISqlConnection& db, std::string& strError)
{
    SqlError error;
    if (db.Commit(error))
        return true;
    strError = error.strText;
    db.Rollback();
    return false;
}

std::string TextOf(const SqlText& value) { return value.value_or(std::string()); }

int64_t NumberOf(const SqlText& value) { return value ? std::strtoll(value->c_str(), nullptr, 10) : 0; }
