#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "web/line_view_settings.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

class CLineStore;

// Where tovar line reads and listens.
struct LineServerSettings {
    std::string strRecordUrl;          // postgresql://... or an SQLite file (which must exist)
    std::string strHost = "127.0.0.1";
    int nPort = 8080;                  // 0: any free port (tests)
    LineViewSettings view;
    int nBusyTimeoutMs = 1000;         // a slow record fails a page after a few times this, never hangs it
};

// The line view's HTTP server: the pages, their script and style, the JSON API and the CSV export,
// all read-only over the record. Pages never show the record's URL nor a database's message.
class CLineServer {
public:
    explicit CLineServer(LineServerSettings settings, std::function<int64_t()> fnNowMs = {});
    ~CLineServer();
    CLineServer(const CLineServer&) = delete;
    CLineServer& operator=(const CLineServer&) = delete;

    // Takes the address; false, with strWhy, when it cannot (a port in use, a bad host).
    bool Listen(std::string& strWhy);
    int Port() const { return m_nBoundPort; }
    // Answers requests until bStop is raised; false when the workers did not end within nEndMs after it.
    bool Serve(const std::atomic<int>& bStop, int nEndMs = 900);

private:
    void Route();
    void Json(httplib::Response& res, int nStatus, const std::string& strBody);
    void Refuse(httplib::Response& res, int nStatus, const char* szTextKey);

    LineServerSettings m_Settings;
    std::function<int64_t()> m_fnNowMs;
    std::unique_ptr<httplib::Server> m_pServer;
    std::unique_ptr<CLineStore> m_pStore;
    int m_nBoundPort = 0;
};

// A value /board/ may look up: 1 to 64 bytes, no control characters.
bool LookupValueAccepted(const std::string& strValue);
// "YYYY-MM-DD" or "YYYY-MM-DD HH:MM[:SS]" (or with "T") as local time (ReadLocalTime); -1 when it is neither.
int64_t LocalTimeMs(const std::string& strText);
