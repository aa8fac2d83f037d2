#pragma once
#include <cstdint>
#include <string>

#include "record/identity_format.h"
#include "record/sql_connection.h"

// A running job's claim on its identity: while it is held no other job may use any of its values.
struct IdentityClaim {
    std::string strToken;     // empty: nothing held (no record, or the claim was refused)
    bool bReflash = false;    // the same board again with the same identity
    std::string strInstalledAt;       // with bReflash: when and where it was installed last
    std::string strInstalledStation;
    std::string strNotice;    // log lines: holds of dead stations that this claim took over
};

// Who holds a value, as the release command shows it.
struct HoldHolder {
    std::string strValue;     // the key: "mac:587675010200"
    std::string strStation;
    std::string strPort;
    std::string strSince;     // ISO-8601 UTC
    int64_t nExpiresInMs = 0; // by the database's clock; 0 or less: expired
};

// The identity guard of the production record: which values are on which board (identities) and
// which are held by running jobs (holds). No MAC, factory or registration number on two boards.
// Every hold's age is judged by the database's clock.
class CIdentityGuard {
public:
    explicit CIdentityGuard(ISqlConnection& db) : m_Db(db) {}

    // In a transaction of its own: the values must not be installed on another board, nor held by
    // another running job; then they are held for nHoldMs. False with the operator's log lines in
    // strWhy.
    bool Claim(const IdentityValues& values, const std::string& strStation, const std::string& strPort,
               int64_t nHoldMs, IdentityClaim& claim, std::string& strWhy);
    // A running job keeps its hold: another nHoldMs from now. bHeld is false when the hold is gone
    // (it expired and another job took a value, or it was released).
    bool Renew(const IdentityClaim& claim, int64_t nHoldMs, bool& bHeld, std::string& strError);
    // Who holds a value: strKind "mac", "factory" or "reg"; false with strError when none does.
    bool FindHold(const std::string& strKind, const std::string& strValue, HoldHolder& holder, std::string& strError);
    // Frees the hold of one value; one still renewed by its job only with bForce.
    bool ReleaseHold(const std::string& strKind, const std::string& strValue, bool bForce, HoldHolder& holder,
                     std::string& strError);

    // Within the caller's transaction: the values are on the board of job strJobId now; the holds
    // of a claim end. A value already on another board (another factory number) stays with that
    // board for good, and one held by another running job stays its: strConflict gets one line
    // for each such value, the others are installed.
    bool Install(const IdentityValues& values, const IdentityClaim& claim, const std::string& strStation,
                 const std::string& strJobId, const std::string& strInstalledAt, std::string& strConflict,
                 std::string& strError, SqlError* pError);
    bool Release(const IdentityClaim& claim, std::string& strError, SqlError* pError);

private:
    bool CheckUnique(const IdentityValues& values, IdentityClaim& found, std::string& strWhy, std::string& strError);
    bool CheckHolds(const IdentityValues& values, std::string& strWhy, std::string& strError);
    bool TakeOverExpired(std::string& strNotice, std::string& strError);

    ISqlConnection& m_Db;
};
