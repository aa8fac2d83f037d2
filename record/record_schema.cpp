#include "record/record_schema.h"

#include <cctype>

#include "record/record_sql.h"

namespace {

constexpr int SCHEMA_VERSION = 4;

// strText with each whole word strWord (not part of a longer name) replaced by strBy.
std::string ReplaceWord(const std::string& strText, const std::string& strWord, const std::string& strBy)
{
    auto isName = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    std::string strOut;
    size_t nAt = 0;
    for (size_t nFound = strText.find(strWord); nFound != std::string::npos; nFound = strText.find(strWord, nFound + 1)) {
        const size_t nEnd = nFound + strWord.size();
        if ((nFound > 0 && isName(strText[nFound - 1])) || (nEnd < strText.size() && isName(strText[nEnd])))
            continue;
        strOut += strText.substr(nAt, nFound - nAt) + strBy;
        nAt = nEnd;
    }
    return strOut + strText.substr(nAt);
}

// The first schema; ID and INT stand for the dialect's key and 64-bit integer types.
std::string SchemaV1(ISqlConnection::Dialect dialect)
{
    std::string strSchema = R"(
CREATE TABLE jobs (id ID, verdict TEXT NOT NULL, stage TEXT NOT NULL, reason TEXT NOT NULL,
  mac TEXT NOT NULL, factory TEXT NOT NULL, reg TEXT NOT NULL, station TEXT NOT NULL, port TEXT NOT NULL,
  device TEXT NOT NULL, chip_id TEXT, started_at TEXT NOT NULL, ended_at TEXT NOT NULL, started_ms INT NOT NULL,
  ended_ms INT NOT NULL, bringup_ms INT NOT NULL, console_ms INT NOT NULL, transfer_ms INT NOT NULL,
  tool_version TEXT NOT NULL, reflash INTEGER NOT NULL);
CREATE TABLE job_images (job_id INT NOT NULL REFERENCES jobs(id), slot INTEGER NOT NULL, file_id INTEGER NOT NULL,
  name TEXT NOT NULL, size INT NOT NULL, sha256 TEXT NOT NULL, frames INT NOT NULL, resends INT NOT NULL,
  stored INTEGER NOT NULL);
CREATE TABLE identities (value TEXT PRIMARY KEY, factory TEXT NOT NULL, station TEXT NOT NULL, job_id INT NOT NULL,
  installed_at TEXT NOT NULL);
CREATE TABLE holds (value TEXT PRIMARY KEY, token TEXT NOT NULL, station TEXT NOT NULL, port TEXT NOT NULL,
  since TEXT NOT NULL, expires_ms INT NOT NULL);
CREATE TABLE pools (id ID, kind TEXT NOT NULL, next_value INT NOT NULL, end_value INT NOT NULL);
CREATE TABLE pool_free (kind TEXT NOT NULL, value INT NOT NULL, PRIMARY KEY (kind, value));
CREATE TABLE pool_taken (kind TEXT NOT NULL, value INT NOT NULL, taken_ms INT NOT NULL, PRIMARY KEY (kind, value));
CREATE INDEX jobs_started ON jobs (started_ms);
CREATE INDEX holds_token ON holds (token);
)";
    const bool bPg = dialect == ISqlConnection::Dialect::Postgres;
    strSchema = ReplaceWord(strSchema, "ID", bPg ? "BIGSERIAL PRIMARY KEY" : "INTEGER PRIMARY KEY AUTOINCREMENT");
    return ReplaceWord(strSchema, "INT", bPg ? "BIGINT" : "INTEGER");
}

// Flags of a job; the spool's name of a result written back from it, so that it is written once;
// which station took a pool value, and until when it stays taken without a hold.
constexpr const char* kSchemaV2 = R"(
ALTER TABLE jobs ADD COLUMN flags TEXT NOT NULL DEFAULT '';
ALTER TABLE jobs ADD COLUMN spool_id TEXT;
CREATE UNIQUE INDEX jobs_spool ON jobs (spool_id);
ALTER TABLE pool_taken ADD COLUMN station TEXT NOT NULL DEFAULT '';
ALTER TABLE pool_taken ADD COLUMN expires_ms BIGINT NOT NULL DEFAULT 0;
)";

// The third: each job's cause code (stage and cause, from the cause table).
constexpr const char* kSchemaV3 = R"(
ALTER TABLE jobs ADD COLUMN cause TEXT NOT NULL DEFAULT '';
)";

// The fourth: the stations' heartbeats (one row per station and slot; slot 0 is a single-board station) and
// the indexes the line view reads by: a board by either MAC, its factory or registration number,
// a job's images, the pools' rate.
std::string SchemaV4(ISqlConnection::Dialect dialect)
{
    const char* szInt = dialect == ISqlConnection::Dialect::Postgres ? "BIGINT" : "INTEGER";
    return std::string("CREATE TABLE heartbeats (station TEXT NOT NULL, slot INTEGER NOT NULL, port TEXT NOT NULL, "
                       "stage TEXT NOT NULL, mac TEXT NOT NULL, factory TEXT NOT NULL, reg TEXT NOT NULL, "
                       "percent INTEGER NOT NULL, stage_ms ") + szInt + " NOT NULL, progress_ms " + szInt +
           " NOT NULL, seen_ms " + szInt + " NOT NULL, last_verdict TEXT NOT NULL, last_reason TEXT NOT NULL, "
           "tool_version TEXT NOT NULL, PRIMARY KEY (station, slot));\n"
           "CREATE INDEX jobs_mac1 ON jobs (UPPER(SUBSTR(mac, 2, 12)));\n"
           "CREATE INDEX jobs_mac2 ON jobs (UPPER(SUBSTR(mac, 15, 12)));\n"
           "CREATE INDEX jobs_factory ON jobs (factory);\n"
           "CREATE INDEX jobs_reg ON jobs (reg);\n"
           "CREATE INDEX job_images_job ON job_images (job_id);\n"
           "CREATE INDEX pool_taken_ms ON pool_taken (taken_ms);\n";
}

}  // namespace

std::string DbNowMsSql(ISqlConnection::Dialect dialect)
{
    // The database's clock, so that every station judges a hold's age by the same one.
    return dialect == ISqlConnection::Dialect::Postgres
               ? "CAST(EXTRACT(EPOCH FROM clock_timestamp()) * 1000 AS BIGINT)"
               : "CAST((julianday('now') - 2440587.5) * 86400000.0 AS INTEGER)";
}

std::string IdentityKey(const char* szKind, const std::string& strValue) { return std::string(szKind) + ":" + strValue; }

// Brings the schema to SCHEMA_VERSION, one step per version, each in its own transaction.
bool MigrateRecord(ISqlConnection& db, std::string& strError)
{
    SqlError error;
    if (!db.Begin(error)) {
        strError = error.strText;
        return false;
    }
    std::vector<SqlRow> rows;
    if (!RunSql(db, "CREATE TABLE IF NOT EXISTS tovar_schema (version INTEGER NOT NULL)", {}, nullptr, strError) ||
        !RunSql(db, "SELECT version FROM tovar_schema", {}, &rows, strError)) {
        db.Rollback();
        return false;
    }
    int nVersion = rows.empty() ? 0 : static_cast<int>(NumberOf(rows[0][0]));
    if (nVersion > SCHEMA_VERSION) {
        db.Rollback();
        strError = db.Where() + " has schema version " + std::to_string(nVersion) + "; this Tovar knows up to " +
                   std::to_string(SCHEMA_VERSION) + ": update Tovar";
        return false;
    }
    if (nVersion < 1) {
        if (!db.ExecScript(SchemaV1(db.GetDialect()), error) ||
            !RunSql(db, "INSERT INTO tovar_schema (version) VALUES (1)", {}, nullptr, strError)) {
            strError = error.strText.empty() ? strError : error.strText;
            db.Rollback();
            return false;
        }
    }
    if (nVersion < 2) {
        if (!db.ExecScript(kSchemaV2, error) ||
            !RunSql(db, "UPDATE tovar_schema SET version = 2", {}, nullptr, strError)) {
            strError = error.strText.empty() ? strError : error.strText;
            db.Rollback();
            return false;
        }
    }
    if (nVersion < 3) {
        if (!db.ExecScript(kSchemaV3, error) ||
            !RunSql(db, "UPDATE tovar_schema SET version = 3", {}, nullptr, strError)) {
            strError = error.strText.empty() ? strError : error.strText;
            db.Rollback();
            return false;
        }
    }
    if (nVersion < 4) {
        if (!db.ExecScript(SchemaV4(db.GetDialect()), error) ||
            !RunSql(db, "UPDATE tovar_schema SET version = 4", {}, nullptr, strError)) {
            strError = error.strText.empty() ? strError : error.strText;
            db.Rollback();
            return false;
        }
    }
    return CommitWrite(db, strError);
}
