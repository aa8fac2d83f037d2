#pragma once
#include <QTranslator>
#include <string>

// The windows speak Chinese, their source language; English comes from the translation built into
// the program (":/i18n/tovar_en.qm"), chosen by strLang "en" or, without strLang, by a locale
// whose messages are English (LC_ALL, else LC_MESSAGES, else LANG: en or en_*). strLang "zh"
// keeps Chinese on an English desktop.
bool WantsEnglish(const std::string& strLang);

// Loads the English translation into translator and installs it in the application when English
// is wanted. False when Chinese stays (wanted, or the translation cannot be loaded).
bool InstallWindowLanguage(QTranslator& translator, const std::string& strLang);
