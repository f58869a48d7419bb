// Start-up, the connection loop and the reading of one DEV request.
#include "devserver/Server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sodium.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <semaphore>
#include <thread>

#include "common/Lists.h"
#include "devserver/Checks.h"
#include "devserver/Framing.h"
#include "platform/os/Files.h"
#include "platform/os/System.h"
#include "webproc/HttpProcessor.h"

namespace fs = std::filesystem;

namespace devserver {

namespace {

// Argon2id with the interactive limits takes tens of megabytes per hash; two at a
// time keep a burst of logins from exhausting memory.
std::counting_semaphore<2> g_HashSlots(2);

const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS apps(
  id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL UNIQUE,
  description TEXT NOT NULL, timeout INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS users(
  id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL UNIQUE,
  description TEXT NOT NULL, type INTEGER NOT NULL, pwhash TEXT NOT NULL DEFAULT '');
CREATE TABLE IF NOT EXISTS datasources(
  id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL UNIQUE,
  description TEXT NOT NULL, connections INTEGER NOT NULL,
  db_user TEXT NOT NULL DEFAULT '', db_password TEXT NOT NULL DEFAULT '');
CREATE TABLE IF NOT EXISTS app_users(
  app_id INTEGER NOT NULL REFERENCES apps(id) ON DELETE CASCADE,
  user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  position INTEGER NOT NULL, PRIMARY KEY(app_id, user_id));
CREATE TABLE IF NOT EXISTS reqs(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  app_id INTEGER NOT NULL REFERENCES apps(id) ON DELETE CASCADE,
  name TEXT NOT NULL, ds_id INTEGER NOT NULL REFERENCES datasources(id),
  language INTEGER NOT NULL, access INTEGER NOT NULL,
  script BLOB NOT NULL DEFAULT x'', modified INTEGER NOT NULL, UNIQUE(app_id, name));
CREATE TABLE IF NOT EXISTS req_params(
  req_id INTEGER NOT NULL REFERENCES reqs(id) ON DELETE CASCADE,
  number INTEGER NOT NULL, name TEXT NOT NULL, PRIMARY KEY(req_id, number));
CREATE TABLE IF NOT EXISTS req_users(
  req_id INTEGER NOT NULL REFERENCES reqs(id) ON DELETE CASCADE,
  user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  position INTEGER NOT NULL, PRIMARY KEY(req_id, user_id));
CREATE TABLE IF NOT EXISTS config(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS run_counts(
  app_id INTEGER NOT NULL REFERENCES apps(id) ON DELETE CASCADE,
  day TEXT NOT NULL, count INTEGER NOT NULL, PRIMARY KEY(app_id, day));
CREATE TABLE IF NOT EXISTS moves(
  id INTEGER PRIMARY KEY AUTOINCREMENT, from_path TEXT NOT NULL, to_path TEXT NOT NULL);
)sql";

const char* kSwitchKeys[4] = {"java_reload", "trace_system", "trace_application", "trace_run"};
const char* kTraceFiles[4] = {"Start.trc", "System.trc", "Application.trc", "Run.trc"};

std::string RandomPassword() {
    static const char kAlphabet[] = "abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    std::string p;
    for (int i = 0; i < 16; ++i) p += kAlphabet[randombytes_uniform(sizeof kAlphabet - 1)];
    return p;
}

}  // namespace

DevServer::DevServer() {
    for (auto& t : m_Traces) t = std::make_unique<TraceFile>();
    for (auto& s : m_Switches) s = 0;
}

DevServer::~DevServer() {
    if (m_LockFd >= 0) ::close(m_LockFd);
}

std::string DevServer::AppArea(const std::string& appName) const {
    // A name that an older database holds and that would leave apps/ has no area.
    if (!CheckAppName(appName).empty()) return {};
    return os::JoinPath({m_Options.root, "apps", appName});
}

std::string DevServer::Hash(std::string_view password) {
    char out[crypto_pwhash_STRBYTES];
    unsigned long long ops =
        m_Options.fastHash ? crypto_pwhash_OPSLIMIT_MIN : crypto_pwhash_OPSLIMIT_INTERACTIVE;
    std::size_t mem =
        m_Options.fastHash ? crypto_pwhash_MEMLIMIT_MIN : crypto_pwhash_MEMLIMIT_INTERACTIVE;
    g_HashSlots.acquire();
    int rc = crypto_pwhash_str_alg(out, password.data(), password.size(), ops, mem,
                                   crypto_pwhash_ALG_ARGON2ID13);
    g_HashSlots.release();
    return rc == 0 ? std::string(out) : std::string();
}

bool DevServer::Verify(const std::string& hash, std::string_view password) {
    if (hash.empty()) return false;
    g_HashSlots.acquire();
    bool ok = crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
    g_HashSlots.release();
    return ok;
}

int DevServer::CreateSchema(std::string& error) {
    if (!m_Db.Exec(kSchema)) {
        error = "cannot create the schema: " + m_Db.LastError();
        return -1;
    }
    return 0;
}

int DevServer::CreateAdministrator(std::string& error, std::string& generatedPassword) {
    Statement count(m_Db, "SELECT COUNT(*) FROM users WHERE id = 0");
    if (!count.Step()) {
        error = m_Db.LastError();
        return -1;
    }
    bool exists = count.Int(0) > 0;
    std::string password;
    bool given = false;
    if (!m_Options.adminPasswordFile.empty()) {
        if (os::ReadWholeFile(m_Options.adminPasswordFile.c_str(), password) != 0) {
            error = "cannot read the administrator password file";
            return -1;
        }
        std::size_t eol = password.find_first_of("\r\n");
        if (eol != std::string::npos) password.resize(eol);
        given = true;
    } else if (const char* env = std::getenv("QUORVEL_ADMIN_PASSWORD")) {
        password = env;
        given = true;
    }
    if (exists) return 0;  // the administrator keeps the password set on the first start
    if (given) {
        std::string why = CheckPassword("The administrator password", password, kPasswordWidth);
        if (why.empty() && password.find_first_of(",)") != std::string::npos)
            why = "The administrator password holds , or ) which no login can send";
        if (!why.empty()) {
            error = why;
            return -1;
        }
    } else {
        password = RandomPassword();
        generatedPassword = password;
    }
    std::string hash = Hash(password);
    Transaction tx(m_Db);
    Statement admin(m_Db,
                    "INSERT INTO users(id, name, description, type, pwhash) VALUES(0, 'admin', "
                    "'Administrator', 0, ?)");
    admin.Bind(1, hash);
    Statement none(
        m_Db,
        "INSERT OR IGNORE INTO datasources(id, name, description, connections) VALUES(0, "
        "'(none)', 'No data source', 0)");
    bool ok = !hash.empty() && admin.Run() && none.Run();
    for (int i = 0; ok && i < 4; ++i) {
        Statement s(m_Db, "INSERT OR IGNORE INTO config(key, value) VALUES(?, ?)");
        s.Bind(1, kSwitchKeys[i]).Bind(2, i == 0 ? "0" : "1");
        ok = s.Run();
    }
    if (!ok || !tx.Commit()) {
        error = "cannot create the administrator: " + m_Db.LastError();
        return -1;
    }
    return 0;
}

void DevServer::LoadSwitches() {
    for (int i = 0; i < 4; ++i) {
        Statement s(m_Db, "SELECT value FROM config WHERE key = ?");
        s.Bind(1, kSwitchKeys[i]);
        m_Switches[i] = s.Step() && s.Text(0) == "1" ? 1 : 0;
    }
}

bool DevServer::RecordMove(const std::string& from, const std::string& to) {
    Statement s(m_Db, "INSERT INTO moves(from_path, to_path) VALUES(?, ?)");
    s.Bind(1, from).Bind(2, to);
    return s.Run();
}

void DevServer::FinishMoves(bool atStart) {
    // For the crash tests: dies where a crash hurts most, between a commit and its move.
    if (!atStart && std::getenv("QUORVEL_DEVSERVER_EXIT_BEFORE_MOVE")) std::_Exit(9);
    struct Move {
        long long id;
        fs::path from, to;
    };
    std::vector<Move> moves;
    {
        Statement s(m_Db, "SELECT id, from_path, to_path FROM moves ORDER BY id");
        while (s.Step())
            moves.push_back({s.Int(0), fs::path(m_Options.root) / s.Text(1),
                             fs::path(m_Options.root) / s.Text(2)});
    }
    std::error_code ec;
    for (const auto& m : moves) {
        // Gone: done already. Otherwise whatever holds the target's place is kept aside.
        if (fs::exists(fs::symlink_status(m.from, ec))) {
            if (fs::exists(fs::symlink_status(m.to, ec))) {
                fs::path lost = fs::path(m_Options.root) / "orphans";
                fs::create_directories(lost, ec);
                fs::rename(
                    m.to,
                    lost / (m.to.filename().string() + "." + std::to_string(std::time(nullptr))),
                    ec);
            }
            fs::create_directories(m.to.parent_path(), ec);
            fs::rename(m.from, m.to, ec);
            if (ec) continue;  // kept, and tried again at the next start
        }
        Statement d(m_Db, "DELETE FROM moves WHERE id = ?");
        d.Bind(1, m.id);
        d.Run();
    }
}

// Makes the file areas agree with the database after a crash: the moves committed but
// not done are done first; every application has its folders; a folder no application
// owns is moved aside (never deleted); the leftovers of interrupted deletes and imports go.
void DevServer::Reconcile() {
    FinishMoves(true);
    std::error_code ec;
    fs::path apps = fs::path(m_Options.root) / "apps";
    fs::remove_all(fs::path(m_Options.root) / "trash", ec);
    fs::create_directories(fs::path(m_Options.root) / "trash", ec);
    std::vector<std::string> names;
    {
        Statement s(m_Db, "SELECT name FROM apps");
        while (s.Step()) names.push_back(s.Text(0));
    }
    // The folders an application's name leads to, also where the name is no longer a
    // folder name ("team/site" owns apps/team): what an older database holds stays put.
    std::vector<std::string> owned;
    for (const auto& n : names) owned.push_back(n.substr(0, n.find_first_of("/\\")));
    fs::remove_all(fs::path(m_Options.root) / "uploads", ec);  // a crash's half-received files
    fs::create_directories(fs::path(m_Options.root) / "uploads", ec);
    for (const auto& n : names) {
        if (AppArea(n).empty()) {
            std::fprintf(stderr,
                         "quorvel-devserver: application \"%s\" has a name that cannot be a "
                         "folder (%s); its files are left alone, rename it with EditApp\n",
                         n.c_str(), CheckAppName(n).c_str());
            continue;
        }
        fs::create_directories(apps / n / "images", ec);
        fs::create_directories(apps / n / "data", ec);
    }
    for (const auto& entry : fs::directory_iterator(apps, ec)) {
        std::string n = entry.path().filename().string();
        if (n.rfind(".staging", 0) == 0) {
            fs::remove_all(entry.path(), ec);
            continue;
        }
        if (std::find(owned.begin(), owned.end(), n) != owned.end()) continue;
        fs::path lost = fs::path(m_Options.root) / "orphans";
        fs::create_directories(lost, ec);
        fs::rename(entry.path(), lost / (n + "." + std::to_string(std::time(nullptr))), ec);
    }
}

int DevServer::Open(const Options& options, std::string& error, std::string& generatedPassword) {
    m_Options = options;
    m_RunSessions.SetLimits(m_Options.maxRunSessions, m_Options.maxAnonymousSessionsPerAddress);
    if (sodium_init() < 0) {
        error = "libsodium cannot start";
        return -1;
    }
    if (m_Options.root.empty()) {
        error = "no root folder (--root)";
        return -1;
    }
    for (const char* sub : {"apps", "traces", "trash", "datasources", "uploads"}) {
        if (os::MakeDirectories(os::JoinPath({m_Options.root, sub}).c_str()) != 0) {
            error = "cannot create folders under the root";
            return -1;
        }
    }
    // One server per root: a second would undo the first's moves at its start.
    const std::string lockPath = os::JoinPath({m_Options.root, "quorvel.lock"});
    m_LockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_LockFd < 0 || ::flock(m_LockFd, LOCK_EX | LOCK_NB) != 0) {
        error = "another quorvel-devserver uses this root (" + lockPath + " is locked)";
        return -1;
    }
    std::string dbPath = os::JoinPath({m_Options.root, "quorvel.db"});
    ::umask(077);  // the database holds password hashes and data source passwords
    if (m_Db.Open(dbPath, error, m_Options.durable) != 0) return -1;
    ::chmod(dbPath.c_str(), 0600);
    if (CreateSchema(error) != 0 || CreateAdministrator(error, generatedPassword) != 0) return -1;
    unsigned char noise[16];
    randombytes_buf(noise, sizeof noise);
    m_DummyHash = Hash(std::string_view(reinterpret_cast<const char*>(noise), sizeof noise));
    for (int i = 0; i < 4; ++i) {
        m_Traces[i]->SetFileName(os::JoinPath({m_Options.root, "traces", kTraceFiles[i]}));
        m_Traces[i]->SetMaxSize(m_Options.maxTraceBytes);
    }
    m_RenderTrace.SetFileName(Trace(4).GetFileName());
    LoadSwitches();
    Reconcile();
    if (m_AppsDir.Open(os::JoinPath({m_Options.root, "apps"}), {}) != 0) {
        error = "cannot open " + os::JoinPath({m_Options.root, "apps"});
        return -1;
    }
    if (m_Options.seedDemo && SeedDemo(error) != 0) return -1;
    return 0;
}

void DevServer::TraceCommand(const Call& call) {
    if (!m_Switches[1]) return;
    std::string line = (call.userName.empty() ? std::string("-") : call.userName) + " " + call.name;
    line += call.refusal.empty() ? " OK" : " refused: " + call.refusal;
    line = TraceSafe(line);
    Trace(2).Print(line.data(), static_cast<long>(line.size()), "", 0);
}

void DevServer::TraceApplication(long appId, std::string_view what) {
    if (!m_Switches[2]) return;
    std::string name;
    AppName(appId, name);
    TraceApplicationLine(name, what);
}

void DevServer::TraceApplicationLine(const std::string& name, std::string_view what) {
    if (!m_Switches[2]) return;
    std::string line = TraceSafe(name + ": " + std::string(what));
    Trace(3).Print(line.data(), static_cast<long>(line.size()), "", 0);
}

std::string DevServer::Refuse(Call& call, std::string reason) {
    call.refusal = std::move(reason);
    return ErrorAnswer(call.refusal);
}

std::string DevServer::Handle(HttpProcessor& http, std::unique_ptr<os::FileReader>* file,
                              uint32_t peer) {
    Call call;
    call.peer = peer;
    std::string answer;
    if (http.GetHttpType() != HttpProcessor::kHttpDev) {
        // Not administration: a browser asking an application for something.
        answer = RunTime(http, call);
    } else {
        if (ReadCall(http, call, answer)) answer = Dispatch(call);
        TraceCommand(call);
    }
    if (call.file) {
        if (file) {
            *file = std::move(call.file);
        } else {
            // The caller wants the answer whole: the file's bytes follow the header.
            const std::size_t header = answer.size();
            answer.resize(header + static_cast<std::size_t>(call.file->Size()));
            for (std::size_t at = header; at < answer.size();) {
                const long n = call.file->Read(answer.data() + at, answer.size() - at);
                if (n <= 0) return ErrorAnswer("Cannot read the file");
                at += static_cast<std::size_t>(n);
            }
        }
    }
    return answer;
}

bool DevServer::ReadCall(HttpProcessor& http, Call& call, std::string& answer) {
    if (http.GetHttpType() != HttpProcessor::kHttpDev) {
        call.name = "(not DEV)";
        answer = Refuse(call, "Only DEV requests are served here");
        return false;
    }
    int kind = http.GetReqType();
    char name[52] = {};
    ParamList<ParamListItem> params;
    if (http.GetRequestNameAndParams(name, sizeof name, params) != 0) {
        call.name = name[0] ? name : "(unreadable)";
        answer = Refuse(call, params.m_ErrorMsg.empty()
                                  ? std::string("The command text has no argument list")
                                  : "The command text is wrong: " + params.m_ErrorMsg.str());
        return false;
    }
    call.name = name;
    for (long i = 0; i < params.Count(); ++i) {
        ParamListItem* item = nullptr;
        params.GetAt(i, &item);
        call.args.emplace_back(item->m_Value.GetContent() ? item->m_Value.GetContent() : "",
                               static_cast<std::size_t>(item->m_Value.GetSize()));
    }
    // The extra body: everything after "&&&", which follows the call's ')', up to the
    // final CR LF CR LF.
    long h = http.GetHeaderLength();
    long l = http.GetContentLength();
    // A streamed upload's call comes without its file: the checks of the call's text hold
    // for the part that is here, the extra body only once it is whole.
    const long have = std::min<long>(l, http.m_Message.GetSize() - h);
    if (h > 0 && l > 0 && have > 0) {
        const bool whole = have == l;
        std::string_view body(http.m_Message.GetContent() + h, static_cast<std::size_t>(have));
        std::size_t call0 = body.find("server_request=");
        std::size_t close = call0 == std::string_view::npos ? call0 : body.find(')', call0);
        // Text after the call's ')' means an argument held a ')': refused rather than guessed.
        // Decoded, these would end an argument early: DeleteFile(1,,a%29b) would mean "a".
        if (HoldsArgumentEscape(body.substr(0, close))) {
            answer = Refuse(call, "The command text holds %28, %29 or %2C");
            return false;
        }
        if (close != std::string_view::npos && body.substr(close + 1, 3) != "&&&" &&
            body.substr(close + 1).find_first_not_of("\r\n") != std::string_view::npos) {
            answer = Refuse(call, "The command text goes on after its closing parenthesis");
            return false;
        }
        if (whole && close != std::string_view::npos && body.substr(close + 1, 3) == "&&&") {
            std::string_view rest = body.substr(close + 4);
            if (rest.size() < 4 || rest.substr(rest.size() - 4) != "\r\n\r\n") {
                answer = Refuse(call, "The extra body does not end with an empty line");
                return false;
            }
            call.body = rest.substr(0, rest.size() - 4);
            call.hasBody = true;
        }
    }
    if (kind == HttpProcessor::kReqDevLogin && call.name == "server_login") {
        answer = Login(call);
        return false;
    }
    long sid = http.GetSessionID();
    {
        std::lock_guard<std::mutex> g(m_SessionLock);
        auto it = m_Sessions.find(sid);
        long long now = os::SteadyMillis();
        if (it != m_Sessions.end() &&
            now - it->second.lastUse > m_Options.sessionIdleMinutes * 60000ll) {
            m_Sessions.erase(it);
            it = m_Sessions.end();
        }
        if (sid != 0 && it != m_Sessions.end()) {
            it->second.lastUse = now;
            call.sessionId = sid;
            call.userId = it->second.userId;
            call.userName = it->second.userName;
        }
    }
    if (call.sessionId == 0) {
        answer = Refuse(call, "Not logged in (no session or the session has expired)");
        return false;
    }
    return true;
}

std::string DevServer::Dispatch(Call& call) {
    const Command* c = FindCommand(call.name);
    if (!c) return Refuse(call, "Unknown command " + call.name);
    if (static_cast<int>(call.args.size()) != c->argc)
        return Refuse(
            call, "Wrong number of arguments: " + call.name + " takes " + std::to_string(c->argc));
    if (c->body != call.hasBody)
        return Refuse(call, c->body ? call.name + " needs an extra body after &&&"
                                    : call.name + " takes no extra body");
    // Commands that hash passwords take the lock themselves, around the database only.
    if (c->handler == &DevServer::UserPwd || c->handler == &DevServer::Logout)
        return (this->*(c->handler))(call);
    std::lock_guard<std::mutex> g(m_Lock);
    std::string answer = (this->*(c->handler))(call);
    // Whatever may have changed applications, requests or users, run-time lookups read anew.
    if (call.name.rfind("Get", 0) != 0) ++m_Changes;
    return answer;
}

std::shared_ptr<DevServer::LoginGate> DevServer::GateFor(uint32_t peer) {
    if (peer == 0) return nullptr;
    std::lock_guard<std::mutex> g(m_PeerLock);
    const long long now = os::SteadyMillis();
    // Addresses whose failures are a minute old start afresh, so the table stays small.
    for (auto it = m_LoginGates.begin(); it != m_LoginGates.end();)
        it = it->second.use_count() == 1 && now - it->second->last > 60000 ? m_LoginGates.erase(it)
                                                                           : std::next(it);
    auto& gate = m_LoginGates[peer];
    if (!gate) gate = std::make_shared<LoginGate>();
    return gate;
}

}  // namespace devserver
