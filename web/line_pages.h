#pragma once
#include <string>

// The line view's pages, served by tovar line itself (no outside link). Each page is one shell
// that the script fills from the JSON API; every text from the record goes in as text, never as
// markup. szPage: "now", "failures" or "board".
std::string LinePageHtml(const char* szPage);
const char* LineScript();
const char* LineStyle();
