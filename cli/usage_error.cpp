#include "cli/usage_error.h"

#include <vector>

namespace {

// The subcommands reached, outermost first ("record", "list").
std::vector<CLI::App*> CommandChain(CLI::App& app)
{
    std::vector<CLI::App*> chain{&app};
    while (!chain.back()->get_subcommands().empty())
        chain.push_back(chain.back()->get_subcommands().front());
    return chain;
}

std::string CommandName(const std::vector<CLI::App*>& chain)
{
    std::string strName = "tovar";
    for (size_t i = 1; i < chain.size(); ++i)
        strName += " " + chain[i]->get_name();
    return strName;
}

// The option of that name in the innermost command that has it.
CLI::Option* FindOption(const std::vector<CLI::App*>& chain, const std::string& strName)
{
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        if (CLI::Option* pOption = (*it)->get_option_no_throw(strName))
            return pOption;
    return nullptr;
}

// A value as typed, quoted when it has blanks or is empty.
std::string Shown(const std::string& strValue)
{
    return strValue.empty() || strValue.find_first_of(" \t") != std::string::npos ? "\"" + strValue + "\"" : strValue;
}

std::string After(const std::string& strText, const std::string& strMark)
{
    const size_t nAt = strText.find(strMark);
    return nAt == std::string::npos ? std::string() : strText.substr(nAt + strMark.size());
}

std::string Before(const std::string& strText, const std::string& strMark)
{
    const size_t nAt = strText.find(strMark);
    return nAt == std::string::npos ? strText : strText.substr(0, nAt);
}

// The rule the option's first check stands for ("a whole number 1 to 65535"), or empty.
std::string RuleOf(CLI::Option& option)
{
    try {
        return option.get_validator(0)->get_name();
    } catch (const CLI::OptionNotFound&) {
        return {};
    }
}

// The first value given to the option that one of its checks refuses, with the refusal.
bool RefusedValue(CLI::Option& option, std::string& strValue, std::string& strRefusal)
{
    for (const std::string& strGiven : option.results())
        for (int i = 0;; ++i) {
            CLI::Validator* pCheck = nullptr;
            try {
                pCheck = option.get_validator(i);
            } catch (const CLI::OptionNotFound&) {
                break;
            }
            std::string strCopy = strGiven;
            strRefusal = (*pCheck)(strCopy);
            if (!strRefusal.empty()) {
                strValue = strGiven;
                return true;
            }
        }
    return false;
}

std::string Joined(const std::vector<std::string>& values)
{
    std::string strText;
    for (const std::string& strValue : values)
        strText += (strText.empty() ? "" : " ") + Shown(strValue);
    return strText;
}

// What the option takes, for a message about a missing or unreadable value.
std::string TakesText(CLI::Option& option)
{
    const std::string strRule = RuleOf(option);
    if (!strRule.empty())
        return strRule;
    const std::string strType = option.get_type_name();
    if (strType.rfind("INT", 0) == 0 || strType.rfind("UINT", 0) == 0)
        return "a whole number";
    if (strType.rfind("FLOAT", 0) == 0)
        return "a number";
    return "a value";
}

std::string ValidationText(const std::vector<CLI::App*>& chain, const std::string& strWhat)
{
    const std::string strName = Before(strWhat, ": ");
    CLI::Option* pOption = FindOption(chain, strName);
    std::string strValue, strRefusal;
    if (pOption && RefusedValue(*pOption, strValue, strRefusal))
        return strName + " " + Shown(strValue) + ": " + strRefusal;
    return strWhat;
}

std::string ConversionText(const std::vector<CLI::App*>& chain, const std::string& strWhat)
{
    std::string strName = Before(After(strWhat, "Could not convert: "), " = ");
    if (strName.empty())
        strName = After(strWhat, " is not an allowed value for ");
    if (strName.empty())
        strName = Before(strWhat, ": ");
    CLI::Option* pOption = FindOption(chain, strName);
    if (!pOption)
        return strWhat;
    if (pOption->get_expected_max() == 0)
        return strName + " " + Joined(pOption->results()) + ": a flag takes no value";
    return strName + " " + Joined(pOption->results()) + ": not " + TakesText(*pOption);
}

std::string RequiredText(const std::vector<CLI::App*>& chain, const std::string& strWhat)
{
    if (strWhat == "A subcommand is required") {
        std::string strList;
        const std::vector<CLI::App*> subcommands = chain.back()->get_subcommands([](CLI::App*) { return true; });
        for (size_t i = 0; i < subcommands.size(); ++i)
            strList += (i == 0 ? "" : i + 1 == subcommands.size() ? " or " : ", ") + subcommands[i]->get_name();
        return "no subcommand given: " + strList;
    }
    const std::string strName = Before(strWhat, " is required");
    CLI::Option* pOption = FindOption(chain, strName);
    if (!pOption || strName == strWhat)
        return strWhat;
    return strName + " not given: it is required (" + pOption->get_description() + ")";
}

std::string MismatchText(const std::vector<CLI::App*>& chain, const std::string& strWhat)
{
    std::string strName = Before(After(strWhat, " arguments to "), ", got");
    if (strName.empty())
        strName = Before(Before(strWhat, ": "), " was given");
    CLI::Option* pOption = FindOption(chain, strName);
    if (!pOption)
        return strWhat;
    if (strWhat.find("At Most") != std::string::npos || strWhat.find("flag override") != std::string::npos)
        return strName + " " + Joined(pOption->results()) + ": too many values";
    return strName + " given without its value: it takes " + TakesText(*pOption);
}

std::string ExtrasText(const std::vector<CLI::App*>& chain, const std::string& strWhat)
{
    // The arguments left over, in the order typed (CLI11's text has them the other way round).
    const std::string strExtras = Joined(chain.back()->remaining());
    const std::string strCommand = CommandName(chain);
    if (strExtras.empty())
        return strWhat;
    return strExtras + ": " + (strExtras.front() == '-' ? "not an option of " : "not taken by ") + strCommand +
           " (" + strCommand + " --help lists what it takes)";
}

}  // namespace

std::string UsageErrorText(CLI::App& app, const CLI::ParseError& error)
{
    const std::vector<CLI::App*> chain = CommandChain(app);
    const std::string strWhat = error.what();
    std::string strText;
    if (dynamic_cast<const CLI::ValidationError*>(&error))
        strText = ValidationText(chain, strWhat);
    else if (dynamic_cast<const CLI::ConversionError*>(&error))
        strText = ConversionText(chain, strWhat);
    else if (dynamic_cast<const CLI::RequiredError*>(&error))
        strText = RequiredText(chain, strWhat);
    else if (dynamic_cast<const CLI::ArgumentMismatch*>(&error))
        strText = MismatchText(chain, strWhat);
    else if (dynamic_cast<const CLI::ExtrasError*>(&error))
        strText = ExtrasText(chain, strWhat);
    else if (dynamic_cast<const CLI::ExcludesError*>(&error))
        strText = Before(strWhat, " excludes ") + " and " + After(strWhat, " excludes ") + ": not together, one or the other";
    else if (dynamic_cast<const CLI::RequiresError*>(&error))
        strText = Before(strWhat, " requires ") + ": only together with " + After(strWhat, " requires ");
    else
        strText = strWhat;
    return CommandName(chain) + ": " + strText;
}

std::optional<int> ParseCommandLine(CLI::App& app, int argc, const char* const* argv, std::ostream& out,
                                    std::ostream& err)
{
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        app.exit(e, out, err);  // --help, --help-all, --version
        return 0;
    } catch (const CLI::ParseError& e) {
        // A usage error refuses the job before anything reaches a board: exit status 2.
        err << UsageErrorText(app, e) << "\n";
        return 2;
    }
    return std::nullopt;
}
