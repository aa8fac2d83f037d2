#pragma once
#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The checks of the command line's values. Each refuses a value with "not <its rule>" and carries its
// rule as its name ("a whole number 1 to 65535"), so a usage error can say what a value must be
// (usage_error.h); the help shows the short description.

// A whole number nMin to nMax.
CLI::Validator WholeNumber(int64_t nMin, int64_t nMax);

// One of the words given.
CLI::Validator OneOf(const std::vector<std::string>& words);

// A folder that exists.
CLI::Validator ExistingFolder();

// A file that exists (not a folder).
CLI::Validator ExistingFileOnly();

// Accepts "COM1" to "COM99" (any case), the names the port map gives.
CLI::Validator ComPortName();

// Accepts what a monitor port may be: COMn, a device path or usb:<bus>-<port path>.
CLI::Validator MonitorPortName();

// A local date YYYY-MM-DD or date and time YYYY-MM-DD HH:MM[:SS] (base/local_time.h).
CLI::Validator LocalDateTime();

// A check of its own: fnRefusal gives the refusal of a value, or empty; strRule says what a value must be.
CLI::Validator RuleCheck(std::function<std::string(const std::string&)> fnRefusal, const std::string& strRule,
                         const std::string& strDescription);
