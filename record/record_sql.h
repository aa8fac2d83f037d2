#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "record/sql_connection.h"

// What the parts of the production record share: statements whose failure is a text, write
// transactions, and the reading of result values.

// Runs one statement; false with strError (and the whole error in pError when given).
bool RunSql(ISqlConnection& db, const std::string& strSql, const std::vector<SqlText>& params,
            std::vector<SqlRow>* pRows, std::string& strError, SqlError* pError = nullptr);
bool BeginWrite(ISqlConnection& db, std::string& strError, SqlError* pError = nullptr);
// Commits; on failure rolls back and says why.
bool CommitWrite(ISqlConnection& db, std::string& strError);

std::string TextOf(const SqlText& value);    // NULL as ""
int64_t NumberOf(const SqlText& value);      // NULL, or a text that is no number, as 0
