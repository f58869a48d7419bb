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
#include "studio/cli/Cli.h"
#include "studio/cli/Commands.h"
#include "studio/session/Layouts.h"
#include "studio/session/ScriptSearch.h"
#include "studio/session/ServerSession.h"
#include "studio/shell/StudioSettings.h"

namespace {

using namespace cli;

const char* const kUsage =
    "usage: quorvel-cli [OPTIONS] COMMAND [ARGUMENT...] [OPTIONS]\n"
    "\n"
    "Runs one command of the Quorvel server's administration catalogue: logs in, sends\n"
    "the command, logs out, and prints the records of the answer, one line each with\n"
    "the columns separated by a TAB. Inside a column a TAB, CR, LF and backslash are\n"
    "written as \\t, \\r, \\n and \\\\, so every record is one line. Options may also\n"
    "follow the command and its arguments; \"--\" ends the options, and every word after\n"
    "it is an argument. --help and --version go before the command.\n"
    "\n"
    "options:\n"
    "  --profile FILE        take name, address, port and user name from a connection\n"
    "                        profile (*.con)\n"
    "  --host A.B.C.D        server address (default 127.0.0.1; overrides the profile)\n"
    "  --port N              server port, 1 to 65535\n"
    "  --user NAME           login user name\n"
    "  --password-file FILE  the password is the first line of FILE; without it, the\n"
    "                        environment variable QUORVEL_PASSWORD\n"
    "  --folder PATH         the Files folder that UploadFile and DownloadFile of kind 6 use\n"
    "  --kind K              the list kind (1, 2, 3 or 6; default 6) whose list DeleteFile\n"
    "                        and RenameFile parse\n"
    "  --json                print one JSON document instead of lines (see JSON below)\n"
    "  --timeout SECONDS     give up when connecting or when the server sends nothing for\n"
    "                        SECONDS (1 to 86400; default 60)\n"
    "  --regex               find-in-scripts: PATTERN is an extended regular expression\n"
    "  --profile-b FILE      diff: the second server's connection profile\n"
    "  --password-file-b FILE  diff: the second server's password; without it, the\n"
    "                        variable QUORVEL_PASSWORD_B, else the first server's\n"
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
    "  GetTrace TRACE | CleanTrace [TRACE]\n"
    "  find-in-scripts APPID PATTERN   every line of the application's request scripts\n"
    "                                  that holds PATTERN (with --regex: matches it)\n"
    "  diff --profile A --profile-b B  what differs between two servers: applications,\n"
    "                                  requests with their parameters, users and scripts,\n"
    "                                  data sources and users, as a unified diff\n"
    "\n"
    "argument values:\n"
    "  KIND      1 Html, 2 Image, 3 Data, 4 request file (OWNERID is the request's id),\n"
    "            5 application file, 6 Files (in the --folder folder)\n"
    "  LANGUAGE  1 SQL, 2 JAVA            ACCESS  0 Public, 1 Private\n"
    "  TYPE      0 Dev, 1 Run             the trace switches of SetConfig: 0 off, 1 on\n"
    "  TRACE     the server's trace number (the devserver's: 1 Start, 2 System,\n"
    "            3 Application, 4 Run); CleanTrace without one, or 0, cleans all\n"
    "\n"
    "answers: the columns of each line, in order, which are also the JSON keys:\n";

// What follows the answers' columns in --help.
const char* const kUsageEnd =
    "  GetReqScript, GetTrace  the text itself (JSON: Command, Text, Base64)\n"
    "  find-in-scripts  Request Line Text (JSON also ID, the request's id)\n"
    "  diff             \"--- A\", \"+++ B\" and the hunks of a unified diff (JSON:\n"
    "                   Command, Differ and Diff, the diff's text)\n"
    "  UploadFile of kind 4 answers as GetReqs, of kind 5 as GetApps, of the others as\n"
    "  the kind's list; DeleteFile and RenameFile as the --kind list. The other commands\n"
    "  print nothing (JSON: {\"Command\": NAME}).\n"
    "\n"
    "JSON: one document per call, always valid UTF-8 (bytes that are not UTF-8 become\n"
    "U+FFFD); a list is an array of objects; numbers are numbers (Size in K, null for a\n"
    "folder). A script or trace that is not UTF-8 comes as base64 with \"Base64\": true.\n"
    "\n"
    "exit status:\n"
    "  0  success (diff: the servers do not differ)\n"
    "  1  diff: the servers differ\n"
    "  2  usage error: unknown command or option, bad argument; nothing was sent\n"
    "  3  connection failure: cannot connect, send or receive, or the answer broke off\n"
    "  4  login refused\n"
    "  5  login answer not understood\n"
    "  6  the server refused the command (its reason on standard error)\n"
    "  7  local I/O: a local file or standard output cannot be read or written\n"
    "Every failure says what failed on standard error.\n";

// The columns of every list answer, from the layouts the parser itself stores by, so
// the help can never name another order.
std::string AnswerColumns() {
    std::string text;
    auto group = [&text](std::initializer_list<int> codes, auto layout, const char* more = "") {
        std::string line = " ";
        for (int code : codes) line += std::string(" ") + CommandName(code);
        line.resize(std::max<std::size_t>(line.size() + 2, 44), ' ');
        std::vector<std::string> keys;
        for (const auto& column : layout) keys.emplace_back(column.key);
        if (*more) keys.emplace_back(more);
        for (const std::string& key : keys) {
            if (line.size() + key.size() > 88) {
                text += line + "\n";
                line = std::string(44, ' ');
            } else if (line.size() > 44 && line.back() != ' ') {
                line += ' ';
            }
            line += key;
        }
        text += line + "\n";
    };
    group({3, 4, 5, 6}, AppLayout(3));
    group({36}, AppLayout(36));
    group({7, 8, 9, 10}, ReqLayout(7), "DSName");
    group({11}, ParamLayout(11));
    group({13}, UserLayout(13));
    group({41}, UserLayout(41));
    group({21, 22, 23, 24, 38}, UserLayout(21));
    group({17, 18, 19, 20, 39}, DSLayout(17));
    group({25, 26, 27}, FileLayout(25));
    group({40}, FileLayout(40));
    group({28}, ConfigLayout(28));
    return text;
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

// Fields the server sends as text that are numbers all the same: in JSON they are numbers
// as atol reads them, and an empty one (a folder's size) is null.
bool NumberInText(std::string_view key) {
    static constexpr std::string_view kKeys[] = {
        "Size",         "Kind",      "SystemTrace", "AppTrace",        "RunTrace",  "JavaReload",
        "HttpSessions", "Executing", "MemoryTotal", "MemoryAvailable", "MemoryUsed"};
    for (std::string_view k : kKeys)
        if (k == key) return true;
    return false;
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
                const std::string value = c.get(item);
                if (c.number)
                    line += value;
                else if (NumberInText(c.key))
                    line += value.empty() ? "null" : std::to_string(ParseLong(value));
                else
                    JsonString(line, value);
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
        Out(line);
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
        if (m_Json) Out("[");
    }
    void End() {
        if (m_Json) Out("]\n");
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
    bool regex = false;
    std::string profileB;
    std::string passwordFileB;
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
            if (!ReadInput(a[1], script))
                LocalFailure("cannot read " + a[1] + ": " + std::strerror(errno));
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
                LocalFailure("cannot read " + a[2]);
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

// Takes argv[i] (and its value) when it is one of the options: 1 taken, 0 not an option,
// -1 --help or --version answered. After the command, --help and --version are refused:
// answering them there would leave a script believing that its command ran.
int TakeOption(Options& o, int argc, char** argv, int& i, bool afterCommand) {
    const std::string arg = argv[i];
    auto value = [&](const char* option) -> std::string {
        if (i + 1 >= argc) Usage(std::string(option) + " needs a value");
        return argv[++i];
    };
    if (afterCommand && (arg == "--help" || arg == "--version")) {
        Usage(arg + " goes before the command (after \"--\" it is an argument); nothing was sent");
    } else if (arg == "--help") {
        Out(kUsage + AnswerColumns() + kUsageEnd);
        return -1;
    } else if (arg == "--version") {
        Out("quorvel-cli " QV_VERSION "\n");
        return -1;
    } else if (arg == "--profile") {
        o.profile = value("--profile");
    } else if (arg == "--host") {
        o.host = value("--host");
    } else if (arg == "--port") {
        o.port = Number(value("--port"), "--port");
        if (o.port < 1 || o.port > 65535) Usage("--port must be 1 to 65535");
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
    } else if (arg == "--regex") {
        o.regex = true;
    } else if (arg == "--profile-b") {
        o.profileB = value("--profile-b");
    } else if (arg == "--password-file-b") {
        o.passwordFileB = value("--password-file-b");
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

// The address, port and user name of a connection profile.
void LoadProfile(const std::string& path, ServerTarget& t) {
    StudioSettings profile;
    if (path == kConfigFileName || profile.Load(path.c_str()) != 0)
        LocalFailure("cannot read profile " + path);
    t.octets[0] = profile.GetIp1();
    t.octets[1] = profile.GetIp2();
    t.octets[2] = profile.GetIp3();
    t.octets[3] = profile.GetIp4();
    for (int k = 0; k < 4; ++k)
        if (t.octets[k] < 0 || t.octets[k] > 255)
            Usage("the address of profile " + path + " is not valid");
    t.port = profile.GetPort();
    t.user = profile.GetUserName();
    t.ssh = profile.GetSshHost();
}

// The first line of file; without one, the environment variable, else the fallback.
std::string ReadPassword(const std::string& file, const char* variable,
                         const std::string* fallback) {
    if (!file.empty()) {
        std::string content;
        if (os::ReadWholeFile(file.c_str(), content) != 0) LocalFailure("cannot read " + file);
        return content.substr(0, content.find_first_of("\r\n"));
    }
    if (const char* env = std::getenv(variable)) return env;
    return fallback ? *fallback : std::string();
}

int Run(int argc, char** argv) {
    Options o;
    int i = 1;
    bool optionsEnded = false;
    for (; i < argc; ++i) {
        const int taken = TakeOption(o, argc, argv, i, false);
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
            if (TakeOption(o, argc, argv, i, true) > 0) continue;
        }
        args.emplace_back(argv[i]);
    }

    // The connection: the profile first, then what the options say.
    ServerTarget target;
    if (!o.profile.empty()) LoadProfile(o.profile, target);
    if (o.sshGiven) target.ssh = o.ssh;
    if (!o.host.empty() && ParseOctets(o.host, target.octets) != 0) Usage("bad --host: " + o.host);
    if (o.port > 0) target.port = o.port;
    if (target.port < 1 || target.port > 65535) Usage("no server port (--port or --profile)");
    if (o.userGiven) target.user = o.user;
    target.password = ReadPassword(o.passwordFile, "QUORVEL_PASSWORD", nullptr);
    if (o.folderGiven) Text(FolderPath, o.folder, "--folder");
    Session.SetTimeouts(static_cast<int>(o.timeoutSeconds * 1000),
                        static_cast<int>(o.timeoutSeconds * 1000));
    Session.SetSshOptions(o.sshOptions);
    Session.SetSshAsker(net::AskOnTerminal);

    if (command == kDiffCommand) {
        if (o.profileB.empty()) Usage("diff needs the second server: --profile-b FILE");
        if (!args.empty()) Usage("diff takes no arguments");
        ServerTarget b;
        LoadProfile(o.profileB, b);
        b.password = ReadPassword(o.passwordFileB, "QUORVEL_PASSWORD_B", &target.password);
        const std::string labelA = !o.profile.empty() ? o.profile
                                                      : (o.host.empty() ? "127.0.0.1" : o.host) +
                                                            ":" + std::to_string(target.port);
        return DiffServers(target, b, labelA, o.profileB, o.json);
    }
    Aim(target);
    if (command == kFindCommand) {
        if (args.size() != 2) Usage("wrong number of arguments for find-in-scripts");
        const long appID = Number(args[0], "APPID");
        ScriptPattern pattern;
        if (const std::string why = pattern.Set(args[1], o.regex); !why.empty())
            Usage("bad PATTERN '" + args[1] + "': " + why);
        if (int rc = LogIn(); rc != 0) return rc;
        const int status = FindInScripts(appID, pattern, o.json);
        LogOut();
        return status;
    }

    Plan plan = Prepare(command, args, o);

    if (int rc = LogIn(); rc != 0) return rc;

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
            // A download kept only when it came whole; what fails after that is the disk.
            const bool downloaded = plan.code == kCmdDownloadFile && Session.DownloadPending();
            if (Session.ParseResponse(plan.parseCode) != 0) {
                if (downloaded) {
                    std::fprintf(stderr, "quorvel-cli: cannot write %s: %s\n",
                                 plan.localFile.c_str(), std::strerror(errno));
                    status = kExitLocalIO;
                } else {
                    std::fprintf(stderr, "quorvel-cli: the answer to %s did not arrive whole\n",
                                 command.c_str());
                    status = kExitConnection;
                }
            }
        }
    }
    // Log out whatever happened; its own failure does not change the command's status.
    LogOut();
    if (status != 0) return status;

    if (plan.scriptOut) {
        const Vessel& body = plan.code == kCmdGetReqScript ? ReqScript : TraceText;
        const std::string_view bytes(body.GetContent() ? body.GetContent() : "",
                                     static_cast<std::size_t>(body.GetSize()));
        if (o.json) {
            // One JSON document whatever the bytes: a Latin-1 script travels as base64.
            std::string doc = "{\"Command\":";
            JsonString(doc, command);
            doc += ',';
            JsonBytes(doc, "Text", bytes);
            Out(doc + "}\n");
        } else {
            Out(bytes);
        }
    } else if (plan.parseCode != 0 && IsTableCode(plan.parseCode)) {
        PrintTarget(plan.parseCode, o.json);
    } else if (o.json) {
        std::string doc = "{\"Command\":";
        JsonString(doc, command);
        Out(doc + "}\n");
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    os::RecordStartDirectory();
    try {
        const int status = Run(argc, argv);
        // What is still buffered may not fit either (a full disk): that is a failure too.
        if (std::fflush(stdout) != 0 || std::ferror(stdout))
            LocalFailure(std::string("cannot write to standard output: ") + std::strerror(errno));
        return status;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "quorvel-cli: %s\n(quorvel-cli --help for usage)\n", e.text.c_str());
        return kExitUsage;
    } catch (const LocalError& e) {
        std::fprintf(stderr, "quorvel-cli: %s\n", e.text.c_str());
        return kExitLocalIO;
    }
}
