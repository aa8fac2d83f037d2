#pragma once
#include <cstdint>
#include <string>

#include "record/identity_format.h"
#include "record/sql_connection.h"

// A running job's claim on its identity: while it is held no other job may use any of its values.
struct IdentityClaim {
    std::string strToken;     // empty: nothing held (no record, or the claim was refused)
    bool bReflash = false;    // the same board again with the same identity
};

// The identity guard of the production record: which values are on which board (identities) and
// which are held by running jobs (holds). No MAC, factory or registration number on two boards.
class CIdentityGuard {
public:
    explicit CIdentityGuard(ISqlConnection& db) : m_Db(db) {}

    // In a transaction of its own: the values must not be installed on another board, nor held by
    // another running job; then they are held for nHoldMinutes from nNowMs (the wall clock).
    // False with the operator's log lines in strWhy.
    bool Claim(const IdentityValues& values, const std::string& strStation, const std::string& strPort,
               int nHoldMinutes, int64_t nNowMs, IdentityClaim& claim, std::string& strWhy);
    // Frees the holds of one value (a MAC in any form, a factory or registration number).
    bool ReleaseHold(const std::string& strValue, int& nReleased, std::string& strError);

    // Within the caller's transaction: the values are on the board of job strJobId now; the holds
    // of a claim end. A value already on another board (another factory number) stays with that
    // board for good: strConflict gets one line for each such value, the others are installed.
    bool Install(const IdentityValues& values, const std::string& strStation, const std::string& strJobId,
                 const std::string& strInstalledAt, std::string& strConflict, std::string& strError,
                 SqlError* pError);
    bool Release(const IdentityClaim& claim, std::string& strError, SqlError* pError);

private:
    bool CheckUnique(const IdentityValues& values, bool& bReflash, std::string& strWhy, std::string& strError);
    bool CheckHolds(const IdentityValues& values, std::string& strWhy, std::string& strError);

    ISqlConnection& m_Db;
};
