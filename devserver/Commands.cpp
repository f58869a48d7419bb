// The administration commands on applications, requests, data sources, users,
// configuration and traces. Every handler except Login, Logout and UserPwd runs under
// m_Lock; every modifying one is one transaction.
#include <sodium.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "devserver/Checks.h"
#include "devserver/Handlers.h"
#include "devserver/Server.h"
#include "platform/os/Files.h"
#include "platform/os/System.h"

namespace fs = std::filesystem;

namespace devserver {

#define QV_ADMIN() \
    if (call.Restricted()) return Refuse(call, "Not allowed")

namespace {
constexpr long kMaxId = 2147483647;
constexpr long kNumberWidth = 20;

std::string Num(long long v) {
    return std::to_string(v);
}
}  // namespace

const DevServer::Command* DevServer::FindCommand(std::string_view name) {
    static const Command kCommands[] = {
        {"server_logout", 0, false, &DevServer::Logout},
        {"GetApps", 0, false, &DevServer::GetApps},
        {"NewApp", 3, false, &DevServer::NewApp},
        {"EditApp", 4, false, &DevServer::EditApp},
        {"DeleteApp", 1, false, &DevServer::DeleteApp},
        {"GetReqs", 1, false, &DevServer::GetReqs},
        {"NewReq", 5, false, &DevServer::NewReq},
        {"EditReq", 6, false, &DevServer::EditReq},
        {"DeleteReq", 1, false, &DevServer::DeleteReq},
        {"GetReqParams", 1, false, &DevServer::GetReqParams},
        {"SetReqParams", 1, true, &DevServer::SetReqParams},
        {"GetReqUsers", 1, false, &DevServer::GetReqUsers},
        {"SetReqUsers", 1, true, &DevServer::SetReqUsers},
        {"GetReqScript", 1, false, &DevServer::GetReqScript},
        {"SetReqScript", 1, true, &DevServer::SetReqScript},
        {"GetDSs", 0, false, &DevServer::GetDSs},
        {"NewDS", 3, false, &DevServer::NewDS},
        {"EditDS", 4, false, &DevServer::EditDS},
        {"DeleteDS", 1, false, &DevServer::DeleteDS},
        {"GetUsers", 0, false, &DevServer::GetUsers},
        {"NewUser", 3, false, &DevServer::NewUser},
        {"EditUser", 4, false, &DevServer::EditUser},
        {"DeleteUser", 1, false, &DevServer::DeleteUser},
        {"GetHtmls", 1, false, &DevServer::GetHtmls},
        {"GetImages", 1, false, &DevServer::GetImages},
        {"GetData", 1, false, &DevServer::GetData},
        {"GetConfig", 0, false, &DevServer::GetConfig},
        {"SetConfig", 4, false, &DevServer::SetConfig},
        {"DownloadFile", 3, false, &DevServer::DownloadFile},
        {"UploadFile", 3, true, &DevServer::UploadFile},
        {"DeleteFile", 3, false, &DevServer::DeleteFile},
        {"RenameFile", 4, false, &DevServer::RenameFile},
        {"GetTrace", 1, false, &DevServer::GetTrace},
        {"CleanTrace", 1, false, &DevServer::CleanTrace},
        {"GetConfigApps", 0, false, &DevServer::GetConfigApps},
        {"UserPwd", 2, false, &DevServer::UserPwd},
        {"DSPwd", 3, false, &DevServer::DSPwd},
        {"GetFiles", 2, false, &DevServer::GetFiles},
        {"GetAppUsers", 1, false, &DevServer::GetAppUsers},
        {"SetAppUsers", 1, true, &DevServer::SetAppUsers},
    };
    for (const auto& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

// ---- lookups

bool DevServer::AppName(long appId, std::string& name) {
    Statement s(m_Db, "SELECT name FROM apps WHERE id = ?");
    s.Bind(1, appId);
    if (!s.Step()) return false;
    name = s.Text(0);
    return true;
}

bool DevServer::MayUseApp(const Call& call, long appId) {
    if (!call.Restricted()) {
        std::string n;
        return AppName(appId, n);
    }
    Statement s(m_Db, "SELECT 1 FROM app_users WHERE app_id = ? AND user_id = ?");
    s.Bind(1, appId).Bind(2, call.userId);
    return s.Step();
}

bool DevServer::ReqApp(long reqId, long& appId) {
    Statement s(m_Db, "SELECT app_id FROM reqs WHERE id = ?");
    s.Bind(1, reqId);
    if (!s.Step()) return false;
    appId = static_cast<long>(s.Int(0));
    return true;
}

long DevServer::UserIdByName(std::string_view name) {
    Statement s(m_Db, "SELECT id FROM users WHERE name = ?");
    s.Bind(1, name);
    return s.Step() ? static_cast<long>(s.Int(0)) : -1;
}

// A restricted session learns nothing about applications it may not use.
#define QV_APP(appId)                                                  \
    if (!MayUseApp(call, appId))                                       \
    return Refuse(call, call.Restricted() ? std::string("Not allowed") \
                                          : "Unknown application " + Num(appId))
#define QV_REQ(reqId, appVar)                                      \
    long appVar = 0;                                               \
    if (!ReqApp(reqId, appVar)) {                                  \
        if (call.Restricted()) return Refuse(call, "Not allowed"); \
        return Refuse(call, "Unknown request " + Num(reqId));      \
    }                                                              \
    QV_APP(appVar)

// ---- tables

Table DevServer::AppsTable(const Call& call) {
    Table t{{50, kNumberWidth, 50, kNumberWidth}, {}};
    Statement s(m_Db,
                call.Restricted()
                    ? "SELECT a.name, a.id, a.description, a.timeout FROM apps a JOIN app_users u "
                      "ON u.app_id = a.id WHERE u.user_id = ? ORDER BY a.id"
                    : "SELECT name, id, description, timeout FROM apps ORDER BY id");
    if (call.Restricted()) s.Bind(1, call.userId);
    while (s.Step()) t.Row({s.Text(0), Num(s.Int(1)), s.Text(2), Num(s.Int(3))});
    return t;
}

Table DevServer::ReqsTable(long appId) {
    Table t{{50, kNumberWidth, kNumberWidth, kNumberWidth, kNumberWidth, kNumberWidth, 30}, {}};
    Statement s(m_Db,
                "SELECT name, id, ds_id, app_id, language, access, modified FROM reqs WHERE app_id "
                "= ? ORDER BY id");
    s.Bind(1, appId);
    while (s.Step())
        t.Row({s.Text(0), Num(s.Int(1)), Num(s.Int(2)), Num(s.Int(3)), Num(s.Int(4)), Num(s.Int(5)),
               DisplayTime(s.Int(6))});
    return t;
}

Table DevServer::ParamsTable(long reqId) {
    Table t{{50, kNumberWidth}, {}};
    Statement s(m_Db,
                "SELECT name, number FROM req_params WHERE req_id = ? ORDER BY number");
    s.Bind(1, reqId);
    while (s.Step()) t.Row({s.Text(0), Num(s.Int(1))});
    return t;
}

Table DevServer::ReqUsersTable(long reqId) {
    Table t{{20, kNumberWidth}, {}};
    Statement s(
        m_Db,
        "SELECT u.name, u.id FROM req_users r JOIN users u ON u.id = r.user_id WHERE r.req_id = ? "
        "ORDER BY r.position");
    s.Bind(1, reqId);
    while (s.Step()) t.Row({s.Text(0), Num(s.Int(1))});
    return t;
}

Table DevServer::AppUsersTable(long appId) {
    Table t{{kNumberWidth, 20, kNumberWidth}, {}};
    Statement s(m_Db,
                "SELECT u.id, u.name, u.type FROM app_users a JOIN users u ON u.id = a.user_id "
                "WHERE a.app_id = ? "
                "ORDER BY a.position");
    s.Bind(1, appId);
    while (s.Step()) t.Row({Num(s.Int(0)), s.Text(1), Num(s.Int(2))});
    return t;
}

Table DevServer::DSsTable() {
    Table t{{50, kNumberWidth, 50, 20, kNumberWidth}, {}};
    Statement s(m_Db,
                "SELECT name, id, description, db_user, connections FROM datasources ORDER BY id");
    while (s.Step()) t.Row({s.Text(0), Num(s.Int(1)), s.Text(2), s.Text(3), Num(s.Int(4))});
    return t;
}

Table DevServer::UsersTable() {
    Table t{{20, 50, kNumberWidth, kNumberWidth}, {}};
    Statement s(m_Db, "SELECT name, description, id, type FROM users ORDER BY id");
    while (s.Step()) t.Row({s.Text(0), s.Text(1), Num(s.Int(2)), Num(s.Int(3))});
    return t;
}

namespace {
// Total and available memory in MB from the kernel's accounting.
void MemoryMb(long long& total, long long& available) {
    total = available = 0;
    std::ifstream in("/proc/meminfo");
    std::string key;
    long long kb;
    std::string unit;
    while (in >> key >> kb >> unit) {
        if (key == "MemTotal:") total = kb / 1024;
        if (key == "MemAvailable:") available = kb / 1024;
    }
}
}  // namespace

Table DevServer::ConfigTable() {
    Table t{std::vector<long>(13, 30), {}};
    long long total, available;
    MemoryMb(total, available);
    char host[64] = "localhost";
    ::gethostname(host, sizeof host - 1);
    long sessions;
    {
        std::lock_guard<std::mutex> g(m_SessionLock);
        sessions = static_cast<long>(m_Sessions.size());
    }
    {
        std::vector<std::pair<long, long>> apps;  // id, time-out
        Statement s(m_Db, "SELECT id, timeout FROM apps");
        while (s.Step())
            apps.emplace_back(static_cast<long>(s.Int(0)), static_cast<long>(s.Int(1)));
        for (const auto& [id, timeout] : apps) sessions += RunSessions(id, timeout);
    }
    os::LocalTime now = os::GetLocalTime();
    char date[16], time[16];
    std::snprintf(date, sizeof date, "%02d/%02d/%04d", now.day, now.month, now.year);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", now.hour, now.minute, now.second);
    t.Row({Num(m_Switches[1]), Num(m_Switches[2]), Num(m_Switches[3]), Num(m_Switches[0]), host,
           Num(sessions), Num(m_Executing.load()), QV_VERSION " devserver", Num(total),
           Num(available), Num(total - available), date, time});
    return t;
}

Table DevServer::ConfigAppsTable(const Call& call) {
    Table apps = AppsTable(call);
    Table t{{50, 50, kNumberWidth, kNumberWidth, kNumberWidth, kNumberWidth}, {}};
    // Now: the live sessions; today, this month and in total: the sessions begun.
    const os::LocalTime now = os::GetLocalTime();
    char day[16], month[16];
    std::snprintf(day, sizeof day, "%04d-%02d-%02d", now.year, now.month, now.day);
    std::snprintf(month, sizeof month, "%04d-%02d", now.year, now.month);
    WriteRunCounts();
    for (auto& r : apps.rows) {
        long id = 0, timeout = 0;
        ParseNumber(r[1], 0, kMaxId, id);
        ParseNumber(r[3], 0, kMaxId, timeout);
        Statement s(m_Db,
                    "SELECT COALESCE(SUM(CASE WHEN day = ? THEN count END), 0), "
                    "COALESCE(SUM(CASE WHEN substr(day, 1, 7) = ? THEN count END), 0), "
                    "COALESCE(SUM(count), 0) FROM run_counts WHERE app_id = ?");
        s.Bind(1, day).Bind(2, month).Bind(3, id);
        s.Step();
        t.Row({r[0], r[2], Num(RunSessions(id, timeout)), Num(s.Int(0)), Num(s.Int(1)),
               Num(s.Int(2))});
    }
    return t;
}

// ---- sessions

bool DevServer::LoginGate::Take(int timeoutMs) {
    std::unique_lock<std::mutex> g(lock);
    if (!free.wait_for(g, std::chrono::milliseconds(timeoutMs), [this] { return !taken; }))
        return false;
    taken = true;
    return true;
}

void DevServer::LoginGate::Give() {
    {
        std::lock_guard<std::mutex> g(lock);
        taken = false;
    }
    free.notify_one();
}

long DevServer::CheckLogin(const std::string& name, std::string_view password, long type,
                           uint32_t peer) {
    const std::shared_ptr<LoginGate> gate = GateFor(peer);
    // An address with a long queue of guesses gets no further ones checked.
    if (gate && !gate->Take(30000)) return -1;
    struct Turn {
        LoginGate* gate;
        ~Turn() {
            if (gate) gate->Give();
        }
    } turn{gate.get()};
    long id = -1, hasType = -1;
    std::string hash;
    {
        std::lock_guard<std::mutex> g(m_Lock);
        Statement s(m_Db, "SELECT id, type, pwhash FROM users WHERE name = ?");
        s.Bind(1, name);
        if (s.Step()) {
            id = static_cast<long>(s.Int(0));
            hasType = static_cast<long>(s.Int(1));
            hash = s.Text(2);
        }
    }
    const bool known = id >= 0 && hasType == type && !hash.empty();
    if (Verify(known ? hash : m_DummyHash, password) && known) return id;
    if (!gate) return -1;
    // The wait grows with the address's failures (at most 64 times the first) and holds
    // its turn, not a lock anybody else needs.
    const long long now = os::SteadyMillis();
    int n = 0;
    {
        std::lock_guard<std::mutex> g(gate->lock);
        if (now - gate->last > 60000) gate->failures = 0;
        gate->last = now;
        n = std::min(++gate->failures, 7);
    }
    for (int wait = m_Options.loginFailureDelayMs << (n - 1); wait > 0 && !m_Listener.Stopped();
         wait -= 50)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(wait, 50)));
    return -1;
}

std::string DevServer::Login(Call& call) {
    if (call.args.size() != 2) {
        call.refusal = "login with a wrong argument count";
        return LoginFailedAnswer();
    }
    const std::string& name = call.args[0];
    call.userName = name.substr(0, kUserNameWidth);
    // Only the administrator and "Dev" users may administer; "Run" users run requests.
    const long id = CheckLogin(name, call.args[1], 0, call.peer);
    if (id < 0) {
        call.refusal = "login failed";
        return LoginFailedAnswer();
    }
    long sid = 0;
    {
        std::lock_guard<std::mutex> g(m_SessionLock);
        // Sessions that were never logged out go once their idle time has passed.
        long long now = os::SteadyMillis();
        for (auto it = m_Sessions.begin(); it != m_Sessions.end();)
            it = now - it->second.lastUse > m_Options.sessionIdleMinutes * 60000ll
                     ? m_Sessions.erase(it)
                     : std::next(it);
        do sid = static_cast<long>(randombytes_uniform(2147483646u)) + 1;
        while (m_Sessions.count(sid));
        Session& s = m_Sessions[sid];
        s.userId = id;
        s.userName = name;
        s.lastUse = os::SteadyMillis();
    }
    call.userId = id;
    return LoginOkAnswer(sid, id);
}

std::string DevServer::Logout(Call& call) {
    std::lock_guard<std::mutex> g(m_SessionLock);
    m_Sessions.erase(call.sessionId);
    return DocumentAnswer("Logout OK!", "text/plain");
}

// ---- applications

std::string DevServer::GetApps(Call& call) {
    KeptAnswer& kept = m_AppsAnswer;
    if (kept.at != m_Changes.load() || kept.userId != call.userId) {
        kept.text = Answer(AppsTable(call));
        kept.at = m_Changes.load();
        kept.userId = call.userId;
    }
    return kept.text;
}

std::string DevServer::NewApp(Call& call) {
    QV_ADMIN();
    QV_CHECK(CheckAppName(call.args[0]));
    QV_CHECK(CheckText("Description", call.args[1], kDescriptionWidth));
    QV_NUMBER(timeout, 2, 0, 525600, "Session time-out");
    Transaction tx(m_Db);
    Statement dup(m_Db, "SELECT 1 FROM apps WHERE name = ?");
    dup.Bind(1, call.args[0]);
    if (dup.Step()) return Refuse(call, "Application " + call.args[0] + " exists already");
    Statement ins(m_Db, "INSERT INTO apps(name, description, timeout) VALUES(?, ?, ?)");
    ins.Bind(1, call.args[0]).Bind(2, call.args[1]).Bind(3, timeout);
    if (!ins.Run()) return Refuse(call, "Database failure: " + m_Db.LastError());
    fs::path area = AppArea(call.args[0]);
    std::error_code ec;
    if (fs::exists(area, ec)) {
        fs::path lost = fs::path(m_Options.root) / "orphans";
        fs::create_directories(lost, ec);
        fs::rename(area, lost / (call.args[0] + "." + Num(std::time(nullptr))), ec);
    }
    fs::create_directories(area / "images", ec);
    fs::create_directories(area / "data", ec);
    if (ec || !tx.Commit()) {
        fs::remove_all(area, ec);
        return Refuse(call, "Cannot create the application's folders");
    }
    TraceApplication(static_cast<long>(m_Db.LastInsertId()), "created");
    return Answer(AppsTable(call));
}

std::string DevServer::EditApp(Call& call) {
    QV_CHECK(CheckAppName(call.args[0]));
    QV_NUMBER(id, 1, 1, kMaxId, "Application id");
    QV_CHECK(CheckText("Description", call.args[2], kDescriptionWidth));
    QV_NUMBER(timeout, 3, 0, 525600, "Session time-out");
    QV_APP(id);
    std::string old;
    AppName(id, old);
    Transaction tx(m_Db);
    if (old != call.args[0]) {
        Statement dup(m_Db, "SELECT 1 FROM apps WHERE name = ?");
        dup.Bind(1, call.args[0]);
        if (dup.Step()) return Refuse(call, "Application " + call.args[0] + " exists already");
    }
    Statement up(m_Db,
                 "UPDATE apps SET name = ?, description = ?, timeout = ? WHERE id = ?");
    up.Bind(1, call.args[0]).Bind(2, call.args[2]).Bind(3, timeout).Bind(4, id);
    if (!up.Run()) return Refuse(call, "Database failure: " + m_Db.LastError());
    std::error_code ec;
    // The folder moves after the commit (see RecordMove). An old name that cannot be a
    // folder has none to move: the new name gets a fresh area.
    const bool move = old != call.args[0] && !AppArea(old).empty();
    if (move && !RecordMove("apps/" + old, "apps/" + call.args[0]))
        return Refuse(call, "Database failure: " + m_Db.LastError());
    if (!tx.Commit()) return Refuse(call, "Database failure: " + m_Db.LastError());
    if (move) FinishMoves();
    fs::create_directories(fs::path(AppArea(call.args[0])) / "images", ec);
    fs::create_directories(fs::path(AppArea(call.args[0])) / "data", ec);
    TraceApplication(id, "settings changed");
    return Answer(AppsTable(call));
}

std::string DevServer::DeleteApp(Call& call) {
    QV_ADMIN();
    QV_NUMBER(id, 0, 1, kMaxId, "Application id");
    std::string name;
    if (!AppName(id, name)) return Refuse(call, "Unknown application " + Num(id));
    Transaction tx(m_Db);
    Statement del(m_Db, "DELETE FROM apps WHERE id = ?");
    del.Bind(1, id);
    if (!del.Run()) return Refuse(call, "Database failure: " + m_Db.LastError());
    // The folder goes to the trash after the commit (see RecordMove), and is emptied then.
    const std::string trash = "trash/" + Num(id);
    const bool move = !AppArea(name).empty();
    if (move && !RecordMove("apps/" + name, trash))
        return Refuse(call, "Database failure: " + m_Db.LastError());
    if (!tx.Commit()) return Refuse(call, "Database failure: " + m_Db.LastError());
    std::error_code ec;
    if (move) FinishMoves();
    fs::remove_all(fs::path(m_Options.root) / trash, ec);
    // Traced once it happened: a refused or failed delete leaves no "deleted" behind.
    TraceApplicationLine(name, "deleted");
    return Answer(AppsTable(call));
}

std::string DevServer::GetAppUsers(Call& call) {
    QV_NUMBER(id, 0, 1, kMaxId, "Application id");
    QV_APP(id);
    return Answer(AppUsersTable(id));
}

// The users of an application (Dev, type 0) or of a request (Run, type 1) replaced by the
// sent table, in its order, inside the caller's transaction. False with the refusal.
bool DevServer::ReplaceUsers(Call& call, long id, const char* table, const char* owner, int type,
                             std::string* refusal) {
    std::vector<std::vector<std::string>> rows;
    if (!ParseSentTable(call.body, rows)) {
        *refusal = Refuse(call, "The user table cannot be read");
        return false;
    }
    const std::string t(table), o(owner);
    Statement del(m_Db, ("DELETE FROM " + t + " WHERE " + o + " = ?").c_str());
    del.Bind(1, id);
    if (!del.Run()) {
        *refusal = Refuse(call, "Database failure: " + m_Db.LastError());
        return false;
    }
    std::set<long> seen;
    long position = 0;
    for (const auto& row : rows) {
        long uid = 0;
        std::string why;
        if (row.empty() || !ParseNumber(row[0], 0, kMaxId, uid)) {
            why = "A user id is not a number";
        } else if (!seen.insert(uid).second) {
            why = "User " + Num(uid) + " is listed twice";
        } else {
            Statement u(m_Db, "SELECT type FROM users WHERE id = ?");
            u.Bind(1, uid);
            if (!u.Step())
                why = "Unknown user " + Num(uid);
            else if (u.Int(0) != type)
                why =
                    "User " + Num(uid) + (type == 0 ? " is not a Dev user" : " is not a Run user");
        }
        if (why.empty()) {
            Statement ins(
                m_Db,
                ("INSERT INTO " + t + "(" + o + ", user_id, position) VALUES(?, ?, ?)").c_str());
            ins.Bind(1, id).Bind(2, uid).Bind(3, position++);
            if (!ins.Run()) why = "Database failure: " + m_Db.LastError();
        }
        if (!why.empty()) {
            *refusal = Refuse(call, why);
            return false;
        }
    }
    return true;
}

std::string DevServer::SetAppUsers(Call& call) {
    QV_ADMIN();
    QV_NUMBER(id, 0, 1, kMaxId, "Application id");
    QV_APP(id);
    Transaction tx(m_Db);
    std::string refusal;
    if (!ReplaceUsers(call, id, "app_users", "app_id", 0, &refusal)) return refusal;
    if (!tx.Commit()) return Refuse(call, "Database failure: " + m_Db.LastError());
    TraceApplication(id, "users changed");
    return Answer(AppUsersTable(id));
}

// ---- requests

std::string DevServer::GetReqs(Call& call) {
    QV_NUMBER(id, 0, 1, kMaxId, "Application id");
    QV_APP(id);
    return Answer(ReqsTable(id));
}

namespace {
std::string CheckReqFields(long ds, long language, long access, Db& db) {
    Statement s(db, "SELECT 1 FROM datasources WHERE id = ?");
    s.Bind(1, ds);
    if (!s.Step()) return "Unknown data source " + std::to_string(ds);
    if (language != 1 && language != 2) return "Language must be 1 (SQL) or 2 (JAVA)";
    if (access != 0 && access != 1) return "Access must be 0 (public) or 1 (private)";
    return {};
}
}  // namespace

std::string DevServer::NewReq(Call& call) {
    QV_CHECK(CheckName("Request name", call.args[0], kNameWidth));
    QV_NUMBER(ds, 1, 0, kMaxId, "Data source id");
    QV_NUMBER(app, 2, 1, kMaxId, "Application id");
    QV_NUMBER(language, 3, 0, 99, "Language");
    QV_NUMBER(access, 4, 0, 99, "Access");
    QV_APP(app);
    QV_CHECK(CheckReqFields(ds, language, access, m_Db));
    Transaction tx(m_Db);
    Statement dup(m_Db, "SELECT 1 FROM reqs WHERE app_id = ? AND name = ?");
    dup.Bind(1, app).Bind(2, call.args[0]);
    if (dup.Step())
        return Refuse(call, "Request " + call.args[0] + " exists already in this application");
    Statement ins(m_Db,
                  "INSERT INTO reqs(app_id, name, ds_id, language, access, modified) VALUES(?, ?, "
                  "?, ?, ?, ?)");
    ins.Bind(1, app)
        .Bind(2, call.args[0])
        .Bind(3, ds)
        .Bind(4, language)
        .Bind(5, access)
        .Bind(6, std::time(nullptr));
    if (!ins.Run() || !tx.Commit()) return Refuse(call, "Database failure: " + m_Db.LastError());
    TraceApplication(app, "request " + call.args[0] + " created");
    return Answer(ReqsTable(app));
}

std::string DevServer::EditReq(Call& call) {
    QV_CHECK(CheckName("Request name", call.args[0], kNameWidth));
    QV_NUMBER(id, 1, 1, kMaxId, "Request id");
    QV_NUMBER(ds, 2, 0, kMaxId, "Data source id");
    QV_NUMBER(app, 3, 1, kMaxId, "Application id");
    QV_NUMBER(language, 4, 0, 99, "Language");
    QV_NUMBER(access, 5, 0, 99, "Access");
    QV_REQ(id, owner);
    if (owner != app) return Refuse(call, "A request cannot move to another application");
    QV_CHECK(CheckReqFields(ds, language, access, m_Db));
    Transaction tx(m_Db);
    Statement dup(m_Db, "SELECT 1 FROM reqs WHERE app_id = ? AND name = ? AND id <> ?");
    dup.Bind(1, app).Bind(2, call.args[0]).Bind(3, id);
    if (dup.Step())
        return Refuse(call, "Request " + call.args[0] + " exists already in this application");
    Statement up(
        m_Db,
        "UPDATE reqs SET name = ?, ds_id = ?, language = ?, access = ?, modified = ? WHERE id = ?");
    up.Bind(1, call.args[0])
        .Bind(2, ds)
        .Bind(3, language)
        .Bind(4, access)
        .Bind(5, std::time(nullptr))
        .Bind(6, id);
    if (!up.Run() || !tx.Commit()) return Refuse(call, "Database failure: " + m_Db.LastError());
    TraceApplication(app, "request " + call.args[0] + " changed");
    return Answer(ReqsTable(app));
}

std::string DevServer::DeleteReq(Call& call) {
    QV_NUMBER(id, 0, 1, kMaxId, "Request id");
    QV_REQ(id, app);
    Transaction tx(m_Db);
    Statement del(m_Db, "DELETE FROM reqs WHERE id = ?");
    del.Bind(1, id);
    if (!del.Run() || !tx.Commit()) return Refuse(call, "Database failure: " + m_Db.LastError());
    TraceApplication(app, "request " + Num(id) + " deleted");
    return Answer(ReqsTable(app));
}

std::string DevServer::GetReqParams(Call& call) {
    QV_NUMBER(id, 0, 1, kMaxId, "Request id");
    QV_REQ(id, app);
    return Answer(ParamsTable(id));
}

std::string DevServer::SetReqParams(Call& call) {
    QV_NUMBER(id, 0, 1, kMaxId, "Request id");
    QV_REQ(id, app);
    std::vector<std::vector<std::string>> rows;
    if (!ParseSentTable(call.body, rows)) return Refuse(call, "The parameter table cannot be read");
    std::set<std::string> names;
    for (const auto& row : rows) {
        if (row.empty()) return Refuse(call, "A parameter row has no name");
        QV_CHECK(CheckName("Parameter name", row[0], kNameWidth));
        if (!names.insert(row[0]).second)
            return Refuse(call, "Parameter " + row[0] + " is listed twice");
    }
    Transaction tx(m_Db);
    Statement del(m_Db, "DELETE FROM req_params WHERE req_id = ?");
    del.Bind(1, id);
    bool ok = del.Run();
    long number = 0;  // saving renumbers the parameters in the order they were sent
    for (const auto& row : rows) {
        Statement ins(m_Db,
                      "INSERT INTO req_params(req_id, number, name) VALUES(?, ?, ?)");
        ins.Bind(1, id).Bind(2, number++).Bind(3, row[0]);
        ok = ok && ins.Run();
    }
    Statement touch(m_Db, "UPDATE reqs SET modified = ? WHERE id = ?");
    touch.Bind(1, std::time(nullptr)).Bind(2, id);
    if (!ok || !touch.Run() || !tx.Commit())
        return Refuse(call, "Database failure: " + m_Db.LastError());
    return Answer(ParamsTable(id));
}

std::string DevServer::GetReqUsers(Call& call) {
    QV_NUMBER(id, 0, 1, kMaxId, "Request id");
    QV_REQ(id, app);
    return Answer(ReqUsersTable(id));
}

std::string DevServer::SetReqUsers(Call& call) {
    QV_NUMBER(id, 0, 1, kMaxId, "Request id");
    QV_REQ(id, app);
    Transaction tx(m_Db);
    std::string refusal;
    if (!ReplaceUsers(call, id, "req_users", "req_id", 1, &refusal)) return refusal;
    Statement touch(m_Db, "UPDATE reqs SET modified = ? WHERE id = ?");
    touch.Bind(1, std::time(nullptr)).Bind(2, id);
    if (!touch.Run() || !tx.Commit()) return Refuse(call, "Database failure: " + m_Db.LastError());
    return Answer(ReqUsersTable(id));
}

std::string DevServer::GetReqScript(Call& call) {
    QV_NUMBER(id, 0, 1, kMaxId, "Request id");
    QV_REQ(id, app);
    Statement s(m_Db, "SELECT script FROM reqs WHERE id = ?");
    s.Bind(1, id);
    s.Step();
    return DocumentAnswer(s.Blob(0), "text/plain");
}

std::string DevServer::SetReqScript(Call& call) {
    QV_NUMBER(id, 0, 1, kMaxId, "Request id");
    QV_REQ(id, app);
    Transaction tx(m_Db);
    Statement up(m_Db, "UPDATE reqs SET script = ?, modified = ? WHERE id = ?");
    up.BindBlob(1, call.body).Bind(2, std::time(nullptr)).Bind(3, id);
    if (!up.Run() || !tx.Commit()) return Refuse(call, "Database failure: " + m_Db.LastError());
    TraceApplication(app, "script of request " + Num(id) + " saved");
    return DocumentAnswer("Script saved", "text/plain");
}

// ---- data sources

std::string DevServer::GetDSs(Call&) {
    return Answer(DSsTable());
}

std::string DevServer::NewDS(Call& call) {
    QV_ADMIN();
    QV_CHECK(CheckName("Data source name", call.args[0], kNameWidth));
    QV_CHECK(CheckText("Description", call.args[1], kDescriptionWidth));
    QV_NUMBER(conns, 2, 0, 10000, "Connections");
    Transaction tx(m_Db);
    Statement dup(m_Db, "SELECT 1 FROM datasources WHERE name = ?");
    dup.Bind(1, call.args[0]);
    if (dup.Step()) return Refuse(call, "Data source " + call.args[0] + " exists already");
    Statement ins(m_Db,
                  "INSERT INTO datasources(name, description, connections) VALUES(?, ?, ?)");
    ins.Bind(1, call.args[0]).Bind(2, call.args[1]).Bind(3, conns);
    if (!ins.Run() || !tx.Commit()) return Refuse(call, "Database failure: " + m_Db.LastError());
    return Answer(DSsTable());
}

std::string DevServer::EditDS(Call& call) {
    QV_ADMIN();
    QV_CHECK(CheckName("Data source name", call.args[0], kNameWidth));
    QV_NUMBER(id, 1, 0, kMaxId, "Data source id");
    QV_CHECK(CheckText("Description", call.args[2], kDescriptionWidth));
    QV_NUMBER(conns, 3, 0, 10000, "Connections");
    if (id == 0) return Refuse(call, "The data source (none) cannot be changed");
    Transaction tx(m_Db);
    Statement ex(m_Db, "SELECT 1 FROM datasources WHERE id = ?");
    ex.Bind(1, id);
    if (!ex.Step()) return Refuse(call, "Unknown data source " + Num(id));
    Statement dup(m_Db, "SELECT 1 FROM datasources WHERE name = ? AND id <> ?");
    dup.Bind(1, call.args[0]).Bind(2, id);
    if (dup.Step()) return Refuse(call, "Data source " + call.args[0] + " exists already");
    Statement up(m_Db,
                 "UPDATE datasources SET name = ?, description = ?, connections = ? WHERE id = ?");
    up.Bind(1, call.args[0]).Bind(2, call.args[2]).Bind(3, conns).Bind(4, id);
    if (!up.Run() || !tx.Commit()) return Refuse(call, "Database failure: " + m_Db.LastError());
    return Answer(DSsTable());
}

std::string DevServer::DeleteDS(Call& call) {
    QV_ADMIN();
    QV_NUMBER(id, 0, 0, kMaxId, "Data source id");
    if (id == 0) return Refuse(call, "The data source (none) cannot be deleted");
    Transaction tx(m_Db);
    Statement ex(m_Db, "SELECT 1 FROM datasources WHERE id = ?");
    ex.Bind(1, id);
    if (!ex.Step()) return Refuse(call, "Unknown data source " + Num(id));
    Statement used(m_Db, "SELECT COUNT(*) FROM reqs WHERE ds_id = ?");
    used.Bind(1, id);
    used.Step();
    if (used.Int(0) > 0)
        return Refuse(call, "The data source is used by " + Num(used.Int(0)) + " request(s)");
    Statement del(m_Db, "DELETE FROM datasources WHERE id = ?");
    del.Bind(1, id);
    if (!del.Run() || !tx.Commit()) return Refuse(call, "Database failure: " + m_Db.LastError());
    return Answer(DSsTable());
}

std::string DevServer::DSPwd(Call& call) {
    QV_ADMIN();
    QV_NUMBER(id, 0, 0, kMaxId, "Data source id");
    QV_CHECK(CheckText("Database user name", call.args[1], kUserNameWidth));
    if (call.args[2].size() > kPasswordWidth)
        return Refuse(call, "Database password is longer than 20 characters");
    for (unsigned char ch : call.args[2])
        if (ch < 0x20 || ch == 0x7f)
            return Refuse(call, "Database password holds a control character");
    if (id == 0) return Refuse(call, "The data source (none) cannot be changed");
    Transaction tx(m_Db);
    Statement up(m_Db, "UPDATE datasources SET db_user = ?, db_password = ? WHERE id = ?");
    up.Bind(1, call.args[1]).Bind(2, call.args[2]).Bind(3, id);
    if (!up.Run()) return Refuse(call, "Database failure: " + m_Db.LastError());
    if (sqlite3_changes(m_Db.Handle()) == 0) return Refuse(call, "Unknown data source " + Num(id));
    if (!tx.Commit()) return Refuse(call, "Database failure: " + m_Db.LastError());
    return Answer(DSsTable());
}

// ---- users

std::string DevServer::GetUsers(Call&) {
    return Answer(UsersTable());
}

std::string DevServer::NewUser(Call& call) {
    QV_ADMIN();
    QV_CHECK(CheckName("User name", call.args[0], kUserNameWidth));
    QV_CHECK(CheckText("Description", call.args[1], kDescriptionWidth));
    QV_NUMBER(type, 2, 0, 1, "User type");
    Transaction tx(m_Db);
    if (UserIdByName(call.args[0]) >= 0)
        return Refuse(call, "User " + call.args[0] + " exists already");
    // No password yet: the user cannot log in until UserPwd gives one.
    Statement ins(m_Db, "INSERT INTO users(name, description, type) VALUES(?, ?, ?)");
    ins.Bind(1, call.args[0]).Bind(2, call.args[1]).Bind(3, type);
    if (!ins.Run() || !tx.Commit()) return Refuse(call, "Database failure: " + m_Db.LastError());
    return Answer(UsersTable());
}

std::string DevServer::EditUser(Call& call) {
    QV_ADMIN();
    QV_CHECK(CheckName("User name", call.args[0], kUserNameWidth));
    QV_CHECK(CheckText("Description", call.args[1], kDescriptionWidth));
    QV_NUMBER(id, 2, 0, kMaxId, "User id");
    QV_NUMBER(type, 3, 0, 1, "User type");
    if (id == 0 && type != 0) return Refuse(call, "The administrator stays a Dev user");
    Transaction tx(m_Db);
    Statement old(m_Db, "SELECT type FROM users WHERE id = ?");
    old.Bind(1, id);
    if (!old.Step()) return Refuse(call, "Unknown user " + Num(id));
    long oldType = static_cast<long>(old.Int(0));
    long other = UserIdByName(call.args[0]);
    if (other >= 0 && other != id) return Refuse(call, "User " + call.args[0] + " exists already");
    Statement up(m_Db,
                 "UPDATE users SET name = ?, description = ?, type = ? WHERE id = ?");
    up.Bind(1, call.args[0]).Bind(2, call.args[1]).Bind(3, type).Bind(4, id);
    bool ok = up.Run();
    if (oldType != type) {
        // Grants belong to a type: application users are Dev users, request users Run users.
        Statement g(m_Db, type == 1 ? "DELETE FROM app_users WHERE user_id = ?"
                                             : "DELETE FROM req_users WHERE user_id = ?");
        g.Bind(1, id);
        ok = ok && g.Run();
    }
    if (!ok || !tx.Commit()) return Refuse(call, "Database failure: " + m_Db.LastError());
    if (oldType != type) EndSessions(id);
    {
        std::lock_guard<std::mutex> g(m_SessionLock);
        for (auto& [sid, s] : m_Sessions)
            if (s.userId == id) s.userName = call.args[0];
    }
    return Answer(UsersTable());
}

std::string DevServer::DeleteUser(Call& call) {
    QV_ADMIN();
    QV_NUMBER(id, 0, 0, kMaxId, "User id");
    if (id == 0) return Refuse(call, "The administrator cannot be deleted");
    Transaction tx(m_Db);
    Statement del(m_Db, "DELETE FROM users WHERE id = ?");
    del.Bind(1, id);
    if (!del.Run()) return Refuse(call, "Database failure: " + m_Db.LastError());
    if (sqlite3_changes(m_Db.Handle()) == 0) return Refuse(call, "Unknown user " + Num(id));
    if (!tx.Commit()) return Refuse(call, "Database failure: " + m_Db.LastError());
    EndSessions(id);
    return Answer(UsersTable());
}

std::string DevServer::UserPwd(Call& call) {
    long id = 0;
    if (!ParseNumber(call.args[1], 0, kMaxId, id)) return Refuse(call, "User id is not a number");
    if (call.Restricted() && id != call.userId) return Refuse(call, "Not allowed");
    QV_CHECK(CheckPassword("Password", call.args[0], kPasswordWidth));
    std::string hash = Hash(call.args[0]);  // slow on purpose; outside the lock
    if (hash.empty()) return Refuse(call, "Cannot hash the password");
    std::lock_guard<std::mutex> g(m_Lock);
    Transaction tx(m_Db);
    Statement up(m_Db, "UPDATE users SET pwhash = ? WHERE id = ?");
    up.Bind(1, hash).Bind(2, id);
    if (!up.Run()) return Refuse(call, "Database failure: " + m_Db.LastError());
    if (sqlite3_changes(m_Db.Handle()) == 0) return Refuse(call, "Unknown user " + Num(id));
    if (!tx.Commit()) return Refuse(call, "Database failure: " + m_Db.LastError());
    // Whoever knew the old password is out; the session that changed it stays.
    EndSessions(id, call.sessionId);
    return Answer(UsersTable());
}

void DevServer::EndSessions(long userId, long keep) {
    std::lock_guard<std::mutex> g(m_SessionLock);
    for (auto it = m_Sessions.begin(); it != m_Sessions.end();)
        it =
            it->second.userId == userId && it->first != keep ? m_Sessions.erase(it) : std::next(it);
    // Its browsers' logins too: a changed password or type, or a deleted user, logs them out.
    m_RunSessions.EraseUser(userId);
}

// ---- configuration and traces

std::string DevServer::GetConfig(Call&) {
    return Answer(ConfigTable());
}

std::string DevServer::SetConfig(Call& call) {
    QV_ADMIN();
    static const char* kKeys[4] = {"java_reload", "trace_system", "trace_application", "trace_run"};
    for (const auto& a : call.args)
        if (a != "0" && a != "1") return Refuse(call, "Every switch must be 1 or 0");
    Transaction tx(m_Db);
    bool ok = true;
    for (int i = 0; i < 4; ++i) {
        Statement s(m_Db, "INSERT OR REPLACE INTO config(key, value) VALUES(?, ?)");
        s.Bind(1, kKeys[i]).Bind(2, call.args[i]);
        ok = ok && s.Run();
    }
    if (!ok || !tx.Commit()) return Refuse(call, "Database failure: " + m_Db.LastError());
    LoadSwitches();
    return Answer(ConfigTable());
}

std::string DevServer::GetConfigApps(Call& call) {
    return Answer(ConfigAppsTable(call));
}

std::string DevServer::GetTrace(Call& call) {
    QV_ADMIN();
    QV_NUMBER(kind, 0, 1, 4, "Trace kind");
    std::string text;
    os::ReadWholeFile(Trace(static_cast<int>(kind)).GetFileName(), text);
    return DocumentAnswer(text, "text/plain");
}

std::string DevServer::CleanTrace(Call& call) {
    QV_ADMIN();
    QV_NUMBER(kind, 0, 0, 4, "Trace kind");
    for (int k = 1; k <= 4; ++k)
        if (kind == 0 || kind == k) Trace(k).Clean();
    return DocumentAnswer("Trace cleaned", "text/plain");
}

}  // namespace devserver
