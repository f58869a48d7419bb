// Request files (".req") and application files (".app"): the formats are described in
// README.md. Both are line-oriented text with length-prefixed byte blocks, so they are
// readable, diffable and binary-safe at once.
#include <sodium.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "devserver/Checks.h"
#include "devserver/Server.h"
#include "platform/os/Files.h"

namespace fs = std::filesystem;

namespace devserver {

struct ReqData {
    std::string name;
    std::string dataSource;
    long language = 1;
    long access = 0;
    std::vector<std::string> params;
    std::vector<std::string> users;
    std::string script;
};

namespace {

constexpr const char* kReqMagic = "QUORVEL-REQUEST 1";
constexpr const char* kAppMagic = "QUORVEL-APPLICATION 1";

class Reader {
public:
    explicit Reader(std::string_view text) : m_Text(text) {}
    bool Line(std::string_view& out) {
        std::size_t eol = m_Text.find('\n');
        if (eol == std::string_view::npos) return false;
        out = m_Text.substr(0, eol);
        m_Text.remove_prefix(eol + 1);
        return true;
    }
    // "key: value" lines; false at the end of the text.
    bool Field(std::string& key, std::string& value) {
        std::string_view l;
        if (!Line(l)) return false;
        std::size_t colon = l.find(": ");
        if (colon == std::string_view::npos) {
            key = std::string(l);
            value.clear();
        } else {
            key = std::string(l.substr(0, colon));
            value = std::string(l.substr(colon + 2));
        }
        return true;
    }
    // n bytes followed by a line end.
    bool Bytes(std::size_t n, std::string& out) {
        if (m_Text.size() < n + 1 || m_Text[n] != '\n') return false;
        out = std::string(m_Text.substr(0, n));
        m_Text.remove_prefix(n + 1);
        return true;
    }
    bool AtEnd() const { return m_Text.empty(); }

private:
    std::string_view m_Text;
};

bool ParseSize(const std::string& v, std::size_t& n) {
    long x = 0;
    if (!ParseNumber(v, 0, 2147483647, x)) return false;
    n = static_cast<std::size_t>(x);
    return true;
}

// Reads a request block up to its "end" line. Empty string on success.
std::string ReadRequest(Reader& r, ReqData& out) {
    std::string key, value;
    while (r.Field(key, value)) {
        if (key == "end") return {};
        if (key == "name")
            out.name = value;
        else if (key == "datasource")
            out.dataSource = value;
        else if (key == "language") {
            if (value == "SQL")
                out.language = 1;
            else if (value == "JAVA")
                out.language = 2;
            else
                return "unknown language " + value;
        } else if (key == "access") {
            if (value == "public")
                out.access = 0;
            else if (value == "private")
                out.access = 1;
            else
                return "unknown access " + value;
        } else if (key == "param")
            out.params.push_back(value);
        else if (key == "user")
            out.users.push_back(value);
        else if (key == "script") {
            std::size_t n = 0;
            if (!ParseSize(value, n) || !r.Bytes(n, out.script)) return "the script is cut short";
        } else
            return "unknown line " + key;
    }
    return "the request has no end line";
}

void WriteRequest(std::string& out, const ReqData& r) {
    out += "name: " + r.name + "\n";
    out += "datasource: " + r.dataSource + "\n";
    out += std::string("language: ") + (r.language == 2 ? "JAVA" : "SQL") + "\n";
    out += std::string("access: ") + (r.access == 1 ? "private" : "public") + "\n";
    for (const auto& p : r.params) out += "param: " + p + "\n";
    for (const auto& u : r.users) out += "user: " + u + "\n";
    out += "script: " + std::to_string(r.script.size()) + "\n";
    out += r.script;
    out += "\nend\n";
}

std::string WireOf(const fs::path& relative) {
    std::string w;
    for (const auto& part : relative) w += (w.empty() ? "" : "\\") + part.string();
    return w;
}

}  // namespace

// ---- export

bool DevServer::ExportRequest(long reqId, std::string& out) {
    ReqData r;
    Statement s(m_Db,
                "SELECT r.name, d.name, r.language, r.access, r.script FROM reqs r JOIN "
                "datasources d ON d.id = r.ds_id "
                "WHERE r.id = ?");
    s.Bind(1, reqId);
    if (!s.Step()) return false;
    r.name = s.Text(0);
    r.dataSource = s.Text(1);
    r.language = static_cast<long>(s.Int(2));
    r.access = static_cast<long>(s.Int(3));
    r.script = s.Blob(4);
    Statement p(m_Db, "SELECT name FROM req_params WHERE req_id = ? ORDER BY number");
    p.Bind(1, reqId);
    while (p.Step()) r.params.push_back(p.Text(0));
    Statement u(m_Db,
                "SELECT u.name FROM req_users x JOIN users u ON u.id = x.user_id WHERE x.req_id = "
                "? ORDER BY x.position");
    u.Bind(1, reqId);
    while (u.Step()) r.users.push_back(u.Text(0));
    out = std::string(kReqMagic) + "\n";
    WriteRequest(out, r);
    return true;
}

bool DevServer::ExportApplication(long appId, std::string& out) {
    Statement a(m_Db, "SELECT name, description, timeout FROM apps WHERE id = ?");
    a.Bind(1, appId);
    if (!a.Step()) return false;
    std::string name = a.Text(0);
    out = std::string(kAppMagic) + "\n";
    out += "name: " + name + "\n";
    out += "description: " + a.Text(1) + "\n";
    out += "timeout: " + std::to_string(a.Int(2)) + "\n";
    Statement u(m_Db,
                "SELECT u.name FROM app_users x JOIN users u ON u.id = x.user_id WHERE x.app_id = "
                "? ORDER BY x.position");
    u.Bind(1, appId);
    while (u.Step()) out += "user: " + u.Text(0) + "\n";
    Statement q(m_Db, "SELECT id FROM reqs WHERE app_id = ? ORDER BY id");
    q.Bind(1, appId);
    while (q.Step()) {
        std::string one;
        if (!ExportRequest(static_cast<long>(q.Int(0)), one)) return false;
        out += "request\n";
        out += one.substr(std::string(kReqMagic).size() + 1);
    }
    // Every folder (empty ones too) and every file of the area, in name order.
    fs::path area = AppArea(name);
    std::error_code ec;
    std::vector<fs::path> folders, files;
    for (auto it = fs::recursive_directory_iterator(area, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::string leaf = it->path().filename().string();
        if (!leaf.empty() && leaf[0] == '.') {
            if (it->is_directory(ec)) it.disable_recursion_pending();
            continue;
        }
        if (it->is_symlink(ec)) continue;
        if (it->is_directory(ec))
            folders.push_back(fs::relative(it->path(), area, ec));
        else if (it->is_regular_file(ec))
            files.push_back(fs::relative(it->path(), area, ec));
    }
    if (ec) return false;
    std::sort(folders.begin(), folders.end());
    std::sort(files.begin(), files.end());
    for (const auto& f : folders) out += "folder: " + WireOf(f) + "\n";
    for (const auto& f : files) {
        std::string bytes;
        if (os::ReadWholeFile((area / f).c_str(), bytes) != 0) return false;
        out += "file: " + WireOf(f) + "\n";
        out += "size: " + std::to_string(bytes.size()) + "\n";
        out += bytes;
        out += "\n";
    }
    out += "end\n";
    return true;
}

// ---- import

std::string DevServer::CheckRequestData(const ReqData& r) {
    std::string why = CheckName("Request name", r.name, kNameWidth);
    if (!why.empty()) return why;
    Statement d(m_Db, "SELECT 1 FROM datasources WHERE name = ?");
    d.Bind(1, r.dataSource);
    if (!d.Step()) return "Unknown data source " + r.dataSource + " (create it first)";
    std::vector<std::string> seen;
    for (const auto& p : r.params) {
        why = CheckName("Parameter name", p, kNameWidth);
        if (!why.empty()) return why;
        if (std::find(seen.begin(), seen.end(), p) != seen.end())
            return "Parameter " + p + " is listed twice";
        seen.push_back(p);
    }
    seen.clear();
    for (const auto& u : r.users) {
        Statement s(m_Db, "SELECT type FROM users WHERE name = ?");
        s.Bind(1, u);
        if (!s.Step()) return "Unknown user " + u + " (create it first)";
        if (s.Int(0) != 1) return "User " + u + " is not a Run user";
        if (std::find(seen.begin(), seen.end(), u) != seen.end())
            return "User " + u + " is listed twice";
        seen.push_back(u);
    }
    return {};
}

// Inside the caller's transaction.
std::string DevServer::InsertRequest(long appId, const ReqData& r) {
    Statement dup(m_Db, "SELECT 1 FROM reqs WHERE app_id = ? AND name = ?");
    dup.Bind(1, appId).Bind(2, r.name);
    if (dup.Step()) return "Request " + r.name + " exists already in this application";
    Statement ins(m_Db,
                  "INSERT INTO reqs(app_id, name, ds_id, language, access, script, modified) "
                  "VALUES(?, ?, (SELECT id FROM datasources WHERE name = ?), ?, ?, ?, ?)");
    ins.Bind(1, appId).Bind(2, r.name).Bind(3, r.dataSource).Bind(4, r.language).Bind(5, r.access);
    ins.BindBlob(6, r.script).Bind(7, std::time(nullptr));
    if (!ins.Run()) return "Database failure: " + m_Db.LastError();
    long long reqId = m_Db.LastInsertId();
    long n = 0;
    for (const auto& p : r.params) {
        Statement s(m_Db, "INSERT INTO req_params(req_id, number, name) VALUES(?, ?, ?)");
        s.Bind(1, reqId).Bind(2, n++).Bind(3, p);
        if (!s.Run()) return "Database failure: " + m_Db.LastError();
    }
    n = 0;
    for (const auto& u : r.users) {
        Statement s(m_Db,
                    "INSERT INTO req_users(req_id, user_id, position) VALUES(?, (SELECT id FROM "
                    "users WHERE name = ?), ?)");
        s.Bind(1, reqId).Bind(2, u).Bind(3, n++);
        if (!s.Run()) return "Database failure: " + m_Db.LastError();
    }
    return {};
}

std::string DevServer::ImportRequest(long appId, const std::string& reqName,
                                     std::string_view bytes) {
    Reader r(bytes);
    std::string_view magic;
    if (!r.Line(magic) || magic != kReqMagic)
        return "Not a request file (it must begin with QUORVEL-REQUEST 1)";
    ReqData data;
    std::string why = ReadRequest(r, data);
    if (!why.empty()) return "Bad request file: " + why;
    if (!r.AtEnd()) return "Bad request file: text after the end line";
    data.name = reqName;  // the file's name decides, as the studio checks it
    why = CheckRequestData(data);
    if (!why.empty()) return why;
    Transaction tx(m_Db);
    why = InsertRequest(appId, data);
    if (!why.empty()) return why;
    if (!tx.Commit()) return "Database failure: " + m_Db.LastError();
    return {};
}

std::string DevServer::ImportApplication(const std::string& appName, std::string_view bytes) {
    Reader r(bytes);
    std::string_view magic;
    if (!r.Line(magic) || magic != kAppMagic)
        return "Not an application file (it must begin with QUORVEL-APPLICATION 1)";
    std::string description;
    long timeout = 0;
    std::vector<std::string> users;
    std::vector<ReqData> reqs;
    std::vector<std::vector<std::string>> folders;
    std::vector<std::pair<std::vector<std::string>, std::string>> files;
    std::string key, value;
    bool ended = false;
    while (!ended && r.Field(key, value)) {
        std::vector<std::string> parts;
        if (key == "end")
            ended = true;
        else if (key == "name")
            continue;  // the file's name decides
        else if (key == "description") {
            std::string why = CheckText("Description", value, kDescriptionWidth);
            if (!why.empty()) return why;
            description = value;
        } else if (key == "timeout") {
            if (!ParseNumber(value, 0, 525600, timeout)) return "Bad application file: bad timeout";
        } else if (key == "user")
            users.push_back(value);
        else if (key == "request") {
            ReqData d;
            std::string why = ReadRequest(r, d);
            if (!why.empty()) return "Bad application file: " + why;
            reqs.push_back(std::move(d));
        } else if (key == "folder") {
            std::string why = CheckFolder(value, parts);
            if (!why.empty() || parts.empty())
                return "Bad application file: " + (why.empty() ? "empty folder" : why);
            folders.push_back(parts);
        } else if (key == "file") {
            std::string why = CheckFolder(value, parts);
            if (!why.empty() || parts.empty())
                return "Bad application file: " + (why.empty() ? "empty file name" : why);
            std::string k2, size;
            std::size_t n = 0;
            std::string content;
            if (!r.Field(k2, size) || k2 != "size" || !ParseSize(size, n) || !r.Bytes(n, content))
                return "Bad application file: the file " + value + " is cut short";
            files.emplace_back(parts, std::move(content));
        } else
            return "Bad application file: unknown line " + key;
    }
    if (!ended || !r.AtEnd()) return "Bad application file: no end line";
    {
        Statement dup(m_Db, "SELECT 1 FROM apps WHERE name = ?");
        dup.Bind(1, appName);
        if (dup.Step()) return "Application " + appName + " exists already";
    }
    for (const auto& u : users) {
        Statement s(m_Db, "SELECT type FROM users WHERE name = ?");
        s.Bind(1, u);
        if (!s.Step()) return "Unknown user " + u + " (create it first)";
        if (s.Int(0) != 0) return "User " + u + " is not a Dev user";
    }
    for (const auto& d : reqs) {
        std::string why = CheckRequestData(d);
        if (!why.empty()) return why;
    }
    // The files go to a staging folder first; it becomes the area only with the commit.
    fs::path apps = fs::path(m_Options.root) / "apps";
    unsigned char rnd[8];
    randombytes_buf(rnd, sizeof rnd);
    char tag[24];
    std::snprintf(tag, sizeof tag, ".staging-%02x%02x%02x%02x", rnd[0], rnd[1], rnd[2], rnd[3]);
    fs::path staging = apps / tag;
    std::error_code ec;
    auto cleanup = [&] { fs::remove_all(staging, ec); };
    fs::create_directories(staging / "images", ec);
    fs::create_directories(staging / "data", ec);
    for (const auto& f : folders) {
        fs::path p = staging;
        for (const auto& part : f) p /= part;
        fs::create_directories(p, ec);
    }
    for (const auto& [parts, content] : files) {
        fs::path p = staging;
        for (const auto& part : parts) p /= part;
        fs::create_directories(p.parent_path(), ec);
        if (ec || os::ReplaceFile(p.c_str(), content) != 0) {
            cleanup();
            return "Cannot write the application's files";
        }
    }
    Transaction tx(m_Db);
    Statement ins(m_Db, "INSERT INTO apps(name, description, timeout) VALUES(?, ?, ?)");
    ins.Bind(1, appName).Bind(2, description).Bind(3, timeout);
    if (!ins.Run()) {
        cleanup();
        return "Database failure: " + m_Db.LastError();
    }
    long appId = static_cast<long>(m_Db.LastInsertId());
    long n = 0;
    for (const auto& u : users) {
        Statement s(m_Db,
                    "INSERT INTO app_users(app_id, user_id, position) VALUES(?, (SELECT id FROM "
                    "users WHERE name = ?), ?)");
        s.Bind(1, appId).Bind(2, u).Bind(3, n++);
        if (!s.Run()) {
            cleanup();
            return "Database failure (user " + u + " listed twice?)";
        }
    }
    for (const auto& d : reqs) {
        std::string why = InsertRequest(appId, d);
        if (!why.empty()) {
            cleanup();
            return why;
        }
    }
    // The staging folder becomes the area after the commit (see RecordMove); a folder in
    // its place that no application owned is kept aside then.
    if (!RecordMove("apps/" + staging.filename().string(), "apps/" + appName)) {
        cleanup();
        return "Database failure: " + m_Db.LastError();
    }
    if (!tx.Commit()) {
        cleanup();
        return "Database failure: " + m_Db.LastError();
    }
    FinishMoves();
    TraceApplication(appId, "uploaded as an application file");
    return {};
}

}  // namespace devserver
