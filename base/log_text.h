#pragma once
#include <string>

// A log text for a terminal or a plain file: "\r\n" line ends become "\n".
std::string CliText(const std::string& strLog);

// The first line of a log text as words: without its "->" and its line end.
std::string FirstLineAsWords(const std::string& strLog);
