#include "cli/cmd_line.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "cli/stop_signal.h"
#include "record/url_redaction.h"
#include "web/line_server.h"

namespace {

// "HOST:PORT" with an IPv4 host, or a port alone (on 127.0.0.1).
bool ParseListen(const std::string& strListen, std::string& strHost, int& nPort)
{
    const size_t nColon = strListen.rfind(':');
    const std::string strPort = nColon == std::string::npos ? strListen : strListen.substr(nColon + 1);
    strHost = nColon == std::string::npos ? std::string("127.0.0.1") : strListen.substr(0, nColon);
    char* pEnd = nullptr;
    const long nValue = std::strtol(strPort.c_str(), &pEnd, 10);
    nPort = static_cast<int>(nValue);
    return !strPort.empty() && *pEnd == '\0' && nValue >= 1 && nValue <= 65535 && !strHost.empty();
}

int RunLine(CommonOptions& options, const std::string& strListen)
{
    std::string strWhy;
    if (!ApplyStationConfig(options, strWhy)) {
        std::cerr << "tovar line: " << strWhy << "\n";
        return 2;
    }
    LineServerSettings settings;
    if (!ParseListen(strListen, settings.strHost, settings.nPort)) {
        std::cerr << "tovar line: --listen " << strListen << ": not HOST:PORT (such as 127.0.0.1:8080)\n";
        return 2;
    }
    settings.strRecordUrl = options.strRecord.empty() ? options.strWorkDir + "/tovar.db" : options.strRecord;
    if (!settings.view.shifts.Parse(options.strShifts, strWhy)) {
        std::cerr << "tovar line: [line] shifts=" << options.strShifts << ": " << strWhy << "\n";
        return 2;
    }
    settings.view.nPoolWarn = options.nPoolWarn;
    settings.view.nOfflineS = options.nOfflineS;
    settings.view.nStuckS = options.nStuckS;
    CLineServer server(settings);
    if (!server.Listen(strWhy)) {
        std::cerr << "tovar line: " << strWhy << "\n";
        return 2;
    }
    const std::string strRecord = settings.strRecordUrl.find("://") != std::string::npos
                                      ? RedactedUrl(settings.strRecordUrl)
                                      : settings.strRecordUrl;
    std::cout << "tovar line: serving the line view of " << strRecord << " on http://" << settings.strHost << ":"
              << server.Port() << "/ (Ctrl+C ends)" << std::endl;
    InstallStopSignals();
    if (!server.Serve(StopSignalled())) {
        // A request still waits for the record: it is given up with the process.
        std::cout << "tovar line: stopped" << std::endl;
        std::fflush(nullptr);
        std::_Exit(0);
    }
    std::cout << "tovar line: stopped" << std::endl;
    return 0;
}

}  // namespace

void AddLineCommand(CLI::App& app, CommonOptions& options, std::vector<CommandRunner>& runners)
{
    auto strListen = std::make_shared<std::string>("127.0.0.1:8080");
    CLI::App* pCmd = app.add_subcommand("line", "Serve the line view (stations, yield, failures, boards) over HTTP");
    pCmd->add_option("--listen", *strListen, "Address and port to serve on (another than loopback only when given)")
        ->capture_default_str();
    options.given["--workdir"].push_back(
        pCmd->add_option("--workdir", options.strWorkDir, "Working directory (its tovar.cfg: [record], [line])")
            ->check(ExistingFolder())
            ->capture_default_str());
    options.given["--record"].push_back(
        pCmd->add_option("--record", options.strRecord, "Production record: postgresql://... or an SQLite file "
                                                        "(default: tovar.db in the working folder)"));
    SetHelpFooter(*pCmd, "tovar line --listen 0.0.0.0:8080 --record postgresql://tovar@db/line1",
                  {{0, "served until Ctrl+C"}, {2, "refused: a usage error, tovar.cfg, or the address cannot be served"}});
    runners.push_back({pCmd, [&options, strListen] { return RunLine(options, *strListen); }});
}
