#pragma once
#include <functional>
#include <string>
#include <vector>

#include "station/station_settings.h"

// A shared setting that tovar.cfg's [net] section may give (key: the name without "--") and the
// command line too, with the rule its value must keep in both.
struct NetOptionRule {
    std::string strName;                                 // "--settle-ms"
    std::string strHelp;
    int StationSettings::*pnValue = nullptr;             // a whole number nMin..nMax, or
    std::string StationSettings::*pstrValue = nullptr;   // a text that fnCheck accepts
    int nMin = 0;
    int nMax = 0;
    std::function<std::string(const std::string&)> fnCheck;   // the refusal, or empty
};

// The [net] options in the order --help shows them.
const std::vector<NetOptionRule>& NetOptionRules();

// The refusal of a value for a rule ("not a whole number", ...), or empty; nValue receives a number.
std::string CheckNetValue(const NetOptionRule& rule, const std::string& strValue, int& nValue);

// What --bind takes: empty, an interface name (no dots) or a dotted IPv4 address.
std::string CheckBindTarget(const std::string& strValue);
// A dotted IPv4 address a.b.c.d.
std::string CheckIpv4(const std::string& strValue);
