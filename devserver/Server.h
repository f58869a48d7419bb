// quorvel-devserver: a stand-in application server that answers every administration
// command of the studio from one SQLite database and a folder tree per application.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/Lists.h"
#include "devserver/Answers.h"
#include "devserver/Db.h"
#include "devserver/RunSessions.h"
#include "devserver/TraceFile.h"
#include "logbook/WStrace.h"
#include "platform/net/TcpListener.h"
#include "platform/os/Files.h"

class HttpProcessor;
template <class Item>
class TableList;

struct TableListItem;
struct RunItem;

namespace devserver {

struct ReqData;

struct Options {
    std::string root;
    std::string bind = "127.0.0.1";
    int port = 8090;
    std::string adminPasswordFile;
    bool seedDemo = false;
    long long maxRequestBytes = 256ll * 1024 * 1024;
    // Request bodies all connections may hold in memory together (file uploads stream to
    // disk and do not count); past it a request is refused with 503.
    long long maxHeldBytes = 1024ll * 1024 * 1024;
    int idleTimeoutMs = 30000;
    int sessionIdleMinutes = 120;
    int maxConnections = 64;  // workers: requests answered at once
    // A browser's connection kept open after an answer waits this long for its next
    // request, and serves at most this many requests.
    int keepAliveIdleMs = 15000;
    int maxRequestsPerConnection = 1000;
    // One client address holds at most this many connections: one client cannot take all.
    int maxConnectionsPerAddress = 32;
    // A request's header and body must be whole within this, however they trickle in.
    int requestTimeoutMs = 120000;
    // A failed login is answered after this, doubled for each further failure of its
    // address in the last minute (at most 64 times).
    int loginFailureDelayMs = 50;
    long long maxTraceBytes = 16ll * 1024 * 1024;  // each trace file; the oldest half goes
    // Cheapest Argon2id parameters: for tests, where hashing cost only slows the run.
    bool fastHash = false;
    // Off only where losing the last changes on a power cut does not matter (fuzzing).
    bool durable = true;
    // A run-time SQL request is interrupted after this, and refused past this many rows.
    int sqlTimeLimitMs = 5000;
    long maxResultRows = 10000;
    // Run-time sessions kept at once; past it the oldest anonymous one goes (a login never
    // goes for an anonymous session).
    int maxRunSessions = 10000;
    // Anonymous run-time sessions one client address holds; past it its own oldest goes.
    int maxAnonymousSessionsPerAddress = 256;
    // What browsers' uploads may store in one application's data folder, all files together.
    long long maxDataBytes = 256ll * 1024 * 1024;
};

// One command as it arrived: its name, arguments, extra body and who sent it.
struct Call {
    std::string name;
    std::vector<std::string> args;
    std::string_view body;
    bool hasBody = false;
    long sessionId = 0;
    long userId = -1;
    std::string userName;
    uint32_t peer = 0;    // the client's IPv4 address, host order (0: not over the network)
    std::string refusal;  // set when the answer is a refusal, for the trace
    // A download's file, sent from disk after the answer (its header).
    std::unique_ptr<os::FileReader> file;
    // An upload's file, received whole into a file beside its target (the body is empty).
    os::ReplacementFile* upload = nullptr;
    bool Restricted() const { return userId != 0; }
};

class DevServer {
public:
    DevServer();
    ~DevServer();

    // Opens or creates the state under options.root. On the first start it creates the
    // administrator; when no password was given it makes one and puts it in
    // generatedPassword. 0, or -1 with error set.
    int Open(const Options& options, std::string& error, std::string& generatedPassword);
    // Answers one complete request (the whole HTTP message). With file, an answer that
    // carries a file is its header, and the file to send after it goes to *file;
    // without, the file's bytes are in the answer.
    std::string Handle(HttpProcessor& request, std::unique_ptr<os::FileReader>* file = nullptr,
                       uint32_t peer = 0);

    // Listens; 0 or -1 with error set. Port() then tells the bound port.
    int Listen(std::string& error);
    uint16_t Port() const { return m_Listener.Port(); }
    // Serves until Stop; returns when the last connection has been answered.
    void Serve();
    void Stop() { m_Listener.Stop(); }

    // The trace of a kind (1 Start, 2 System, 3 Application, 4 Run).
    TraceFile& Trace(int kind) { return *m_Traces[kind - 1]; }

private:
    // What a run-time request found out about itself, for its answer and its trace line.
    struct RunCall {
        std::string app;
        long appId = 0;
        long timeoutMinutes = 0;
        std::string sessionKey;
        bool newCookie = false;  // the answer sets the session cookie
        bool endCookie = false;  // the answer drops it
        long userId = -1;
        std::string userName;
        std::string what;               // the page or the request, for the trace
        std::vector<std::string> path;  // the address's parts, decoded; [0] the application
        long rows = 0;
        int status = 200;
        uint32_t peer = 0;
    };
    struct Session {
        long userId = 0;
        std::string userName;
        long long lastUse = 0;
    };
    using Handler = std::string (DevServer::*)(Call&);
    struct Command {
        const char* name;
        int argc;
        bool body;
        Handler handler;
    };
    static const Command* FindCommand(std::string_view name);

    // Connections (Connections.cpp): a connection whose request is still arriving, and
    // the worker's part once it is whole (state: ready, or a file upload to stream).
    struct Incoming;
    struct Workers;
    struct Loop;
    void RunLoop(std::vector<std::unique_ptr<Loop>>& loops, std::size_t index, Workers& pool);
    void ServeWhole(Incoming& in, int state);
    // The answer to a whole request, into in (false: refused, and told so).
    bool MakeReply(Incoming& in, int state);
    // Sends what is left of the answer, waiting for the client as long as it takes bytes.
    void SendRest(Incoming& in);
    // Up to size bytes, waiting at most the idle time-out (and not past a stop or the
    // request's deadline, a SteadyMillis time).
    long Receive(net::TcpConnection& connection, char* block, std::size_t size, long long deadline);
    // Whether bytes (or the end) arrived, on the same terms as Receive.
    bool WaitReadable(net::TcpConnection& connection, long long deadline);
    // Logins from one client address are checked one at a time, each failure followed by
    // its wait while the next one waits its turn: parallel connections guess no faster
    // than one, and one address takes at most one hashing slot from everybody else.
    struct LoginGate {
        std::mutex lock;
        std::condition_variable free;
        bool taken = false;              // a login of the address is being checked
        int failures = 0;                // in the last minute, under lock
        std::atomic<long long> last{0};  // SteadyMillis of the last failure
        // Waits for the address's turn, at most timeoutMs; false when it did not come.
        bool Take(int timeoutMs);
        void Give();
    };
    // The gate of peer (null for 0, a caller in this process).
    std::shared_ptr<LoginGate> GateFor(uint32_t peer);
    // The id of the user of that name, type (0 Dev, 1 Run) and password, else -1 after the
    // failure's wait.
    long CheckLogin(const std::string& name, std::string_view password, long type, uint32_t peer);
    // A file upload whose call is in http (fileStart: where the file begins in the body):
    // receives the file into a file beside its target and answers. false when the
    // upload is not one that streams (the caller reads it whole).
    bool ServeUpload(net::TcpConnection& connection, HttpProcessor& http, long headerLength,
                     long long length, long fileStart, long long deadline);
    // Run time (Runtime.cpp): a browser's request for a page, a request or an upload.
    std::string RunTime(HttpProcessor& http, Call& call);
    // Whether the request is a page of an application the catalog holds: answered
    // without waiting for the server's lock or the database, so the loop answers it.
    bool AnswersAtOnce(HttpProcessor& http);
    // Finds or makes the browser's session with the application; counts new ones.
    void TakeRunSession(HttpProcessor& http, RunCall& rc);
    std::string RunPage(RunCall& rc, Call& call);
    std::string RunRequest(HttpProcessor& http, RunCall& rc);
    std::string RunLogin(HttpProcessor& http, RunCall& rc, const std::vector<std::string>& args);
    // Stores a multipart post's files in data/, all or none: the refusal page, or empty.
    std::string RunUpload(HttpProcessor& http, RunCall& rc, const std::string& request,
                          ParamList<ParamListItem>& params);
    // Renders tables through the application's page (page empty: the request's name).
    std::string RunRender(RunCall& rc, TableList<TableListItem>& tables, const std::string& request,
                          const std::string& page);
    // A short page of our own (refusals, login, logout) with the session cookie's header.
    std::string RunMessage(RunCall& rc, int status, std::string_view text);
    std::string RunCookieHeader(const RunCall& rc) const;
    void SetRunCookie(const RunCall& rc, RunItem& run) const;
    void TraceRun(const RunCall& rc, long long started);
    // Writes the pending session counts; the caller holds m_Lock.
    void WriteRunCounts();
    // The live run-time sessions of an application (-1: of all).
    long RunSessions(long appId, long timeoutMinutes);
    long long RunIdleMs(long timeoutMinutes) const;

    // The call as it arrived: true when it is ready for Dispatch, false when answer
    // already holds the answer (a refusal, or the login's).
    bool ReadCall(HttpProcessor& http, Call& call, std::string& answer);
    std::string Refuse(Call& call, std::string reason);
    std::string Dispatch(Call& call);
    void TraceCommand(const Call& call);
    void TraceApplication(long appId, std::string_view what);
    void TraceApplicationLine(const std::string& appName, std::string_view what);
    std::string Hash(std::string_view password);
    // Ends the sessions of a user (its password, type or existence changed), but keep,
    // and its run-time logins.
    void EndSessions(long userId, long keep = 0);
    bool Verify(const std::string& hash, std::string_view password);

    // Startup steps.
    int CreateSchema(std::string& error);
    int CreateAdministrator(std::string& error, std::string& generatedPassword);
    void Reconcile();
    // A folder move (paths relative to the root) recorded in the caller's transaction:
    // done by FinishMoves after the commit, or at the next start when the process died
    // first, so a committed change never comes back without its files.
    bool RecordMove(const std::string& from, const std::string& to);
    void FinishMoves(bool atStart = false);
    int SeedDemo(std::string& error);
    void LoadSwitches();

    // What run-time requests look up of applications and requests, read by many workers
    // at once without the server's lock: filled from the database on a miss, and
    // dropped as a whole after any command that may have changed it.
    struct RunApp {
        long id = 0;
        long timeoutMinutes = 0;
    };
    struct RunReq {
        long id = 0, language = 0, access = 0, paramCount = 0;
        std::string script, dataSource;
        std::vector<long> users;  // who may run it when private
    };
    RunApp FindRunApp(const std::string& name);
    std::shared_ptr<const RunReq> FindRunReq(long appId, const std::string& name);
    // Drops the catalog when what a command changed is newer than it (under m_CatalogLock).
    void KeepCatalogAt(uint64_t changes);

    // Lookups (under m_Lock).
    bool AppName(long appId, std::string& name);
    bool MayUseApp(const Call& call, long appId);
    bool ReqApp(long reqId, long& appId);
    long UserIdByName(std::string_view name);
    // The application's folder; empty for a name that fails CheckAppName (left untouched).
    std::string AppArea(const std::string& appName) const;

    // Tables.
    std::string Answer(const Table& t) { return TableAnswer(t); }
    Table AppsTable(const Call& call);
    Table ReqsTable(long appId);
    Table ParamsTable(long reqId);
    Table ReqUsersTable(long reqId);
    Table AppUsersTable(long appId);
    Table DSsTable();
    Table UsersTable();
    Table ConfigTable();
    Table ConfigAppsTable(const Call& call);
    Table FlatFilesTable(const os::DirBeneath& dir);
    Table FolderTable(const os::DirBeneath& dir, bool belowTop);
    // A folder of an application's area (parts empty: its top) reached without following
    // a link at any part; with create, missing parts are made. 0 or -1.
    int OpenAreaDir(const std::string& app, const std::vector<std::string>& parts,
                    os::DirBeneath& dir, bool create = false);
    std::string FileListAnswer(long appId, int kind, const std::string& folderWire);

    // Commands.
    std::string Login(Call& call);
    std::string Logout(Call& call);
    std::string GetApps(Call& call);
    std::string NewApp(Call& call);
    std::string EditApp(Call& call);
    std::string DeleteApp(Call& call);
    std::string GetReqs(Call& call);
    std::string NewReq(Call& call);
    std::string EditReq(Call& call);
    std::string DeleteReq(Call& call);
    std::string GetReqParams(Call& call);
    std::string SetReqParams(Call& call);
    std::string GetReqUsers(Call& call);
    std::string SetReqUsers(Call& call);
    std::string GetReqScript(Call& call);
    std::string SetReqScript(Call& call);
    std::string GetDSs(Call& call);
    std::string NewDS(Call& call);
    std::string EditDS(Call& call);
    std::string DeleteDS(Call& call);
    std::string DSPwd(Call& call);
    std::string GetUsers(Call& call);
    std::string NewUser(Call& call);
    std::string EditUser(Call& call);
    std::string DeleteUser(Call& call);
    std::string UserPwd(Call& call);
    std::string GetAppUsers(Call& call);
    std::string SetAppUsers(Call& call);
    bool ReplaceUsers(Call& call, long id, const char* table, const char* owner, int type,
                      std::string* refusal);
    std::string GetHtmls(Call& call);
    std::string GetImages(Call& call);
    std::string GetData(Call& call);
    std::string GetFiles(Call& call);
    std::string DeleteFile(Call& call);
    std::string RenameFile(Call& call);
    std::string DownloadFile(Call& call);
    std::string UploadFile(Call& call);
    // Checks a file upload (kinds 1, 2, 3, 6) and finds its target: the refusal answer,
    // or empty with its folder opened, the file's name and the folder's wire form filled in.
    std::string UploadTarget(Call& call, os::DirBeneath& dir, std::string& name,
                             std::string& folderWire);
    // Opens the file a streamed upload is received into: the refusal answer, or empty.
    // dir must outlive file: the file's names go through it.
    std::string OpenUpload(Call& call, os::DirBeneath& dir, os::ReplacementFile& file);
    std::string GetConfig(Call& call);
    std::string SetConfig(Call& call);
    std::string GetConfigApps(Call& call);
    std::string GetTrace(Call& call);
    std::string CleanTrace(Call& call);

    // Transfers (Transfer.cpp).
    bool ExportRequest(long reqId, std::string& out);
    std::string ImportRequest(long appId, const std::string& reqName, std::string_view bytes);
    std::string CheckRequestData(const ReqData& r);
    std::string InsertRequest(long appId, const ReqData& r);
    bool ExportApplication(long appId, std::string& out);
    std::string ImportApplication(const std::string& appName, std::string_view bytes);

    // The regular file name in folder (a folder as the Files window sends it) of app's
    // area: dir opened on that folder and its wire form; empty string, or the refusal.
    std::string FileInFolder(const std::string& app, const std::string& folder,
                             const std::string& name, os::DirBeneath& dir, std::string& folderWire);

    Options m_Options;
    Db m_Db;
    std::mutex m_Lock;  // one command at a time touches the database and the file areas
    std::atomic<uint64_t> m_Changes{0};  // commands that may have changed the state, under m_Lock
    // The last GetApps answer, for whom and as of which change (under m_Lock): the studio
    // asks again and again while nothing changes.
    struct KeptAnswer {
        uint64_t at = ~0ull;
        long userId = -1;
        std::string text;
    } m_AppsAnswer;
    std::shared_mutex m_CatalogLock;
    uint64_t m_CatalogAt = 0;  // m_Changes when the catalog below was read
    std::map<std::string, RunApp> m_RunApps;
    std::map<std::pair<long, std::string>, std::shared_ptr<const RunReq>> m_RunReqs;
    std::mutex m_SessionLock;
    std::map<long, Session> m_Sessions;
    RunSessionTable m_RunSessions;  // under m_SessionLock
    // Sessions begun and not yet written, by application and day (under m_SessionLock):
    // written together at most once a second and at stop, so no browser's first request
    // waits for a disk sync.
    std::map<std::pair<long, std::string>, long> m_PendingCounts;
    std::unique_ptr<TraceFile> m_Traces[4];
    // The renderer's messages (a failed request) go to the Run trace through the
    // library's trace; the server's own trimming keeps the file's size.
    WStrace m_RenderTrace;
    os::DirBeneath m_AppsDir;        // ROOT/apps, open while the server runs
    std::atomic<int> m_Switches[4];  // java reload, system, application, run: 0 or 1
    net::TcpListener m_Listener;
    std::atomic<int> m_Executing{0};
    std::atomic<long long> m_HeldBytes{0};  // request bodies read into memory, all connections
    int m_LockFd = -1;                      // ROOT/quorvel.lock, held while the server runs
    std::mutex m_PeerLock;
    std::map<uint32_t, int> m_PeerConnections;
    std::map<uint32_t, std::shared_ptr<LoginGate>> m_LoginGates;  // under m_PeerLock
    // What an unknown user's password is checked against, so that refusing it costs what
    // refusing a wrong password costs and the time tells no names.
    std::string m_DummyHash;
};

}  // namespace devserver
