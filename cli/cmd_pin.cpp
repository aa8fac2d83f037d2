#include "cli/cmd_pin.h"

#include <termios.h>
#include <unistd.h>

#include <iostream>

#include "station/engineer_pin.h"
#include "station/ini_writer.h"
#include "station/station_config.h"

namespace {

// One line from the descriptor, without its line end; false at the end of input before any byte.
bool ReadLine(int nFd, std::string& strLine)
{
    strLine.clear();
    char c = 0;
    bool bAny = false;
    while (::read(nFd, &c, 1) == 1) {
        bAny = true;
        if (c == '\n')
            break;
        strLine += c;
    }
    if (!strLine.empty() && strLine.back() == '\r')
        strLine.pop_back();
    return bAny;
}

// A line typed on the terminal with its echo off; the echo comes back however the read ends.
bool ReadHidden(int nFd, const char* szPrompt, std::ostream& err, std::string& strLine)
{
    err << szPrompt << std::flush;
    termios saved {};
    const bool bTerm = ::tcgetattr(nFd, &saved) == 0;
    if (bTerm) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(nFd, TCSANOW, &quiet);
    }
    const bool bRead = ReadLine(nFd, strLine);
    if (bTerm)
        ::tcsetattr(nFd, TCSANOW, &saved);
    err << "\n";
    return bRead;
}

}  // namespace

int RunPinSet(const std::string& strWorkDir, int nInFd, std::ostream& err)
{
    std::string strPin;
    if (::isatty(nInFd)) {
        std::string strAgain;
        if (!ReadHidden(nInFd, "New engineer PIN: ", err, strPin) || !ReadHidden(nInFd, "Again: ", err, strAgain)) {
            err << "tovar pin set: no PIN given; nothing changed\n";
            return 2;
        }
        if (strPin != strAgain) {
            err << "tovar pin set: the two PINs differ; nothing changed\n";
            return 2;
        }
    } else if (!ReadLine(nInFd, strPin)) {
        err << "tovar pin set: no PIN on standard input; nothing changed\n";
        return 2;
    }
    if (strPin.size() < 4) {
        err << "tovar pin set: a PIN needs at least 4 characters; nothing changed\n";
        return 2;
    }
    const std::string strHash = NewPinHashText(strPin);
    const std::string strPath = StationConfigPath(strWorkDir);
    std::string strError;
    if (strHash.empty() || !SetIniValue(strPath, "line", "engineer-pin", strHash, strError)) {
        err << "tovar pin set: " << (strHash.empty() ? std::string("no random salt") : strError) << "; nothing changed\n";
        return 2;
    }
    err << "tovar pin set: [line] engineer-pin written to " << strPath << "\n";
    return 0;
}

void AddPinCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners)
{
    CLI::App* pPin = app.add_subcommand("pin", "The engineer's PIN that guards the window's settings (高级)");
    pPin->require_subcommand(1);
    CLI::App* pSet = pPin->add_subcommand("set", "Ask for a new PIN (twice, not shown; or one line on standard "
                                                 "input) and keep its salted digest in tovar.cfg [line] engineer-pin");
    pSet->add_option("--workdir", options.strWorkDir, "Working directory (tovar.cfg)")->check(CLI::ExistingDirectory);
    runners.push_back({pSet, [&options] { return RunPinSet(options.strWorkDir, STDIN_FILENO, std::cerr); }});
}
