#pragma once
#include <string>

#include "record/sql_connection.h"

// Creates the production record's tables, or brings an older schema up to date, each step in its
// own transaction; false with strError when the record cannot be used (a newer schema included).
bool MigrateRecord(ISqlConnection& db, std::string& strError);

// How the identities and holds tables name a value: "mac:587675010200", "factory:20260001",
// "reg:5A3C0001".
std::string IdentityKey(const char* szKind, const std::string& strValue);

// An SQL expression for the database's clock in milliseconds since the epoch.
std::string DbNowMsSql(ISqlConnection::Dialect dialect);
