// Run time: what browsers ask of the applications. Pages and files come from the
// application's area; calls run the application's SQL requests on their data sources and
// are rendered through its page templates; multipart posts store files in its data
// folder; a run-time login opens Private requests to their users.
#include <fcntl.h>
#include <sodium.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "devserver/Checks.h"
#include "devserver/Framing.h"
#include "devserver/RunSql.h"
#include "devserver/Server.h"
#include "platform/os/Files.h"
#include "platform/os/System.h"
#include "webproc/HttpProcessor.h"
#include "webproc/TableResult.h"

namespace devserver {

namespace {

constexpr const char* kSessionCookie = "jsessionid";
// Scripts cannot read the cookie, and nothing another site starts carries it (not even
// a link followed from there).
constexpr const char* kCookieAttributes = "; HttpOnly; SameSite=Strict";

std::string NewSessionKey() {
    unsigned char bytes[16];
    randombytes_buf(bytes, sizeof bytes);
    static const char kHex[] = "0123456789abcdef";
    std::string key;
    for (unsigned char b : bytes) {
        key += kHex[b >> 4];
        key += kHex[b & 15];
    }
    return key;
}

const char* ContentType(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    std::string ext(dot == std::string_view::npos ? "" : name.substr(dot + 1));
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static const struct {
        const char* ext;
        const char* type;
    } kTypes[] = {
        {"html", "text/html; charset=utf-8"},
        {"htm", "text/html; charset=utf-8"},
        {"css", "text/css"},
        {"js", "text/javascript"},
        {"json", "application/json"},
        {"txt", "text/plain; charset=utf-8"},
        {"csv", "text/csv; charset=utf-8"},
        {"xml", "application/xml"},
        {"png", "image/png"},
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"gif", "image/gif"},
        {"svg", "image/svg+xml"},
        {"ico", "image/x-icon"},
        {"webp", "image/webp"},
        {"pdf", "application/pdf"},
    };
    for (const auto& t : kTypes)
        if (ext == t.ext) return t.type;
    return "application/octet-stream";
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The parts of a page's path below the application: the request target after "/APP/",
// without its query, percent escapes decoded, split at '/'. An empty last part names
// index.html. false for a target that is not below the application.
std::string_view MessageOf(const HttpProcessor& http) {
    return {http.m_Message.GetContent(), static_cast<std::size_t>(http.m_Message.GetSize())};
}

// The request line's target without its query: "/demo/a.html" of "GET /demo/a.html?x HTTP/1.1".
std::string_view RequestPath(std::string_view message) {
    const std::string_view line = message.substr(0, message.find_first_of("\r\n"));
    const std::size_t start = line.find(' ');
    if (start == std::string_view::npos) return {};
    std::string_view target = line.substr(start + 1);
    target = target.substr(0, target.find(' '));
    return target.substr(0, target.find_first_of("?#"));
}

// The request path split at '/', each part with its percent escapes decoded (UTF-8
// names arrive escaped): "/caf%C3%A9/a.html" gives "café" and "a.html". An empty last
// part names index.html. Empty for a path that does not begin with '/'.
std::vector<std::string> PathParts(std::string_view message) {
    const std::string_view target = RequestPath(message);
    std::vector<std::string> parts;
    if (target.empty() || target[0] != '/') return parts;
    std::string part;
    for (std::size_t i = 1; i <= target.size(); ++i) {
        if (i == target.size() || target[i] == '/') {
            parts.push_back(std::move(part));
            part.clear();
        } else if (target[i] == '%' && i + 2 < target.size() && HexDigit(target[i + 1]) >= 0 &&
                   HexDigit(target[i + 2]) >= 0) {
            part += static_cast<char>(HexDigit(target[i + 1]) * 16 + HexDigit(target[i + 2]));
            i += 2;
        } else {
            part += target[i];
        }
    }
    return parts;
}

// A name as it may stand in an address: bytes other than unreserved ones escaped.
std::string EscapePathPart(std::string_view name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

// The value of the cookie name in the request's Cookie header lines, and nowhere else
// (not in the address, another header or a cookie whose name merely ends in it).
std::string CookieValue(std::string_view message, std::string_view name) {
    std::string found;
    for (std::string_view line : HeaderValues(message, "Cookie")) {
        while (!line.empty()) {
            const std::size_t semi = line.find(';');
            std::string_view pair = line.substr(0, semi);
            line = semi == line.npos ? std::string_view() : line.substr(semi + 1);
            while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
            while (!pair.empty() && pair.back() == ' ') pair.remove_suffix(1);
            const std::size_t eq = pair.find('=');
            if (eq != pair.npos && pair.substr(0, eq) == name) found = pair.substr(eq + 1);
        }
    }
    return found;
}

// The host and port of an address ("http://host:port/path" gives "host:port").
std::string_view Authority(std::string_view url) {
    const std::size_t scheme = url.find("://");
    if (scheme == url.npos) return {};
    url.remove_prefix(scheme + 3);
    return url.substr(0, url.find_first_of("/?#"));
}

// Whether the request comes from somewhere else than the server's own pages: the
// browser says it is another site's (Sec-Fetch-Site), or its Origin or Referer names
// another host than the one it asks (a sandboxed page's Origin is "null").
bool FromAnotherSite(std::string_view message) {
    for (std::string_view v : HeaderValues(message, "Sec-Fetch-Site"))
        if (v == "cross-site") return true;
    const auto hosts = HeaderValues(message, "Host");
    const std::string_view host = hosts.size() == 1 ? hosts[0] : std::string_view();
    for (std::string_view v : HeaderValues(message, "Origin"))
        if (v == "null" || Authority(v) != host) return true;
    for (std::string_view v : HeaderValues(message, "Referer"))
        if (Authority(v) != host) return true;
    return false;
}

}  // namespace

void DevServer::KeepCatalogAt(uint64_t changes) {
    // Bounded: names that exist are few, and misses are not kept.
    if (m_CatalogAt != changes || m_RunApps.size() + m_RunReqs.size() > 20000) {
        m_RunApps.clear();
        m_RunReqs.clear();
        m_CatalogAt = changes;
    }
}

DevServer::RunApp DevServer::FindRunApp(const std::string& name) {
    {
        std::shared_lock<std::shared_mutex> r(m_CatalogLock);
        auto it = m_RunApps.find(name);
        if (m_CatalogAt == m_Changes.load() && it != m_RunApps.end()) return it->second;
    }
    RunApp app;
    uint64_t at = 0;
    {
        std::lock_guard<std::mutex> g(m_Lock);
        at = m_Changes.load();
        Statement s(m_Db, "SELECT id, timeout FROM apps WHERE name = ?");
        s.Bind(1, name);
        if (!s.Step()) return app;
        app.id = static_cast<long>(s.Int(0));
        app.timeoutMinutes = static_cast<long>(s.Int(1));
    }
    std::unique_lock<std::shared_mutex> w(m_CatalogLock);
    KeepCatalogAt(at);
    if (m_CatalogAt == at) m_RunApps[name] = app;
    return app;
}

std::shared_ptr<const DevServer::RunReq> DevServer::FindRunReq(long appId,
                                                               const std::string& name) {
    {
        std::shared_lock<std::shared_mutex> r(m_CatalogLock);
        auto it = m_RunReqs.find({appId, name});
        if (m_CatalogAt == m_Changes.load() && it != m_RunReqs.end()) return it->second;
    }
    auto req = std::make_shared<RunReq>();
    uint64_t at = 0;
    {
        std::lock_guard<std::mutex> g(m_Lock);
        at = m_Changes.load();
        Statement s(m_Db,
                    "SELECT r.id, r.language, r.access, r.script, d.name, (SELECT COUNT(*) FROM "
                    "req_params p WHERE p.req_id = r.id) FROM reqs r JOIN datasources d ON "
                    "d.id = r.ds_id WHERE r.app_id = ? AND r.name = ?");
        s.Bind(1, appId).Bind(2, name);
        if (!s.Step()) return nullptr;
        req->id = static_cast<long>(s.Int(0));
        req->language = static_cast<long>(s.Int(1));
        req->access = static_cast<long>(s.Int(2));
        req->script = s.Blob(3);
        req->dataSource = s.Text(4);
        req->paramCount = static_cast<long>(s.Int(5));
        Statement u(m_Db, "SELECT user_id FROM req_users WHERE req_id = ?");
        u.Bind(1, req->id);
        while (u.Step()) req->users.push_back(static_cast<long>(u.Int(0)));
    }
    std::unique_lock<std::shared_mutex> w(m_CatalogLock);
    KeepCatalogAt(at);
    if (m_CatalogAt == at) m_RunReqs[{appId, name}] = req;
    return req;
}

long long DevServer::RunIdleMs(long timeoutMinutes) const {
    return (timeoutMinutes > 0 ? timeoutMinutes : m_Options.sessionIdleMinutes) * 60000ll;
}

long DevServer::RunSessions(long appId, long timeoutMinutes) {
    const long long idle = RunIdleMs(timeoutMinutes);
    std::lock_guard<std::mutex> g(m_SessionLock);
    return m_RunSessions.Live(appId, os::SteadyMillis(), [idle](long) { return idle; });
}

bool DevServer::AnswersAtOnce(HttpProcessor& http) {
    if (http.GetHttpType() != HttpProcessor::kHttpGet ||
        http.GetReqType() != HttpProcessor::kReqPage)
        return false;
    const std::vector<std::string> path = PathParts(MessageOf(http));
    if (path.size() < 2) return false;
    std::shared_lock<std::shared_mutex> r(m_CatalogLock);
    return m_CatalogAt == m_Changes.load() && m_RunApps.count(path[0]) > 0;
}

void DevServer::TakeRunSession(HttpProcessor& http, RunCall& rc) {
    const std::string key = CookieValue(MessageOf(http), kSessionCookie);
    const long long now = os::SteadyMillis();
    {
        std::lock_guard<std::mutex> g(m_SessionLock);
        if (const auto* e = m_RunSessions.Use(key, rc.appId, now, RunIdleMs(rc.timeoutMinutes))) {
            rc.sessionKey = key;
            rc.userId = e->userId;
            rc.userName = e->userName;
            return;
        }
        // A visit that another site started gets no session: its cookie would replace the
        // one the browser holds for this application, which that request did not carry.
        if (FromAnotherSite(MessageOf(http))) return;
        rc.sessionKey = NewSessionKey();
        if (!m_RunSessions.AddAnonymous(rc.sessionKey, rc.appId, rc.peer, now)) {
            rc.sessionKey.clear();  // every place holds a login: served without a session
            return;
        }
        rc.newCookie = true;
        // Counted by day, so the month's and the total survive restarts.
        const os::LocalTime t = os::GetLocalTime();
        char day[16];
        std::snprintf(day, sizeof day, "%04d-%02d-%02d", t.year, t.month, t.day);
        ++m_PendingCounts[{rc.appId, day}];  // written by the server's clock, not here
    }
}

void DevServer::WriteRunCounts() {
    std::map<std::pair<long, std::string>, long> counts;
    {
        std::lock_guard<std::mutex> g(m_SessionLock);
        counts.swap(m_PendingCounts);
    }
    if (counts.empty()) return;
    Transaction tx(m_Db);
    for (const auto& [at, n] : counts) {
        Statement s(m_Db,
                    "INSERT INTO run_counts(app_id, day, count) VALUES(?, ?, ?) "
                    "ON CONFLICT(app_id, day) DO UPDATE SET count = count + excluded.count");
        s.Bind(1, at.first).Bind(2, at.second).Bind(3, n);
        s.Run();
    }
    tx.Commit();
}

std::string DevServer::RunCookieHeader(const RunCall& rc) const {
    if (rc.endCookie)
        return std::string("\r\nSet-Cookie: ") + kSessionCookie + "=; Max-Age=0" +
               kCookieAttributes + "; Path=/" + rc.app + "/;";
    if (rc.newCookie)
        return std::string("\r\nSet-Cookie: ") + kSessionCookie + "=" + rc.sessionKey +
               kCookieAttributes + "; Path=/" + rc.app + "/;";
    return {};
}

void DevServer::SetRunCookie(const RunCall& rc, RunItem& run) const {
    if (!rc.newCookie) return;
    // A named cookie: the renderer's own session cookie carries a number, ours a key.
    CookieEntry e;
    e.m_Name = kSessionCookie;
    e.m_Value = rc.sessionKey + kCookieAttributes;
    e.m_Path = rc.app;
    e.m_Kind = CookieEntry::kNamed;
    run.m_Cookies.m_Entries.push_back(e);
}

std::string DevServer::RunMessage(RunCall& rc, int status, std::string_view text) {
    rc.status = status;
    const std::string body = "<html><head><meta charset=utf-8><title>" + EscapeHtml(rc.app) +
                             "</title></head><body><p>" + EscapeHtml(text) + "</p></body></html>\n";
    return StatusHeader(status, "text/html; charset=utf-8", RunCookieHeader(rc),
                        static_cast<long long>(body.size())) +
           body;
}

void DevServer::TraceRun(const RunCall& rc, long long started) {
    if (!m_Switches[3]) return;
    std::string line = (rc.userName.empty() ? std::string("-") : rc.userName) + " " + rc.app + "/" +
                       rc.what + " " + std::to_string(rc.status) + " rows " +
                       std::to_string(rc.rows) + " " +
                       std::to_string(os::SteadyMillis() - started) + " ms";
    line = TraceSafe(line);
    Trace(4).Print(line.data(), static_cast<long>(line.size()), "", 0);
}

std::string DevServer::RunTime(HttpProcessor& http, Call& call) {
    const long long started = os::SteadyMillis();
    call.name = "(run time)";
    RunCall rc;
    rc.peer = call.peer;
    std::string answer;
    rc.path = PathParts(MessageOf(http));
    const std::vector<std::string>& path = rc.path;
    if (http.m_HttpType != HttpProcessor::kHttpGet && http.m_HttpType != HttpProcessor::kHttpPost) {
        rc.what = "(method)";
        answer = RunMessage(rc, 405, "Only GET, HEAD and POST are served");
    } else if (path.size() < 2 || !CheckAppName(path[0]).empty()) {
        rc.what = "(address)";
        if (http.m_HttpType == HttpProcessor::kHttpGet && path.size() == 1 &&
            CheckAppName(path[0]).empty()) {
            // An application's address typed without its last slash: its pages are below it.
            rc.status = 301;
            answer = StatusHeader(301, "text/html",
                                  "\r\nLocation: /" + EscapePathPart(path[0]) + "/", 0);
        } else {
            answer = RunMessage(rc, 404, "No application in this address");
        }
    } else {
        rc.app = path[0];
        const RunApp app = FindRunApp(rc.app);
        rc.appId = app.id;
        rc.timeoutMinutes = app.timeoutMinutes;
        const int kind = http.GetReqType();
        if (rc.appId == 0) {
            answer = RunMessage(rc, 404, "No application " + rc.app);
        } else {
            TakeRunSession(http, rc);
            if (kind == HttpProcessor::kReqPage)
                answer = RunPage(rc, call);
            else if (kind == HttpProcessor::kReqGetCall || kind == HttpProcessor::kReqFormCall)
                answer = RunRequest(http, rc);
            else
                answer = RunMessage(rc, 400, "The form names no request");
        }
    }
    TraceRun(rc, started);
    return answer;
}

std::string DevServer::RunPage(RunCall& rc, Call& call) {
    std::vector<std::string> parts(rc.path.begin() + 1, rc.path.end());  // below the application
    rc.what = "(page)";
    if (parts.back().empty()) parts.back() = "index.html";
    std::string shown;
    for (const auto& p : parts) shown += (shown.empty() ? "" : "/") + p;
    rc.what = shown;
    for (const auto& p : parts)
        if (!CheckFileName(p).empty()) return RunMessage(rc, 404, "No such page " + shown);
    const std::string name = parts.back();
    parts.pop_back();
    // Below the applications' folder, kept open: one call opens the page.
    auto file = std::make_unique<os::FileReader>();
    if (AppArea(rc.app).empty() || file->OpenBeneath(m_AppsDir, rc.app + "/" + shown) != 0)
        return RunMessage(rc, 404, "No such page " + shown);
    const long long size = file->Size();
    call.file = std::move(file);
    const std::string type = ContentType(name);
    std::string headers = RunCookieHeader(rc) + "\r\nX-Content-Type-Options: nosniff";
    // data/ holds what visitors uploaded: never run as one of the site's pages.
    if (!parts.empty() && parts[0] == "data") {
        headers += "\r\nContent-Security-Policy: sandbox";
        for (const char* active : {"text/html", "image/svg", "application/xml", "text/javascript"})
            if (type.rfind(active, 0) == 0) headers += "\r\nContent-Disposition: attachment";
    }
    return StatusHeader(200, type, headers, size);
}

std::string DevServer::RunRequest(HttpProcessor& http, RunCall& rc) {
    char name[52] = {};
    ParamList<ParamListItem> params;
    if (http.GetRequestNameAndParams(name, sizeof name, params) != 0) {
        rc.what = name[0] ? std::string(name) : "(call)";
        return RunMessage(rc, 400,
                          params.m_ErrorMsg.empty()
                              ? std::string("The call has no argument list")
                              : "The call is wrong: " + params.m_ErrorMsg.str());
    }
    rc.what = std::string(name) + "()";
    std::vector<std::string> args;
    for (long i = 0; i < params.Count(); ++i) {
        ParamListItem* item = nullptr;
        params.GetAt(i, &item);
        args.push_back(os::Utf16ToUtf8(
            std::u16string_view(item->m_ValueU.GetContent() ? item->m_ValueU.GetContent() : u"",
                                static_cast<std::size_t>(item->m_ValueU.GetSize()))));
        // A large value is not held in both forms; an upload still reads the file names.
        if (http.m_FormType != HttpProcessor::kFormMultipart) item->m_ValueU.Free();
    }
    const std::string request = name;
    if (request == "server_login") return RunLogin(http, rc, args);
    if (request == "server_logout") {
        {
            std::lock_guard<std::mutex> g(m_SessionLock);
            m_RunSessions.Erase(rc.sessionKey);
        }
        rc.newCookie = false;
        rc.endCookie = true;
        return RunMessage(rc, 200, "Logged out.");
    }

    const std::shared_ptr<const RunReq> req = FindRunReq(rc.appId, request);
    const long reqId = req ? req->id : 0, language = req ? req->language : 0;
    const long access = req ? req->access : 0, paramCount = req ? req->paramCount : 0;
    const bool allowed =
        req && access == 1 && rc.userId >= 0 &&
        std::find(req->users.begin(), req->users.end(), rc.userId) != req->users.end();
    if (reqId == 0) return RunMessage(rc, 404, "No request " + request + " in " + rc.app);
    if (language != 1)
        return RunMessage(rc, 501,
                          request + " is a JAVA request: this server runs SQL requests only");
    if (access == 1 && !allowed)
        return RunMessage(rc, 403, request + " is private: log in as one of its users first");
    // What a login allows, only the application's own pages may ask for.
    if ((access == 1 || http.m_FormType == HttpProcessor::kFormMultipart) &&
        FromAnotherSite(MessageOf(http)))
        return RunMessage(rc, 403, request + " is not run for a request from another site");
    if (static_cast<long>(args.size()) != paramCount)
        return RunMessage(rc, 400,
                          request + " takes " + std::to_string(paramCount) + " arguments, not " +
                              std::to_string(args.size()));
    std::string page;
    if (http.m_FormType == HttpProcessor::kFormUrlEncoded) {
        Vessel v;
        http.GetParameter("page", v);
        page.assign(v.GetContent() ? v.GetContent() : "", static_cast<std::size_t>(v.GetSize()));
        if (!page.empty() && !CheckFileName(page + ".html").empty())
            return RunMessage(rc, 400, "No such page " + page);
    }
    if (http.m_FormType == HttpProcessor::kFormMultipart) {
        std::string refused = RunUpload(http, rc, request, params);
        if (!refused.empty()) return refused;
    }
    // The data source's database file; a name that cannot be a file has none.
    const std::string& dataSource = req->dataSource;
    if (!CheckFileName(dataSource).empty())
        return RunMessage(rc, 404, "The data source " + dataSource + " has no database file");
    TableList<TableListItem> tables;
    SqlLimits limits{m_Options.sqlTimeLimitMs, m_Options.maxResultRows};
    rc.rows = RunSqlScript(os::JoinPath({m_Options.root, "datasources", dataSource + ".sqlite"}),
                           req->script, args, limits, tables);
    return RunRender(rc, tables, request, page);
}

std::string DevServer::RunUpload(HttpProcessor& http, RunCall& rc, const std::string& request,
                                 ParamList<ParamListItem>& params) {
    if (rc.userId < 0) return RunMessage(rc, 403, "Log in to upload files");
    os::DirBeneath data;
    if (OpenAreaDir(rc.app, {"data"}, data, true) != 0)
        return RunMessage(rc, 404, "The application has no data folder");
    // The files land in a folder of their own first: only when every one of them came
    // whole, has a name the file commands can reach, replaces nothing and fits the
    // quota do they move into data/, all of them.
    const std::string key = NewSessionKey();
    const std::string staging = os::JoinPath({m_Options.root, "uploads", key});
    struct Cleanup {
        std::string path;
        ~Cleanup() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    } cleanup{staging};
    os::DirBeneath staged;
    if (staged.Open(os::JoinPath({m_Options.root, "uploads"}), {key, rc.app, "data"}, true) != 0)
        return RunMessage(rc, 500, "The upload cannot be received");
    UploadTraceList<UploadTraceListItem> trace;
    const int up = http.Upload(rc.app.c_str(), params, staging.c_str(), trace);
    std::string notes;
    std::vector<std::string> names;
    long long bytes = 0;
    for (long i = 0; i < trace.Count(); ++i) {
        UploadTraceListItem* t = nullptr;
        trace.GetAt(i, &t);
        const std::string stored = os::BaseName(t->m_ServerFile.str());
        // The client's extension may make a name no file command could address.
        const std::string badName = CheckFileName(stored);
        if (t->m_Status == 0 && !badName.empty()) {
            t->m_Status = -1;
            t->m_Note = "Error: " + badName;
        }
        if (t->m_Status == 0 && staged.KindOf(stored) != 'f') {
            t->m_Status = -1;
            t->m_Note = "Error: Cannot write file";
        }
        if (t->m_Status == 0 && std::find(names.begin(), names.end(), stored) != names.end()) {
            t->m_Status = -1;
            t->m_Note = "Error: Two files for " + stored;
        }
        if (t->m_Status == 0) {
            names.push_back(stored);
            bytes += os::FileSize(staged.Join(stored).c_str());
        }
        if (m_Switches[3]) {
            const std::string line = TraceSafe(rc.app + "/" + request + " upload " +
                                               t->m_ClientFile.str() + " as data/" + stored + ": " +
                                               (t->m_Status == 0 ? "OK" : t->m_Note.str()));
            Trace(4).Print(line.data(), static_cast<long>(line.size()), "", 0);
        }
        if (t->m_Status != 0) notes += (notes.empty() ? "" : "; ") + t->m_Note.str();
    }
    if (up < 0 || !notes.empty())
        return RunMessage(rc, 400, "Upload failed: " + (notes.empty() ? "no end" : notes));

    std::lock_guard<std::mutex> g(m_Lock);  // the quota holds across parallel uploads
    long long used = 0;
    std::vector<os::DirEntry> entries;
    if (os::ListDirectory(data.Path().c_str(), entries) == 0)
        for (const auto& e : entries)
            if (!e.isDirectory) used += e.size;
    if (used + bytes > m_Options.maxDataBytes)
        return RunMessage(rc, 413,
                          "The application's data folder has no room for " + std::to_string(bytes) +
                              " more bytes");
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (::renameat2(staged.Handle(), names[i].c_str(), data.Handle(), names[i].c_str(),
                        RENAME_NOREPLACE) != 0) {
            const bool exists = errno == EEXIST;
            for (std::size_t k = 0; k < i; ++k) ::unlinkat(data.Handle(), names[k].c_str(), 0);
            return exists
                       ? RunMessage(rc, 409, "data/" + names[i] + " exists already: not replaced")
                       : RunMessage(rc, 500, "The upload cannot be stored");
        }
    }
    return {};
}

std::string DevServer::RunRender(RunCall& rc, TableList<TableListItem>& tables,
                                 const std::string& request, const std::string& page) {
    // The template must be a plain file at the top of the area, never reached by a link.
    const std::string templateName = (page.empty() ? request : page) + ".html";
    if (!CheckFileName(templateName).empty())
        return RunMessage(rc, 404, "No page template for " + request);
    // Below the applications' folder, kept open: one call opens the template.
    os::FileReader file;
    std::string text;
    bool found = !AppArea(rc.app).empty() &&
                 file.OpenBeneath(m_AppsDir, rc.app + "/" + templateName) == 0 &&
                 file.Size() < (64 << 20);
    if (found) {
        text.resize(static_cast<std::size_t>(file.Size()));
        for (std::size_t at = 0; found && at < text.size();) {
            const long n = file.Read(text.data() + at, text.size() - at);
            found = n > 0;
            at += n > 0 ? static_cast<std::size_t>(n) : 0;
        }
    } else {
        // Why not: no such application folder, something else under the name, or none
        // (then the plain page).
        os::DirBeneath top;
        if (OpenAreaDir(rc.app, {}, top) != 0)
            return RunMessage(rc, 404, "No page template for " + request);
        const char kind = top.KindOf(templateName);
        if (kind != 'f' && kind != 0)
            return RunMessage(rc, 404, "The page template " + templateName + " is not a file");
    }
    RunItem run;
    run.m_RequestName = request;
    run.m_AppName = rc.app;
    run.m_PageName = page;
    run.m_RootFolder = os::JoinPath({m_Options.root, "apps"});
    run.m_Trace = m_Switches[3] ? &m_RenderTrace : nullptr;
    SetRunCookie(rc, run);
    // The renderer traces the database's message, which a script may fill with a
    // visitor's text (raise(ABORT, ?)).
    if (tables.m_ErrorCode != 0) tables.m_ErrorMsg = TraceSafe(tables.m_ErrorMsg.str());
    Vessel out;
    out.Alloc(8192, 8192);
    if (found)
        f_TableListToHttpResultFromText(tables, &run, out, text, true);
    else
        f_TableListToHttpResult(tables, &run, out, nullptr);
    std::string answer(out.GetContent(), static_cast<std::size_t>(out.GetSize()));
    // The renderer's header names no charset and answers even a failed request 200: the
    // page it made stays the body of a 500.
    const std::size_t end = answer.find("\r\n\r\n");
    const std::size_t type = answer.find("\r\nContent-Type: text/html\r\n");
    if (type != std::string::npos && type < end) answer.insert(type + 25, "; charset=utf-8");
    if (tables.m_ErrorCode != 0) {
        rc.status = 500;
        if (answer.rfind("HTTP/1.1 200 OK\r\n", 0) == 0)
            answer.replace(0, 15, "HTTP/1.1 500 Internal Server Error");
    }
    return answer;
}

std::string DevServer::RunLogin(HttpProcessor& http, RunCall& rc,
                                const std::vector<std::string>& args) {
    rc.what = "server_login()";
    if (http.m_ReqType != HttpProcessor::kReqFormCall)
        return RunMessage(rc, 400,
                          "Log in with a form post: a password has no place in an address");
    if (args.size() != 2)
        return RunMessage(rc, 400, "server_login takes a user name and a password");
    if (FromAnotherSite(MessageOf(http)))
        return RunMessage(rc, 403, "Log in from the application's own pages");
    // Run users log in at run time; Dev users administer.
    const long id = CheckLogin(args[0], args[1], 1, rc.peer);
    if (id < 0) return RunMessage(rc, 403, "Login failed");
    {
        // A fresh key: one known before the login (planted by someone else) is worth nothing.
        std::lock_guard<std::mutex> g(m_SessionLock);
        m_RunSessions.Erase(rc.sessionKey);
        rc.sessionKey = NewSessionKey();
        m_RunSessions.AddLogin(rc.sessionKey, rc.appId, id, args[0], rc.peer, os::SteadyMillis());
    }
    rc.newCookie = true;
    rc.userId = id;
    rc.userName = args[0];
    Vessel v;
    http.GetParameter("page", v);
    const std::string page(v.GetContent() ? v.GetContent() : "",
                           static_cast<std::size_t>(v.GetSize()));
    if (page.empty() || !CheckFileName(page + ".html").empty())
        return RunMessage(rc, 200, "Logged in as " + args[0] + ".");
    TableList<TableListItem> none;
    return RunRender(rc, none, "server_login", page);
}

}  // namespace devserver
