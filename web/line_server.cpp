#include "web/line_server.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <iostream>
#include <thread>

#include "base/local_time.h"
#include "base/wall_clock.h"
#include "web/line_pages.h"
#include "web/line_reader.h"
#include "web/line_store.h"
#include "web/line_texts.h"

namespace {

constexpr size_t kMaxLookupBytes = 64;
constexpr int64_t kMaxSpanMs = 25LL * 3600 * 1000;   // a day, and the hour a clock change adds

std::string JsonText(const nlohmann::ordered_json& json)
{
    // A record text that is not UTF-8 is shown with replacement characters, never refused.
    return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string Param(const httplib::Request& req, const char* szName)
{
    return req.has_param(szName) ? req.get_param_value(szName) : std::string();
}

}  // namespace

bool LookupValueAccepted(const std::string& strValue)
{
    if (strValue.empty() || strValue.size() > kMaxLookupBytes)
        return false;
    for (char c : strValue) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            return false;
    }
    return true;
}

int64_t LocalTimeMs(const std::string& strText)
{
    LocalTimeRead time;
    return ReadLocalTime(strText, time) ? time.nMs : -1;
}

CLineServer::CLineServer(LineServerSettings settings, std::function<int64_t()> fnNowMs)
    : m_Settings(std::move(settings)),
      m_fnNowMs(fnNowMs ? std::move(fnNowMs) : std::function<int64_t()>(WallNowMs)),
      m_pServer(std::make_unique<httplib::Server>()),
      m_pStore(std::make_unique<CLineStore>(m_Settings.strRecordUrl, m_Settings.nBusyTimeoutMs))
{
    Route();
}

CLineServer::~CLineServer() = default;

void CLineServer::Json(httplib::Response& res, int nStatus, const std::string& strBody)
{
    res.status = nStatus;
    res.set_header("Cache-Control", "no-store");
    res.set_content(strBody, "application/json; charset=utf-8");
}

void CLineServer::Refuse(httplib::Response& res, int nStatus, const char* szTextKey)
{
    Json(res, nStatus, JsonText({{"error", LineText(szTextKey)}}));
}

void CLineServer::Route()
{
    httplib::Server& server = *m_pServer;
    // The pages load nothing from elsewhere; a line PC has no internet.
    server.set_default_headers({{"Content-Security-Policy", "default-src 'self'; style-src 'self' 'unsafe-inline'"},
                                {"X-Content-Type-Options", "nosniff"}});
    // One request per connection and short reads, so that a stop ends every worker within a second.
    server.set_keep_alive_max_count(1);
    server.set_read_timeout(0, 500 * 1000);
    server.set_write_timeout(2, 0);
    server.set_payload_max_length(64 * 1024);
    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty())
            return;
        const char* szText = res.status == 404 ? LineText("page_not_found") : LineText("bad_request");
        res.set_content(std::string("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>") +
                            std::to_string(res.status) + "</title></head><body><p>" + szText +
                            "</p><p><a href=\"/\">" + LineText("nav_now") + "</a></p></body></html>\n",
                        "text/html; charset=utf-8");
    });
    server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        res.status = 500;
        res.set_content(LineText("record_unreachable"), "text/plain; charset=utf-8");
    });

    auto page = [](const char* szPage) {
        return [szPage](const httplib::Request&, httplib::Response& res) {
            res.set_content(LinePageHtml(szPage), "text/html; charset=utf-8");
        };
    };
    server.Get("/", page("now"));
    server.Get("/failures", page("failures"));
    server.Get("/board/?", page("board"));
    server.Get("/board/(.+)", [page](const httplib::Request& req, httplib::Response& res) {
        if (!LookupValueAccepted(req.matches[1].str())) {
            res.status = 400;
            res.set_content(LineText("refused_value"), "text/plain; charset=utf-8");
            return;
        }
        page("board")(req, res);
    });
    server.Get("/static/line.js", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(LineScript(), "text/javascript; charset=utf-8");
    });
    server.Get("/static/line.css", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(LineStyle(), "text/css; charset=utf-8");
    });
    const size_t nShifts = m_Settings.view.shifts.Count();
    server.Get("/static/texts.js", [nShifts](const httplib::Request&, httplib::Response& res) {
        res.set_content(LineTextsScript() + "window.SHIFTS = " + std::to_string(nShifts) + ";\n",
                        "text/javascript; charset=utf-8");
    });

    // Runs one read; a record that cannot answer is a 503 with the page's text, the reason to the log.
    auto read = [this](httplib::Response& res, const std::function<bool(CLineReader&, std::string&)>& fnRead) {
        std::string strError;
        const bool bOk = m_pStore->Read(
            [&](ISqlConnection& db, std::string& strWhy) {
                CLineReader reader(db, m_Settings.view);
                return fnRead(reader, strWhy);
            },
            strError);
        if (!bOk) {
            std::cerr << "tovar line: " << strError << "\n";
            Refuse(res, 503, "record_unreachable");
        }
        return bOk;
    };

    server.Get("/api/now", [this, read](const httplib::Request&, httplib::Response& res) {
        nlohmann::ordered_json answer;
        if (read(res, [&](CLineReader& reader, std::string& strError) { return reader.Now(m_fnNowMs(), answer, strError); }))
            Json(res, 200, JsonText(answer));
    });

    // A day (default today) or one of its shifts.
    auto span = [this](const httplib::Request& req, TimeSpan& out) {
        const std::string strDay = Param(req, "day");
        const int64_t nDayMs = strDay.empty() ? LocalMidnightMs(m_fnNowMs()) : LocalTimeMs(strDay);
        if (nDayMs < 0 || (!strDay.empty() && strDay.size() != 10))
            return false;
        const std::string strShift = Param(req, "shift");
        if (strShift.empty()) {
            out = {nDayMs, LocalMidnightMs(nDayMs, 1)};
            return true;
        }
        char* pEnd = nullptr;
        const long nShift = std::strtol(strShift.c_str(), &pEnd, 10);
        return *pEnd == '\0' && nShift > 0 && m_Settings.view.shifts.ShiftOfDay(nDayMs, static_cast<size_t>(nShift), out);
    };
    server.Get("/api/failures", [this, read, span](const httplib::Request& req, httplib::Response& res) {
        TimeSpan chosen;
        const std::string strStation = Param(req, "station");
        if (!span(req, chosen) || strStation.size() > kMaxLookupBytes) {
            Refuse(res, 400, "bad_span");
            return;
        }
        nlohmann::ordered_json answer;
        if (read(res, [&](CLineReader& reader, std::string& strError) {
                return reader.Failures(chosen, strStation, answer, strError);
            }))
            Json(res, 200, JsonText(answer));
    });

    server.Get("/api/board/(.*)", [this, read](const httplib::Request& req, httplib::Response& res) {
        const std::string strValue = req.matches[1].str();
        if (!LookupValueAccepted(strValue)) {
            Refuse(res, 400, "refused_value");
            return;
        }
        nlohmann::ordered_json answer;
        if (read(res, [&](CLineReader& reader, std::string& strError) { return reader.Board(strValue, answer, strError); }))
            Json(res, answer["found"].get<bool>() ? 200 : 404,
                 JsonText(answer["found"].get<bool>() ? answer : nlohmann::ordered_json{{"error", LineText("not_found")},
                                                                                         {"value", strValue}}));
    });

    server.Get("/export.csv", [this, read](const httplib::Request& req, httplib::Response& res) {
        const std::string strSince = Param(req, "since");
        const std::string strUntil = Param(req, "until");
        const std::string strStation = Param(req, "station");
        TimeSpan chosen;
        chosen.nStartMs = strSince.empty() ? LocalMidnightMs(m_fnNowMs()) : LocalTimeMs(strSince);
        chosen.nEndMs = strUntil.empty() ? LocalMidnightMs(chosen.nStartMs, 1) : LocalTimeMs(strUntil);
        if (chosen.nStartMs < 0 || chosen.nEndMs < chosen.nStartMs || chosen.nEndMs - chosen.nStartMs > kMaxSpanMs ||
            strStation.size() > kMaxLookupBytes) {
            res.status = 400;
            res.set_content(LineText("bad_span"), "text/plain; charset=utf-8");
            return;
        }
        std::string strCsv;
        if (read(res, [&](CLineReader& reader, std::string& strError) {
                return reader.ExportCsv(chosen, strStation, strCsv, strError);
            })) {
            res.set_header("Content-Disposition", "attachment; filename=\"tovar-jobs.csv\"");
            res.set_content(strCsv, "text/csv; charset=utf-8");
        }
    });
}

bool CLineServer::Listen(std::string& strWhy)
{
    // A probe of the address first, for the reason httplib does not give.
    const int nProbe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(m_Settings.nPort));
    if (inet_pton(AF_INET, m_Settings.strHost.c_str(), &address.sin_addr) != 1) {
        close(nProbe);
        strWhy = m_Settings.strHost + " is not an IPv4 address";
        return false;
    }
    int nYes = 1;
    setsockopt(nProbe, SOL_SOCKET, SO_REUSEADDR, &nYes, sizeof nYes);
    if (bind(nProbe, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        strWhy = "cannot listen on " + m_Settings.strHost + ":" + std::to_string(m_Settings.nPort) + ": " +
                 std::strerror(errno);
        close(nProbe);
        return false;
    }
    close(nProbe);
    if (m_Settings.nPort == 0) {
        m_nBoundPort = m_pServer->bind_to_any_port(m_Settings.strHost);
        if (m_nBoundPort > 0)
            return true;
    } else if (m_pServer->bind_to_port(m_Settings.strHost, m_Settings.nPort)) {
        m_nBoundPort = m_Settings.nPort;
        return true;
    }
    strWhy = "cannot listen on " + m_Settings.strHost + ":" + std::to_string(m_Settings.nPort);
    return false;
}

bool CLineServer::Serve(const std::atomic<int>& bStop, int nEndMs)
{
    std::promise<void> ended;
    std::future<void> done = ended.get_future();
    std::thread worker([this, &ended] {
        m_pServer->listen_after_bind();
        ended.set_value();
    });
    while (!bStop.load() && done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
    }
    // A stop before the server runs would be lost: it must have begun to listen.
    for (int i = 0; i < 1000 && !m_pServer->is_running() && done.wait_for(std::chrono::milliseconds(0)) !=
                                                                   std::future_status::ready; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    m_pServer->stop();
    const bool bEnded = done.wait_for(std::chrono::milliseconds(nEndMs)) == std::future_status::ready;
    if (bEnded)
        worker.join();
    else
        worker.detach();   // the caller ends the process; the workers have no state to keep
    return bEnded;
}
