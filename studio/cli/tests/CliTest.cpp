// quorvel-cli end to end: the program is run as scripts run it, against a scripted
// server that records the exact bytes of every exchange.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/net/tests/ScriptedServer.h"

extern char** environ;

namespace {

using testing_net::Hold;
using testing_net::HttpOk;
using testing_net::HttpOkNoLength;
using testing_net::Pieces;
using testing_net::Whole;

const std::string kEnd = "\r\n\r\n";
const std::string kLoginOk =
    HttpOk("Login OK!\r\nserver_userid=3\r\n", "Set-Cookie: jsessionid=42;path=/\r\n");

std::string Request(const std::string& body, long session = 42) {
    std::string r = "DEV \r\n";
    if (session) r += "Cookie: jsessionid=" + std::to_string(session) + "\r\n";
    return r + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}
std::string Command(const std::string& text) {
    return Request("server_request=" + text + kEnd);
}
const std::string kLogin = Request("server_request=server_login(admin,pw)" + kEnd, 0);
const std::string kLogout = Command("server_logout()");

std::string Table(const std::vector<std::vector<std::string>>& rows) {
    std::string t = "<table>";
    for (const auto& row : rows) {
        t += "<tr>";
        for (const auto& c : row) t += "<td>" + c + "</td>";
        t += "</tr>";
    }
    return t + "</table>";
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}
void Spit(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test {
protected:
    CliTest() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "qv-cli-XXXXXX").string();
        if (::mkdtemp(tmpl.data())) m_Dir = tmpl;
    }
    ~CliTest() override {
        std::error_code ec;
        if (!m_Dir.empty()) std::filesystem::remove_all(m_Dir, ec);
    }
    std::string File(const std::string& name) const { return m_Dir + "/" + name; }

    // Runs quorvel-cli with the server's port, user "admin" and password "pw" before args.
    Outcome Run(const std::vector<std::string>& args, const std::string& input = {},
                bool connection = true, const std::string& stdoutPath = {}) {
        const char* cli = std::getenv("QV_CLI");
        EXPECT_NE(cli, nullptr) << "QV_CLI names the program under test";
        std::vector<std::string> words{cli ? cli : "quorvel-cli"};
        if (connection) {
            words.insert(words.end(),
                         {"--port", std::to_string(m_Server.Port()), "--user", "admin"});
        }
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);

        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            if (std::string(*e).rfind("QUORVEL_PASSWORD=", 0) != 0) env.emplace_back(*e);
        env.emplace_back("QUORVEL_PASSWORD=pw");
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);

        const std::string in = File(".stdin"), err = File(".stderr");
        const std::string out = stdoutPath.empty() ? File(".stdout") : stdoutPath;
        Spit(in, input);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 0, in.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        Outcome o;
        if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), envp.data()) == 0) {
            int ws = 0;
            if (::waitpid(pid, &ws, 0) == pid && WIFEXITED(ws)) o.status = WEXITSTATUS(ws);
        }
        posix_spawn_file_actions_destroy(&fa);
        o.out = stdoutPath.empty() ? Slurp(out) : std::string();
        o.err = Slurp(err);
        return o;
    }

    // Scripts login, the given answers, and the logout's empty page.
    void Script(std::vector<testing_net::Answer> answers) {
        m_Server.Push(Whole(kLoginOk));
        for (auto& a : answers) m_Server.Push(std::move(a));
    }

    std::string m_Dir;
    testing_net::ScriptedServer m_Server;
};

}  // namespace

TEST_F(CliTest, TableCommandsPrintTheirLayoutInListOrder) {
    // A cell's TAB, CR, LF or backslash is escaped: a value cannot forge a record.
    Script({Pieces(HttpOk(Table({{"app1", "7", "first", "30"},
                                 {"app2", "12abc", "a\\b \"q\"", "-4"},
                                 {"x\ty", "2", "d\r\nforged\t9\tz\t1", "3"},
                                 {std::string(60, 'n'), "1", "", ""}})),
                   7)});
    Outcome o = Run({"GetApps"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out,
              "app1\t7\tfirst\t30\napp2\t12\ta\\\\b \"q\"\t-4\n"
              "x\\ty\t2\td\\r\\nforged\\t9\\tz\\t1\t3\n" +
                  std::string(50, 'n') + "\t1\t\t0\n");
    ASSERT_TRUE(m_Server.WaitDone(3));
    EXPECT_EQ(m_Server.Requests(),
              (std::vector<std::string>{kLogin, Command("GetApps()"), kLogout}));

    // JSON is valid UTF-8 whatever the bytes: invalid ones become U+FFFD.
    Script({Whole(HttpOk(Table({{"app1", "7", "first", "30"},
                                {"app2", "12abc", "a\\b \"q\"", "-4"},
                                {"\xff\xc3(\xe2\x82", "1", "\xc3\xa9", "0"}})))});
    o = Run({"--json", "GetApps"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out,
              "[{\"Name\":\"app1\",\"ID\":7,\"Description\":\"first\",\"SessionTimeout\":30},"
              "{\"Name\":\"app2\",\"ID\":12,\"Description\":\"a\\\\b \\\"q\\\"\","
              "\"SessionTimeout\":-4},"
              "{\"Name\":\"\xef\xbf\xbd\xef\xbf\xbd(\xef\xbf\xbd\xef\xbf\xbd\",\"ID\":1,"
              "\"Description\":\"\xc3\xa9\",\"SessionTimeout\":0}]\n");

    // The request list is preceded by the data sources, whose name ends each line.
    Script({Whole(HttpOk(Table({{"ds1", "3", "main", "u", "4"}}))),
            Whole(HttpOk(Table({{"q1", "9", "3", "5", "1", "0", "01.02.2026 10:11:12"},
                                {"q2", "10", "8", "5", "2", "1", ""}})))});
    o = Run({"GetReqs", "5"});
    EXPECT_EQ(o.status, 0) << o.err;
    ASSERT_TRUE(m_Server.WaitDone(10));
    std::vector<std::string> sent = m_Server.Requests();
    ASSERT_EQ(sent.size(), 10u);
    EXPECT_EQ(sent[7], Command("GetDSs()"));
    EXPECT_EQ(sent[8], Command("GetReqs(5)"));
    EXPECT_EQ(sent[9], kLogout);
    std::istringstream lines(o.out);
    std::string first, second;
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_EQ(first.rfind("q1\t9\t3\t5\t1\t0\t", 0), 0u) << first;
    EXPECT_EQ(first.substr(first.rfind('\t')), "\tds1");
    EXPECT_EQ(second.substr(second.rfind('\t')), "\t") << "no data source 8";
}

TEST_F(CliTest, ArgumentsGoIntoTheCatalogueText) {
    struct Case {
        std::vector<std::string> args;
        std::string text;
    } cases[] = {
        {{"EditApp", "app1", "5", "first", "30"}, "EditApp(app1,5,first,30)"},
        {{"DSPwd", "3", "dbuser", "dbpass"}, "DSPwd(3,dbuser,dbpass)"},
        {{"GetFiles", "7", "pages\\img"}, "GetFiles(7,pages\\img)"},
        {{"NewApp", "", "", "0"}, "NewApp(,,0)"},
        // An empty folder is an argument like any other, and options may follow.
        {{"DeleteFile", "1", "", "style.css", "--kind", "1"}, "DeleteFile(1,,style.css)"},
        {{"--kind", "2", "RenameFile", "1", "", "a.png", "b.png"}, "RenameFile(1,,a.png,b.png)"},
        {{"SetReqUsers", "9", "11", "12"},
         "SetReqUsers(9)&&&<table><tr><td>11</td></tr><tr><td>12</td></tr></table>"},
        {{"SetReqParams", "9", "a", "b"},
         "SetReqParams(9)&&&<table><tr><td>a</td><td>0</td></tr><tr><td>b</td><td>1</td></tr>"
         "</table>"},
        {{"SetAppUsers", "5"}, "SetAppUsers(5)&&&<table></table>"},
        {{"CleanTrace"}, "CleanTrace(0)"},
        {{"--", "UserPwd", "--json", "11"}, "UserPwd(--json,11)"},
    };
    int exchanges = 0;
    for (const Case& c : cases) {
        Script({});
        Outcome o = Run(c.args);
        EXPECT_EQ(o.status, 0) << c.text << ": " << o.err;
        EXPECT_EQ(o.out, "") << c.text;
        exchanges += 3;
        ASSERT_TRUE(m_Server.WaitDone(exchanges));
        EXPECT_EQ(m_Server.Requests()[exchanges - 2], Command(c.text)) << c.text;
    }
}

TEST_F(CliTest, ScriptsAndFilesTravelByteForByte) {
    const std::string script("select 1\0\r\n\r\n&&&)\xff", 19);
    Script({});
    Outcome o = Run({"SetReqScript", "9", "-"}, script);
    EXPECT_EQ(o.status, 0) << o.err;
    ASSERT_TRUE(m_Server.WaitDone(3));
    EXPECT_EQ(m_Server.Requests()[1], Command("SetReqScript(9)&&&" + script));

    Script({Pieces(HttpOk(script), 3)});
    o = Run({"GetReqScript", "9"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, script);
    // Without Content-Length the server's close ends the body.
    Script({Whole(HttpOkNoLength(script))});
    o = Run({"GetTrace", "2"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, script);
    ASSERT_TRUE(m_Server.WaitDone(9));
    EXPECT_EQ(m_Server.Requests()[7], Command("GetTrace(2)"));

    const std::string bytes("\x00\x01<td>,)\r\n\r\nHTTP/1.1 200 OK\xfe", 29);
    Spit(File("up.bin"), bytes);
    Script({Whole(HttpOk(Table({{"up.bin", "29", "01.02.2026", "f"}})))});
    o = Run({"--folder", "pages\\img", "UploadFile", "5", "6", File("up.bin")});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "up.bin\t29\t01.02.2026\tf\n");
    ASSERT_TRUE(m_Server.WaitDone(12));
    EXPECT_EQ(m_Server.Requests()[10], Command("UploadFile(5,6,pages\\img\\up.bin)&&&" + bytes));

    Script({Pieces(HttpOk(bytes), 5)});
    o = Run({"DownloadFile", "5", "3", "d.bin", File("down.bin")});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(Slurp(File("down.bin")), bytes);
    ASSERT_TRUE(m_Server.WaitDone(15));
    EXPECT_EQ(m_Server.Requests()[13], Command("DownloadFile(5,3,d.bin)"));
}

TEST_F(CliTest, ExitStatusTellsWhatWentWrong) {
    // The server's error page: its reason on standard error, without the answer's header
    // and markup, and the logout still goes.
    Script({Whole(HttpOk("<h1>SERVER_ERROR</h1> no such application"))});
    Outcome o = Run({"DeleteApp", "77"});
    EXPECT_EQ(o.status, 6);
    EXPECT_EQ(o.err, "quorvel-cli: DeleteApp: no such application\n");
    ASSERT_TRUE(m_Server.WaitDone(3));
    EXPECT_EQ(m_Server.Requests()[2], kLogout);

    m_Server.Push(Whole(HttpOk("Login failed!")));
    o = Run({"GetApps"});
    EXPECT_EQ(o.status, 4);
    EXPECT_NE(o.err.find("Login failed!"), std::string::npos);
    m_Server.Push(Whole(HttpOk("Welcome")));
    EXPECT_EQ(Run({"GetApps"}).status, 5);
    ASSERT_TRUE(m_Server.WaitDone(5));
    EXPECT_EQ(m_Server.Connections(), 5) << "a refused login sends nothing more";

    // Usage errors send nothing at all.
    const std::vector<std::string> usage[] = {
        {"GetAppz"},
        {"GetApps", "1"},
        {"DeleteFile", "1", "style.css"},
        {"DeleteApp", "7x"},
        {"DeleteApp", ""},
        {"NewApp", "a,b", "d", "1"},
        {"NewApp", "a", "d)", "1"},
        {"NewApp", "a", "line\nbreak", "1"},
        {"NewApp", std::string(51, 'a'), "d", "1"},
        {"--kind", "4", "DeleteFile", "1", "", "x"},
        {"--timeout", "0", "GetApps"},
        {"--bogus", "GetApps"},
    };
    for (const auto& args : usage) {
        o = Run(args);
        EXPECT_EQ(o.status, 2) << args[0] << " " << (args.size() > 1 ? args[1] : "");
        EXPECT_NE(o.err.find("quorvel-cli: "), std::string::npos);
    }
    EXPECT_EQ(m_Server.Connections(), 5);

    // Nobody listening.
    o = Run({"--port", "1", "GetApps"});
    EXPECT_EQ(o.status, 3);
    EXPECT_EQ(o.err, "quorvel-cli: cannot connect to 127.0.0.1:1: Connection refused\n");
    EXPECT_EQ(Run({"GetApps"}, {}, false).status, 2) << "no port";
}

TEST_F(CliTest, BrokenAnswersNeverReplaceTheLocalFile) {
    const std::string old = "the old contents\n";
    Spit(File("keep.bin"), old);
    // Content-Length promises more than arrives before the close.
    Script({Whole("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly a part")});
    Outcome o = Run({"DownloadFile", "5", "3", "d.bin", File("keep.bin")});
    EXPECT_EQ(o.status, 3);
    EXPECT_EQ(Slurp(File("keep.bin")), old);
    Script({Whole("HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n")});
    EXPECT_EQ(Run({"DownloadFile", "5", "3", "d.bin", File("keep.bin")}).status, 3);
    EXPECT_EQ(Slurp(File("keep.bin")), old);

    // A server that accepts and never answers ends the call after the idle time-out.
    Script({Hold()});
    const auto start = std::chrono::steady_clock::now();
    o = Run({"--timeout", "1", "DownloadFile", "5", "3", "d.bin", File("keep.bin")});
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(o.status, 3);
    EXPECT_LT(took, std::chrono::seconds(20));
    EXPECT_EQ(Slurp(File("keep.bin")), old);
    // A list cut short, or no answer at all, is no list: nothing printed.
    Script({Whole("HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n<table><tr><td>app1</td>")});
    o = Run({"GetApps"});
    EXPECT_EQ(o.status, 3);
    EXPECT_EQ(o.out, "");
    EXPECT_NE(o.err.find("did not arrive whole"), std::string::npos) << o.err;
    Script({Whole("")});
    o = Run({"--json", "GetUsers"});
    EXPECT_EQ(o.status, 3);
    EXPECT_EQ(o.out, "");
    // A script answer that is cut short prints nothing.
    Script({Whole("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nselect")});
    o = Run({"GetReqScript", "9"});
    EXPECT_EQ(o.status, 3);
    EXPECT_EQ(o.out, "");
}

TEST_F(CliTest, HelpAfterTheCommandIsNeverASilentSuccess) {
    // After the command --help and --version are refused, and nothing is sent; after
    // "--" they are arguments like any other.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"NewApp", "z", "--help", "30"}, {"GetApps", "--version"}}) {
        Outcome o = Run(args);
        EXPECT_EQ(o.status, 2) << args[2 % args.size()];
        EXPECT_EQ(o.out, "");
        EXPECT_NE(o.err.find("before the command"), std::string::npos) << o.err;
    }
    EXPECT_EQ(m_Server.Connections(), 0);
    Script({});
    EXPECT_EQ(Run({"NewApp", "z", "--", "--help", "30"}).status, 0);
    ASSERT_TRUE(m_Server.WaitDone(3));
    EXPECT_EQ(m_Server.Requests()[1], Command("NewApp(z,--help,30)"));

    // Before the command, --help answers what a script needs to know.
    Outcome help = Run({"--help"}, {}, false);
    EXPECT_EQ(help.status, 0);
    for (const char* needed :
         {"1 Html", "6 Files", "1 SQL, 2 JAVA", "0 Public, 1 Private", "0 Dev, 1 Run",
          "\"--\" ends the options", "Name Size Modified Kind", "Name ID DSID AppID Language",
          "6  the server refused", "7  local I/O", "find-in-scripts APPID PATTERN", "diff"})
        EXPECT_NE(help.out.find(needed), std::string::npos) << needed;
    // Every port there is.
    EXPECT_EQ(Run({"--port", "65535", "GetApps"}, {}, false).status, 3);
    EXPECT_EQ(Run({"--port", "65536", "GetApps"}, {}, false).status, 2);
}

TEST_F(CliTest, EveryFailureSaysWhatAndExitsByItsKind) {
    // The server's reason on one line, without the answer's header.
    Script(
        {Whole(HttpOk("<html><body><h1>SERVER_ERROR</h1>\r\n<p>The data source is used "
                      "by 5 request(s)</p></body></html>"))});
    Outcome o = Run({"DeleteDS", "1"});
    EXPECT_EQ(o.status, 6);
    EXPECT_EQ(o.err, "quorvel-cli: DeleteDS: The data source is used by 5 request(s)\n");

    // Standard output on a full disk.
    Script({Whole(HttpOk(Table({{"app1", "7", "first", "30"}})))});
    o = Run({"GetApps"}, {}, true, "/dev/full");
    EXPECT_EQ(o.status, 7);
    EXPECT_NE(o.err.find("cannot write to standard output"), std::string::npos) << o.err;

    // Local files: a script that cannot be read sends nothing; a download whose file
    // cannot be written is refused before it is asked for.
    const int before = m_Server.Connections();
    o = Run({"SetReqScript", "9", File("no-such-script")});
    EXPECT_EQ(o.status, 7);
    EXPECT_NE(o.err.find("no-such-script"), std::string::npos);
    EXPECT_EQ(Run({"UploadFile", "5", "6", File("no-such-file")}).status, 7);
    EXPECT_EQ(m_Server.Connections(), before);
    Script({});
    o = Run({"DownloadFile", "5", "3", "d.bin", File("no-dir/d.bin")});
    EXPECT_EQ(o.status, 7);
    EXPECT_NE(o.err.find("cannot be written"), std::string::npos) << o.err;
    ASSERT_TRUE(m_Server.WaitDone(before + 2));
    EXPECT_EQ(m_Server.Requests().back(), kLogout) << "DownloadFile was never sent";
}

TEST_F(CliTest, JsonIsOneDocumentWithNumbersAsNumbers) {
    Script({Whole(HttpOk("select 1\r\n\"x\"\t"))});
    Outcome o = Run({"--json", "GetReqScript", "9"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out,
              "{\"Command\":\"GetReqScript\",\"Text\":\"select 1\\r\\n\\\"x\\\"\\t\","
              "\"Base64\":false}\n");
    // A Latin-1 trace keeps every byte: base64, said so.
    Script({Whole(HttpOk("\xe9t\xe9"))});
    o = Run({"GetTrace", "2", "--json"});
    EXPECT_EQ(o.out, "{\"Command\":\"GetTrace\",\"Text\":\"6XTp\",\"Base64\":true}\n");

    Script({Whole(HttpOk(Table({{"docs", "", "01.02.2026", "1"}, {"a.txt", "12", "x", "0"}})))});
    o = Run({"--json", "GetFiles", "5", ""});
    EXPECT_EQ(o.out,
              "[{\"Name\":\"docs\",\"Size\":null,\"Modified\":\"01.02.2026\",\"Kind\":1},"
              "{\"Name\":\"a.txt\",\"Size\":12,\"Modified\":\"x\",\"Kind\":0}]\n");
    Script({});
    o = Run({"--json", "SetConfig", "0", "1", "1", "0"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "{\"Command\":\"SetConfig\"}\n");
}

TEST_F(CliTest, FindInScriptsAndDiffOfTwoServers) {
    const std::string reqs =
        Table({{"q1", "9", "3", "5", "1", "0", "x"}, {"q2", "10", "3", "5", "2", "1", "y"}});
    Script({Whole(HttpOk(reqs)), Whole(HttpOk("select *\r\nfrom orders o\r\nwhere 1")),
            Whole(HttpOk("class Orders {}\nnothing\n"))});
    Outcome o = Run({"find-in-scripts", "5", "orders"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "q1\t2\tfrom orders o\n");
    ASSERT_TRUE(m_Server.WaitDone(5));
    EXPECT_EQ(m_Server.Requests()[1], Command("GetReqs(5)"));
    EXPECT_EQ(m_Server.Requests()[3], Command("GetReqScript(10)"));
    // An extended expression, and JSON.
    Script({Whole(HttpOk(reqs)), Whole(HttpOk("select *\nfrom orders o")),
            Whole(HttpOk("class Orders {}\nnothing\n"))});
    o = Run({"--regex", "--json", "find-in-scripts", "5", "[Oo]rders( o|)$"});
    EXPECT_EQ(o.out, "[{\"Request\":\"q1\",\"ID\":9,\"Line\":2,\"Text\":\"from orders o\"}]\n");
    EXPECT_EQ(Run({"--regex", "find-in-scripts", "5", "(unclosed"}).status, 2);
    ASSERT_TRUE(m_Server.WaitDone(10));
    EXPECT_EQ(m_Server.Connections(), 10) << "a bad expression sends nothing";

    // Both profiles name this server; the answers differ in one script line and one user.
    auto profile = [this](const std::string& name) {
        Spit(File(name), "Name=" + name + "\r\nIP1=127\r\nIP2=0\r\nIP3=0\r\nIP4=1\r\nPort=" +
                             std::to_string(m_Server.Port()) + "\r\nUserName=admin\r\n");
        return File(name);
    };
    auto server = [&](const std::string& script, const std::string& userType) {
        Script({Whole(HttpOk(Table({{"ds1", "3", "main", "u", "4"}}))),
                Whole(HttpOk(Table({{"admin", "boss", "0", "0"}, {"web", "", "4", userType}}))),
                Whole(HttpOk(Table({{"shop", "5", "the shop", "30"}}))),
                Whole(HttpOk(Table({{"4", "web", "0"}}))),
                Whole(HttpOk(Table({{"q1", "9", "3", "5", "1", "0", "x"}}))),
                Whole(HttpOk(Table({{"id", "0"}}))), Whole(HttpOk("")), Whole(HttpOk(script))});
        m_Server.Push(Whole(HttpOk("")));  // the logout
    };
    const std::string a = profile("a.con"), b = profile("b.con");
    server("select 1\nfrom t\nwhere id = ?\n", "0");
    server("select 1\nfrom t\nwhere id = ?\n", "0");
    o = Run({"--profile", a, "--profile-b", b, "diff", "--json"}, {}, false);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "{\"Command\":\"diff\",\"Differ\":false,\"Diff\":\"\"}\n");
    server("select 1\nfrom t\nwhere id = ?\n", "0");
    server("select 2\nfrom t\nwhere id = ?\n", "1");
    o = Run({"--profile", a, "--profile-b", b, "diff"}, {}, false);
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_EQ(o.out, "--- " + a + "\n+++ " + b +
                         "\n"
                         "@@ -7,7 +7,7 @@\n"
                         "   Type: Dev\n"
                         " user web\n"
                         "   Description:\n"
                         "-  Type: Dev\n"
                         "+  Type: Run\n"
                         " application shop\n"
                         "   Description: the shop\n"
                         "   SessionTimeout: 30\n"
                         "@@ -19,6 +19,6 @@\n"
                         "   Parameters: id\n"
                         "   Users:\n"
                         "   Script:\n"
                         "-  | select 1\n"
                         "+  | select 2\n"
                         "   | from t\n"
                         "   | where id = ?\n");
}
