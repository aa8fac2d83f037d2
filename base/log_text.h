#pragma once
#include <string>

// A log text for a terminal or a plain file: "\r\n" line ends become "\n".
std::string CliText(const std::string& strLog);
