#pragma once
#include <cstdint>
#include <string>

#include "job/job_result.h"

// The values of a board's identity, as the record keeps them: MACs as 12 upper-case hex digits.
struct IdentityValues {
    std::string strMac1;
    std::string strMac2;
    std::string strFactory;
    std::string strReg;
};

// Checks the form of an identity and splits it into its values. The MAC text is "^" and 12
// hexadecimal digits, twice; each address unicast, not all zeros and not broadcast. Factory and
// registration numbers are not empty and at most 8 bytes (their GBK bytes). On refusal strWhy holds
// the log lines (UTF-8, "\r\n" ends), the first of them "请输入正确的macid  \r\n" for a MAC text.
bool CheckIdentityFormat(const JobIdentity& identity, IdentityValues& values, std::string& strWhy);

// "58:76:75:01:02:03" or "587675010203" (any case) as a 48-bit number; false when it is neither.
bool ParseMac(const std::string& strText, uint64_t& nMac);
std::string MacText(uint64_t nMac);          // 12 upper-case hex digits
std::string MacPairText(uint64_t nFirst);    // "^XXXXXXXXXXXX^YYYYYYYYYYYY" for nFirst and nFirst + 1
