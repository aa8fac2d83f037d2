#pragma once
#include <string>

// Converts the operator's UTF-8 text to code page 936 (GBK), the bytes the board receives.
// Returns false when the text holds a character GBK cannot represent or is not valid UTF-8.
bool Utf8ToGbk(const std::string& strUtf8, std::string& strGbk);

// The reverse, for showing GBK bytes (board replies, stored names); invalid bytes become '?'.
std::string GbkToUtf8(const std::string& strGbk);
