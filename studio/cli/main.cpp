// quorvel-cli: one catalogue command per call, on the studio's own session core. Each
// call logs in, runs the command, logs out, and prints the records the answer filled.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/Files.h"
#include "platform/os/LocalFile.h"
#include "platform/os/System.h"
#include "studio/session/Layouts.h"
#include "studio/session/ServerSession.h"
#include "studio/shell/StudioSettings.h"

namespace {

enum Exit : int {
    kExitOk = 0,
    kExitServerError = 1,
    kExitUsage = 2,
    kExitNoResponse = 3,
    kExitLoginRefused = 4,
    kExitLoginUnknown = 5,
};

const char* const kUsage =
    "usage: quorvel-cli [OPTIONS] COMMAND [ARGUMENT...]\n"
    "\n"
    "Runs one command of the Quorvel server's administration catalogue: logs in, sends\n"
    "the command, logs out, and prints the records of the answer, one line each with\n"
    "the columns separated by a TAB. Inside a column a TAB, CR, LF and backslash are\n"
    "written as \\t, \\r, \\n and \\\\, so every record is one line. --json output is\n"
    "always valid UTF-8: bytes that are not UTF-8 become U+FFFD.\n"
    "\n"
    "options:\n"
    "  --profile FILE        take name, address, port and user name from a connection\n"
    "                        profile (*.con)\n"
    "  --host A.B.C.D        server address (default 127.0.0.1; overrides the profile)\n"
    "  --port N              server port, 1 to 64000\n"
    "  --user NAME           login user name\n"
    "  --password-file FILE  the password is the first line of FILE; without it, the\n"
    "                        environment variable QUORVEL_PASSWORD\n"
    "  --folder PATH         the Files folder that UploadFile and DownloadFile of kind 6 use\n"
    "  --kind K              the list kind (1, 2, 3 or 6; default 6) whose list DeleteFile\n"
    "                        and RenameFile parse\n"
    "  --json                print a JSON array of objects instead of lines\n"
    "  --timeout SECONDS     give up when connecting or when the server sends nothing for\n"
    "                        SECONDS (1 to 86400; default 60)\n"
    "  --ssh [USER@]HOST[:PORT]  reach the server through this SSH host (OpenSSH's ssh,\n"
    "                        with your ~/.ssh/config, agent and known_hosts); --host is\n"
    "                        then the server's address as that host sees it\n"
    "  --ssh-option KEY=VALUE  passed to ssh as -o KEY=VALUE (repeatable)\n"
    "  --help, --version\n"
    "\n"
    "commands (arguments in the catalogue's order):\n"
    "  GetApps | NewApp NAME DESCRIPTION TIMEOUT | EditApp NAME ID DESCRIPTION TIMEOUT\n"
    "  DeleteApp ID | GetAppUsers APPID | SetAppUsers APPID [USERID...]\n"
    "  GetReqs APPID | NewReq NAME DSID APPID LANGUAGE ACCESS\n"
    "  EditReq NAME ID DSID APPID LANGUAGE ACCESS | DeleteReq ID\n"
    "  GetReqParams ID | SetReqParams ID [NAME...] | GetReqUsers ID | SetReqUsers ID [USERID...]\n"
    "  GetReqScript ID | SetReqScript ID FILE|-\n"
    "  GetDSs | NewDS NAME DESCRIPTION CONNECTIONS | EditDS NAME ID DESCRIPTION CONNECTIONS\n"
    "  DeleteDS ID | DSPwd ID DBUSER DBPASSWORD\n"
    "  GetUsers | NewUser NAME DESCRIPTION TYPE | EditUser NAME DESCRIPTION ID TYPE\n"
    "  DeleteUser ID | UserPwd PASSWORD ID\n"
    "  GetHtmls APPID | GetImages APPID | GetData APPID | GetFiles APPID FOLDER\n"
    "  DownloadFile OWNERID KIND NAME LOCALFILE | UploadFile APPID KIND LOCALFILE\n"
    "  DeleteFile APPID FOLDER NAME | RenameFile APPID FOLDER NAME NEWNAME\n"
    "  GetConfig | SetConfig JAVARELOAD SYSTEMTRACE APPTRACE RUNTRACE | GetConfigApps\n"
    "  GetTrace KIND | CleanTrace [KIND]\n"
    "\n"
    "exit status: 0 success, 1 server error, 2 usage error, 3 no usable response,\n"
    "4 login refused, 5 login answer not understood\n";

struct UsageError {
    std::string text;
};

[[noreturn]] void Usage(const std::string& text) {
    throw UsageError{text};
}

long Number(const std::string& s, const char* what) {
    if (s.empty()) Usage(std::string("bad number for ") + what + ": ''");
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (errno != 0 || !end || *end != '\0' || s[0] == ' ' || s[0] == '\t')
        Usage(std::string("bad number for ") + what + ": '" + s + "'");
    return v;
}

// A text argument must fit its holder and must not change the argument list the server
// reads: no ",", ")" or line break.
template <std::size_t N>
void Text(FixedText<N>& holder, const std::string& s, const char* what) {
    if (s.find_first_of(",)\r\n") != std::string::npos)
        Usage(std::string(what) + " must not hold ',', ')' or a line break: '" + s + "'");
    if (s.size() > N)
        Usage(std::string(what) + " is longer than " + std::to_string(N) + " characters");
    if (s.find('\0') != std::string::npos) Usage(std::string(what) + " holds a zero byte");
    holder = s;
}

int ParseOctets(const std::string& s, int out[4]) {
    int parts = 0;
    std::size_t i = 0;
    while (parts < 4) {
        std::size_t j = i;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
        if (j == i || j - i > 3) return -1;
        int v = std::atoi(s.substr(i, j - i).c_str());
        if (v > 255) return -1;
        out[parts++] = v;
        if (parts < 4) {
            if (j >= s.size() || s[j] != '.') return -1;
            i = j + 1;
        } else if (j != s.size()) {
            return -1;
        }
    }
    return 0;
}

bool ReadInput(const std::string& file, std::string& out) {
    if (file == "-") {
        char buf[65536];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, stdin)) > 0) out.append(buf, n);
        return !std::ferror(stdin);
    }
    return os::ReadWholeFile(file.c_str(), out) == 0;
}

void WriteOut(const char* data, long size) {
    if (size > 0) std::fwrite(data, 1, static_cast<std::size_t>(size), stdout);
}

// A JSON string is valid UTF-8 whatever the server sent: bytes that are not UTF-8 become
// U+FFFD.
void JsonString(std::string& out, std::string_view s) {
    const std::string valid = os::Utf16ToUtf8(os::Utf8ToUtf16(s));
    out += '"';
    for (unsigned char c : valid) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char esc[8];
                    std::snprintf(esc, sizeof esc, "\\u%04x", c);
                    out += esc;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

// A cell of a TAB-separated line: a TAB, CR, LF or backslash inside it is written as
// \t, \r, \n or \\, so a server's value cannot split a record or forge another.
void TabField(std::string& out, std::string_view s) {
    for (const char c : s) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
}

// Prints records by their layout: TAB-separated lines, or one JSON array.
class Printer {
public:
    explicit Printer(bool json) : m_Json(json) {}

    template <class Item>
    void Record(const Item& item, std::span<const Column<Item>> layout,
                std::string_view extraKey = {}, std::string_view extraValue = {}) {
        std::string line;
        if (m_Json) {
            line += m_Count ? ",{" : "{";
            bool first = true;
            for (const Column<Item>& c : layout) {
                if (!first) line += ',';
                first = false;
                JsonString(line, c.key);
                line += ':';
                if (c.number)
                    line += c.get(item);
                else
                    JsonString(line, c.get(item));
            }
            if (!extraKey.empty()) {
                if (!first) line += ',';
                JsonString(line, extraKey);
                line += ':';
                JsonString(line, extraValue);
            }
            line += '}';
        } else {
            bool first = true;
            for (const Column<Item>& c : layout) {
                if (!first) line += '\t';
                first = false;
                TabField(line, c.get(item));
            }
            if (!extraKey.empty()) {
                if (!first) line += '\t';
                TabField(line, extraValue);
            }
            line += '\n';
        }
        ++m_Count;
        std::fwrite(line.data(), 1, line.size(), stdout);
    }

    template <class List, class Item>
    void All(List& list, std::span<const Column<Item>> layout) {
        Begin();
        for (long i = 0; i < list.Count(); ++i) {
            Item* item = nullptr;
            if (list.GetAt(i, &item) == kListOk) Record(*item, layout);
        }
        End();
    }

    void Begin() {
        if (m_Json) std::fputs("[", stdout);
    }
    void End() {
        if (m_Json) std::fputs("]\n", stdout);
    }

private:
    bool m_Json;
    long m_Count = 0;
};

struct Options {
    std::string profile;
    std::string host;
    long port = -1;
    std::string user;
    bool userGiven = false;
    std::string passwordFile;
    std::string folder;
    bool folderGiven = false;
    long kind = kTransferFiles;
    bool json = false;
    long timeoutSeconds = kDefaultTimeoutMs / 1000;
    std::string ssh;
    bool sshGiven = false;
    std::vector<std::string> sshOptions;
};

// Empties the list an answer of code refills.
void ClearTarget(int code) {
    if (code >= 3 && code <= 6)
        AppList.Clear();
    else if (code == 36)
        MonitorAppList.Clear();
    else if (code >= 7 && code <= 10)
        ReqList.Clear();
    else if (code == 11)
        ReqParamList.Clear();
    else if (code == 13)
        ReqUserList.Clear();
    else if (code == 41)
        AppUserList.Clear();
    else if ((code >= 21 && code <= 24) || code == 38)
        UserList.Clear();
    else if ((code >= 17 && code <= 20) || code == 39)
        DSList.Clear();
    else if (code >= 25 && code <= 27)
        FileListOfKind(code - 24)->Clear();
    else if (code == 40)
        FileList.Clear();
}

void PrintTarget(int code, bool json) {
    Printer p(json);
    if (code >= 3 && code <= 6)
        p.All(AppList, AppLayout(code));
    else if (code == 36)
        p.All(MonitorAppList, AppLayout(code));
    else if (code >= 7 && code <= 10) {
        p.Begin();
        for (long i = 0; i < ReqList.Count(); ++i) {
            ReqItem* r = nullptr;
            if (ReqList.GetAt(i, &r) == kListOk)
                p.Record(*r, ReqLayout(code), "DSName", r->m_DSName.view());
        }
        p.End();
    } else if (code == 11)
        p.All(ReqParamList, ParamLayout(code));
    else if (code == 13)
        p.All(ReqUserList, UserLayout(code));
    else if (code == 41)
        p.All(AppUserList, UserLayout(code));
    else if ((code >= 21 && code <= 24) || code == 38)
        p.All(UserList, UserLayout(code));
    else if ((code >= 17 && code <= 20) || code == 39)
        p.All(DSList, DSLayout(code));
    else if (code >= 25 && code <= 27)
        p.All(*FileListOfKind(code - 24), FileLayout(code));
    else if (code == 40)
        p.All(FileList, FileLayout(code));
    else if (code == 28) {
        p.Begin();
        p.Record(ServerConfig, ConfigLayout(code));
        p.End();
    }
}

void Expect(const std::vector<std::string>& a, std::size_t low, std::size_t high,
            const char* command) {
    if (a.size() < low || a.size() > high)
        Usage(std::string("wrong number of arguments for ") + command);
}

// What the command needs besides its code: where its answer goes and how it is printed.
struct Plan {
    int code = 0;
    int parseCode = 0;  // the code the answer is parsed with; 0 nothing to parse
    bool fetchDSs = false;
    bool scriptOut = false;  // the body (ReqScript / TraceText) to stdout
    std::string localFile;   // DownloadFile
};

Plan Prepare(const std::string& command, const std::vector<std::string>& a, const Options& o) {
    Plan plan;
    const int code = CommandCodeOf(command.c_str());
    if (code == 0) Usage("unknown command: " + command);
    plan.code = code;
    plan.parseCode = IsTableCode(code) || IsDocumentCode(code) ? code : 0;
    const char* c = command.c_str();
    CurrentAppRec& app = CurrentApp;
    CurrentReqRec& req = CurrentReq;
    CurrentDSRec& ds = CurrentDS;
    CurrentUserRec& user = CurrentUser;
    switch (code) {
        case kCmdLogin:
        case kCmdLogout:
        case kCmdGetApps:
        case kCmdGetDSs:
        case kCmdGetUsers:
        case kCmdGetConfig:
        case kCmdGetConfigApps:
            Expect(a, 0, 0, c);
            break;
        case kCmdNewApp:
            Expect(a, 3, 3, c);
            Text(app.m_Name, a[0], "NAME");
            Text(app.m_Description, a[1], "DESCRIPTION");
            app.m_SessionTimeout = Number(a[2], "TIMEOUT");
            break;
        case kCmdEditApp:
            Expect(a, 4, 4, c);
            Text(app.m_Name, a[0], "NAME");
            app.m_ID = Number(a[1], "ID");
            Text(app.m_Description, a[2], "DESCRIPTION");
            app.m_SessionTimeout = Number(a[3], "TIMEOUT");
            break;
        case kCmdDeleteApp:
        case kCmdGetReqs:
        case kCmdGetHtmls:
        case kCmdGetImages:
        case kCmdGetData:
        case kCmdGetAppUsers:
            Expect(a, 1, 1, c);
            app.m_ID = Number(a[0], "ID");
            break;
        case kCmdNewReq:
            Expect(a, 5, 5, c);
            Text(req.m_Name, a[0], "NAME");
            req.m_DSID = Number(a[1], "DSID");
            req.m_AppID = Number(a[2], "APPID");
            req.m_Language = Number(a[3], "LANGUAGE");
            req.m_Access = Number(a[4], "ACCESS");
            break;
        case kCmdEditReq:
            Expect(a, 6, 6, c);
            Text(req.m_Name, a[0], "NAME");
            req.m_ID = Number(a[1], "ID");
            req.m_DSID = Number(a[2], "DSID");
            req.m_AppID = Number(a[3], "APPID");
            req.m_Language = Number(a[4], "LANGUAGE");
            req.m_Access = Number(a[5], "ACCESS");
            break;
        case kCmdDeleteReq:
        case kCmdGetReqParams:
        case kCmdGetReqUsers:
        case kCmdGetReqScript:
            Expect(a, 1, 1, c);
            req.m_ID = Number(a[0], "ID");
            plan.scriptOut = code == kCmdGetReqScript;
            break;
        case kCmdSetReqParams:
            Expect(a, 1, SIZE_MAX, c);
            req.m_ID = Number(a[0], "ID");
            req.ReqParamList.Clear();
            for (std::size_t i = 1; i < a.size(); ++i) {
                ParamListItem* p = nullptr;
                if (req.ReqParamList.Add(&p) != kListOk) Usage("out of memory");
                Text(p->m_Name, a[i], "NAME");
                p->m_Number = static_cast<long>(i - 1);
            }
            break;
        case kCmdSetReqUsers:
        case kCmdSetAppUsers: {
            Expect(a, 1, SIZE_MAX, c);
            UserListType& list = code == kCmdSetReqUsers ? req.ReqUserList : app.AppUserList;
            (code == kCmdSetReqUsers ? req.m_ID : app.m_ID) = Number(a[0], "ID");
            list.Clear();
            for (std::size_t i = 1; i < a.size(); ++i) {
                UserItem* u = nullptr;
                if (list.Add(&u) != kListOk) Usage("out of memory");
                u->m_ID = Number(a[i], "USERID");
            }
            break;
        }
        case kCmdSetReqScript: {
            Expect(a, 2, 2, c);
            req.m_ID = Number(a[0], "ID");
            std::string script;
            if (!ReadInput(a[1], script)) Usage("cannot read " + a[1]);
            ReqScript.Free();
            if (ReqScript.Alloc(script.size() > 0 ? static_cast<long>(script.size()) : 1, 5000) !=
                    0 ||
                (!script.empty() &&
                 ReqScript.AddContent(script.data(), static_cast<long>(script.size())) != 0))
                Usage("the script is too large");
            break;
        }
        case kCmdNewDS:
            Expect(a, 3, 3, c);
            Text(ds.m_Name, a[0], "NAME");
            Text(ds.m_Description, a[1], "DESCRIPTION");
            ds.m_Connections = Number(a[2], "CONNECTIONS");
            break;
        case kCmdEditDS:
            Expect(a, 4, 4, c);
            Text(ds.m_Name, a[0], "NAME");
            ds.m_ID = Number(a[1], "ID");
            Text(ds.m_Description, a[2], "DESCRIPTION");
            ds.m_Connections = Number(a[3], "CONNECTIONS");
            break;
        case kCmdDeleteDS:
            Expect(a, 1, 1, c);
            ds.m_ID = Number(a[0], "ID");
            break;
        case kCmdDSPwd:
            Expect(a, 3, 3, c);
            ds.m_ID = Number(a[0], "ID");
            Text(ds.m_UserName, a[1], "DBUSER");
            Text(ds.m_Password, a[2], "DBPASSWORD");
            break;
        case kCmdNewUser:
            Expect(a, 3, 3, c);
            Text(user.m_Name, a[0], "NAME");
            Text(user.m_Description, a[1], "DESCRIPTION");
            user.m_Type = Number(a[2], "TYPE");
            break;
        case kCmdEditUser:
            Expect(a, 4, 4, c);
            Text(user.m_Name, a[0], "NAME");
            Text(user.m_Description, a[1], "DESCRIPTION");
            user.m_ID = Number(a[2], "ID");
            user.m_Type = Number(a[3], "TYPE");
            break;
        case kCmdDeleteUser:
            Expect(a, 1, 1, c);
            user.m_ID = Number(a[0], "ID");
            break;
        case kCmdUserPwd:
            Expect(a, 2, 2, c);
            Text(user.m_Password, a[0], "PASSWORD");
            user.m_ID = Number(a[1], "ID");
            break;
        case kCmdSetConfig:
            Expect(a, 4, 4, c);
            Text(ServerConfig.m_JavaReload, a[0], "JAVARELOAD");
            Text(ServerConfig.m_SystemTrace, a[1], "SYSTEMTRACE");
            Text(ServerConfig.m_AppTrace, a[2], "APPTRACE");
            Text(ServerConfig.m_RunTrace, a[3], "RUNTRACE");
            break;
        case kCmdGetTrace:
            Expect(a, 1, 1, c);
            TraceKind = Number(a[0], "KIND");
            plan.scriptOut = true;
            break;
        case kCmdCleanTrace:
            Expect(a, 0, 1, c);
            TraceKind = a.empty() ? 0 : Number(a[0], "KIND");
            break;
        case kCmdGetFiles:
            Expect(a, 2, 2, c);
            app.m_ID = Number(a[0], "APPID");
            Text(FolderPath, a[1], "FOLDER");
            break;
        case kCmdDownloadFile: {
            Expect(a, 4, 4, c);
            long owner = Number(a[0], "OWNERID");
            TransferKind = static_cast<int>(Number(a[1], "KIND"));
            (TransferKind == kTransferRequest ? req.m_ID : app.m_ID) = owner;
            Text(TransferFileName, a[2], "NAME");
            if (a[3].empty()) Usage("LOCALFILE is empty");
            TransferLocalPath = a[3];
            if (a[3].size() > TransferLocalPath.kWidth) Usage("LOCALFILE is too long");
            plan.localFile = a[3];
            break;
        }
        case kCmdUploadFile: {
            Expect(a, 3, 3, c);
            app.m_ID = Number(a[0], "APPID");
            TransferKind = static_cast<int>(Number(a[1], "KIND"));
            if (ListCodeOfKind(TransferKind) == 0) Usage("bad KIND: " + a[1]);
            if (a[2].size() > TransferLocalPath.kWidth) Usage("LOCALFILE is too long");
            TransferLocalPath = a[2];
            Text(TransferFileName, os::BaseName(a[2]), "LOCALFILE's name");
            if (!os::FileExists(a[2].c_str()) || os::IsDirectory(a[2].c_str()))
                Usage("cannot read " + a[2]);
            plan.parseCode = ListCodeOfKind(TransferKind);
            break;
        }
        case kCmdDeleteFile:
        case kCmdRenameFile:
            Expect(a, code == kCmdDeleteFile ? 3 : 4, code == kCmdDeleteFile ? 3 : 4, c);
            app.m_ID = Number(a[0], "APPID");
            Text(FileFolder, a[1], "FOLDER");
            Text(TransferFileName, a[2], "NAME");
            if (code == kCmdRenameFile) Text(RenameNewName, a[3], "NEWNAME");
            TransferKind = static_cast<int>(o.kind);
            plan.parseCode = ListCodeOfKind(static_cast<int>(o.kind));
            break;
        default:
            Usage("unknown command: " + command);
    }
    if ((code == kCmdDownloadFile || code == kCmdUploadFile) && TransferKind == kTransferFiles &&
        FolderPath.size() + 1 + TransferFileName.size() > TransferFileName.kWidth)
        Usage("the folder and the name are longer than 1024 characters");
    plan.fetchDSs = code >= kCmdGetReqs && code <= kCmdDeleteReq;
    return plan;
}

// 0, or the exit status of a failed exchange (its reason already on stderr). With
// whole, an answer cut short (the server closed early) is no usable response either:
// a script must not take a part of a list for all of it.
int Exchange(int code, bool whole = false) {
    int rc = Session.Execute(code);
    if (rc == 0 && whole && !Session.AnswerArrivedWhole()) {
        std::fprintf(stderr, "quorvel-cli: the answer to %s did not arrive whole\n",
                     CommandName(code));
        return kExitNoResponse;
    }
    if (rc == 0) return kExitOk;
    if (rc == 1) {
        std::fprintf(stderr, "quorvel-cli: %s: %s\n", CommandName(code),
                     Session.GetErrorReason().c_str());
        return kExitServerError;
    }
    // A command refused before connecting says why.
    if (Session.GetErrorText()[0] != '\0')
        std::fprintf(stderr, "quorvel-cli: %s: %s\n", CommandName(code),
                     Session.GetErrorReason().c_str());
    else
        std::fprintf(stderr, "quorvel-cli: no usable response to %s\n", CommandName(code));
    return kExitNoResponse;
}

// Takes argv[i] (and its value) when it is one of the options: 1 taken, 0 not an option,
// -1 --help or --version answered.
int TakeOption(Options& o, int argc, char** argv, int& i) {
    const std::string arg = argv[i];
    auto value = [&](const char* option) -> std::string {
        if (i + 1 >= argc) Usage(std::string(option) + " needs a value");
        return argv[++i];
    };
    if (arg == "--help") {
        std::fputs(kUsage, stdout);
        return -1;
    } else if (arg == "--version") {
        std::puts("quorvel-cli " QV_VERSION);
        return -1;
    } else if (arg == "--profile") {
        o.profile = value("--profile");
    } else if (arg == "--host") {
        o.host = value("--host");
    } else if (arg == "--port") {
        o.port = Number(value("--port"), "--port");
        if (o.port < 1 || o.port > 64000) Usage("--port must be 1 to 64000");
    } else if (arg == "--user") {
        o.user = value("--user");
        o.userGiven = true;
    } else if (arg == "--password-file") {
        o.passwordFile = value("--password-file");
    } else if (arg == "--folder") {
        o.folder = value("--folder");
        o.folderGiven = true;
    } else if (arg == "--kind") {
        o.kind = Number(value("--kind"), "--kind");
        if (o.kind != 1 && o.kind != 2 && o.kind != 3 && o.kind != 6)
            Usage("--kind must be 1, 2, 3 or 6");
    } else if (arg == "--json") {
        o.json = true;
    } else if (arg == "--ssh") {
        o.ssh = value("--ssh");
        o.sshGiven = true;
    } else if (arg == "--ssh-option") {
        o.sshOptions.push_back(value("--ssh-option"));
        if (o.sshOptions.back().find('=') == std::string::npos)
            Usage("--ssh-option takes KEY=VALUE: " + o.sshOptions.back());
    } else if (arg == "--timeout") {
        o.timeoutSeconds = Number(value("--timeout"), "--timeout");
        if (o.timeoutSeconds < 1 || o.timeoutSeconds > 86400)
            Usage("--timeout must be 1 to 86400 seconds");
    } else {
        return 0;
    }
    return 1;
}

int Run(int argc, char** argv) {
    Options o;
    int i = 1;
    bool optionsEnded = false;
    for (; i < argc; ++i) {
        const int taken = TakeOption(o, argc, argv, i);
        if (taken < 0) return kExitOk;
        if (taken > 0) continue;
        const std::string arg = argv[i];
        if (arg == "--") {
            ++i;
            optionsEnded = true;
            break;
        }
        if (arg.size() > 1 && arg.compare(0, 2, "--") == 0) Usage("unknown option: " + arg);
        break;
    }
    if (i >= argc) Usage("no command");
    const std::string command = argv[i++];
    // Options may also follow the command and its arguments ("DeleteFile 1 '' x --kind 1");
    // every other word, the empty one included, is an argument, and after "--" all are.
    std::vector<std::string> args;
    for (; i < argc; ++i) {
        if (!optionsEnded) {
            if (std::strcmp(argv[i], "--") == 0) {
                optionsEnded = true;
                continue;
            }
            const int taken = TakeOption(o, argc, argv, i);
            if (taken < 0) return kExitOk;
            if (taken > 0) continue;
        }
        args.emplace_back(argv[i]);
    }

    // The connection: the profile first, then what the options say.
    int octets[4] = {127, 0, 0, 1};
    long port = -1;
    std::string user;
    std::string ssh;
    if (!o.profile.empty()) {
        StudioSettings profile;
        if (o.profile == kConfigFileName || profile.Load(o.profile.c_str()) != 0)
            Usage("cannot read profile " + o.profile);
        octets[0] = profile.GetIp1();
        octets[1] = profile.GetIp2();
        octets[2] = profile.GetIp3();
        octets[3] = profile.GetIp4();
        for (int k = 0; k < 4; ++k)
            if (octets[k] < 0 || octets[k] > 255) Usage("the profile's address is not valid");
        port = profile.GetPort();
        user = profile.GetUserName();
        ssh = profile.GetSshHost();
    }
    if (o.sshGiven) ssh = o.ssh;
    if (!o.host.empty() && ParseOctets(o.host, octets) != 0) Usage("bad --host: " + o.host);
    if (o.port > 0) port = o.port;
    if (port < 1 || port > 64000) Usage("no server port (--port or --profile)");
    if (o.userGiven) user = o.user;

    std::string password;
    if (!o.passwordFile.empty()) {
        std::string content;
        if (os::ReadWholeFile(o.passwordFile.c_str(), content) != 0)
            Usage("cannot read " + o.passwordFile);
        password = content.substr(0, content.find_first_of("\r\n"));
    } else if (const char* env = std::getenv("QUORVEL_PASSWORD")) {
        password = env;
    }
    Text(Credentials.m_UserName, user, "the user name");
    Text(Credentials.m_Password, password, "the password");
    if (o.folderGiven) Text(FolderPath, o.folder, "--folder");

    Plan plan = Prepare(command, args, o);

    Session.m_ServerAddress =
        net::MakeAddress(octets[0], octets[1], octets[2], octets[3], static_cast<int>(port));
    Session.m_SessionID = 0;
    Session.SetTimeouts(static_cast<int>(o.timeoutSeconds * 1000),
                        static_cast<int>(o.timeoutSeconds * 1000));
    Session.SetSshHost(ssh);
    Session.SetSshOptions(o.sshOptions);
    Session.SetSshAsker(net::AskOnTerminal);

    if (int rc = Exchange(kCmdLogin); rc != 0) return rc;
    switch (Session.ParseResponse(kCmdLogin)) {
        case kLoginOk:
            break;
        case kLoginFailed:
            std::fputs("Login failed!\n", stderr);
            return kExitLoginRefused;
        default:
            std::fputs("quorvel-cli: the login answer was not understood\n", stderr);
            return kExitLoginUnknown;
    }
    Session.m_Connected = 1;

    int status = kExitOk;
    if (plan.code != kCmdLogin && plan.code != kCmdLogout) {
        if (plan.fetchDSs) {
            // The requests show their data source's name, so the data sources come first.
            status = Exchange(kCmdGetDSs, true);
            if (status == 0) {
                DSList.Clear();
                Session.ParseResponse(kCmdGetDSs);
            }
        }
        if (status == 0) status = Exchange(plan.code, true);
        if (status == 0 && plan.parseCode != 0) {
            ClearTarget(plan.parseCode);
            int rc = Session.ParseResponse(plan.parseCode);
            if (rc != 0) {
                if (plan.code == kCmdDownloadFile)
                    std::fprintf(stderr,
                                 "quorvel-cli: the file did not arrive whole or %s "
                                 "cannot be written\n",
                                 plan.localFile.c_str());
                else
                    std::fprintf(stderr, "quorvel-cli: the answer to %s did not arrive whole\n",
                                 command.c_str());
                status = kExitNoResponse;
            }
        }
    }
    // Log out whatever happened; its own failure does not change the command's status.
    if (Session.Execute(kCmdLogout) != 0)
        std::fputs("quorvel-cli: warning: the logout did not complete\n", stderr);
    Session.m_Connected = 0;
    if (status != 0) return status;

    if (plan.scriptOut) {
        const Vessel& body = plan.code == kCmdGetReqScript ? ReqScript : TraceText;
        WriteOut(body.GetContent(), body.GetSize());
    } else if (plan.parseCode != 0 && IsTableCode(plan.parseCode)) {
        PrintTarget(plan.parseCode, o.json);
    }
    return std::fflush(stdout) == 0 ? kExitOk : kExitNoResponse;
}

}  // namespace

int main(int argc, char** argv) {
    os::RecordStartDirectory();
    try {
        return Run(argc, argv);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "quorvel-cli: %s\n(quorvel-cli --help for usage)\n", e.text.c_str());
        return kExitUsage;
    }
}
