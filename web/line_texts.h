#pragma once
#include <string>

// Every text the line view shows, in Chinese with the English term beside where one is needed,
// kept here alone. The pages read them as one script (/static/texts.js); the server's own answers
// (not found, refused) take them from here.
const char* LineText(const std::string& strKey);   // the key itself when there is no such text
// "const T = {...};" for the pages.
std::string LineTextsScript();
