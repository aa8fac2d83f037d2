#pragma once
#include <QString>
#include <string>

// A text of the console's logic (ui/) as the windows show it, in the loaded language: each run of
// Chinese characters that the translation knows (context "Console", console_words.cpp) is
// replaced; all else stays as it is: numbers, file and port names, the window's fixed captions, and the
// cause table's sentences, whose runs are longer than any entry. Without a translation the text is
// unchanged.
QString ConsoleText(const std::string& strUtf8);
