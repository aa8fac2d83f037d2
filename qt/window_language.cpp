#include "qt/window_language.h"

#include <QCoreApplication>
#include <cstdlib>

bool WantsEnglish(const std::string& strLang)
{
    if (!strLang.empty())
        return strLang == "en" || strLang.rfind("en_", 0) == 0;
    // The first of these that is set names the messages' language, as for any program.
    for (const char* szName : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* szValue = std::getenv(szName);
        if (szValue && *szValue) {
            const std::string str = szValue;
            return str == "en" || str.rfind("en_", 0) == 0 || str.rfind("en.", 0) == 0;
        }
    }
    return false;
}

bool InstallWindowLanguage(QTranslator& translator, const std::string& strLang)
{
    if (!WantsEnglish(strLang) || !translator.load(QStringLiteral(":/i18n/tovar_en.qm")))
        return false;
    return QCoreApplication::installTranslator(&translator);
}
