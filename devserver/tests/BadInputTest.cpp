// Bad input over the raw wire: every refusal is a "SERVER_ERROR" answer with a reason,
// changes nothing, and the server keeps serving.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "devserver/tests/Harness.h"
#include "platform/net/TcpClient.h"

using namespace dstest;
namespace fs = std::filesystem;

namespace {

// Everything a client can see of the state.
std::string Snapshot(int port, long sid) {
    std::string all;
    for (const char* c : {"GetApps()", "GetReqs(1)", "GetDSs()", "GetUsers()", "GetAppUsers(1)",
                          "GetReqParams(2)", "GetReqUsers(3)", "GetFiles(1,)", "GetHtmls(1)",
                          "GetImages(1)", "GetData(1)", "GetReqScript(1)"}) {
        std::string a = Command(port, sid, c);
        // Drop the header: modification times aside, the bodies must not change.
        all += Body(a) + "\n";
    }
    return all;
}

TEST(BadInput, RefusedWithAReasonAndNothingChanges) {
    Server s({"--seed-demo", "--max-request-mb", "1"});
    ASSERT_GT(s.Port(), 0) << s.Stderr();
    long sid = Login(s.Port(), "admin", kAdminPassword);
    ASSERT_NE(sid, 0);
    std::string before = Snapshot(s.Port(), sid);
    std::string longName(51, 'x'), longUser(21, 'u'), longFile(100, 'f');
    struct Case {
        std::string text;
        std::string reason;
    } cases[] = {
        {"NoSuchCommand()", "Unknown command NoSuchCommand"},
        {"GetApps(1)", "Wrong number of arguments"},
        {"NewApp(a,b)", "Wrong number of arguments"},
        {"DeleteApp(1,2)", "Wrong number of arguments"},
        {"DeleteApp(one)", "not a number"},
        {"DeleteApp(1x)", "not a number"},
        {"DeleteApp()", "Wrong number of arguments"},
        {"GetReqs(99999999999999)", "not a number"},
        {"NewApp(,x,1)", "is empty"},
        {"NewApp(" + longName + ",x,1)", "longer than 50"},
        {"NewApp(a<b,x,1)", "holds one of"},
        {"NewApp(a>b,x,1)", "holds one of"},
        {"NewApp(a&b,x,1)", "holds one of"},
        {"NewApp(a(b,x,1)", "holds one of"},
        {"NewApp(a\tb,x,1)", "control character"},
        {"NewApp(demo,x,1)", "exists already"},
        {"NewApp(a,x,1)b)", "goes on after"},
        {"NewUser(" + longUser + ",x,0)", "longer than 20"},
        {"NewUser(admin,x,0)", "exists already"},
        {"NewDS(demo-db,x,1)", "exists already"},
        {"EditApp(x,77,y,1)", "Unknown application 77"},
        {"DeleteReq(77)", "Unknown request 77"},
        {"DeleteDS(77)", "Unknown data source 77"},
        {"DeleteUser(77)", "Unknown user 77"},
        {"GetFiles(1,..)", "leaves the application's area"},
        {"GetFiles(1,docs\\..)", "leaves the application's area"},
        {"GetFiles(1,/etc)", "slash"},
        {"GetFiles(1,\\docs)", "empty part"},
        {"GetFiles(1,c:)", "drive letter"},
        {"DeleteFile(1,,..)", "leaves the application's area"},
        {"DeleteFile(1,..,quorvel.db)", "leaves the application's area"},
        {"DeleteFile(1,,../quorvel.db)", "slash"},
        {"DeleteFile(1,,/etc/passwd)", "slash"},
        {"DeleteFile(1,,images\\logo.png)", "slash"},
        {"DeleteFile(1,,C:x)", "drive letter"},
        {"DeleteFile(1,," + longFile + ")", "longer than 99"},
        {"RenameFile(1,,index.html,../x.html)", "slash"},
        {"RenameFile(1,,index.html,style.css)", "exists already"},
        {"DownloadFile(1,1,../quorvel.db)", "slash"},
        {"DownloadFile(1,6,..\\..\\quorvel.db)", "leaves the application's area"},
        {"DownloadFile(1,7,x)", "Transfer kind"},
        {"GetReqScript(1)&&&x\r\n\r\n", "takes no extra body"},
        {"SetReqScript(1)", "needs an extra body"},
        {"SetConfig(1,1,1,x)", "1 or 0"},
    };
    for (const auto& c : cases) {
        std::string a = Command(s.Port(), sid, c.text);
        EXPECT_TRUE(IsError(a)) << c.text << " -> " << a;
        EXPECT_NE(a.find(c.reason), std::string::npos) << c.text << " -> " << a;
    }
    // NUL inside a name, and uploads that would leave the area.
    std::string nul = std::string("DeleteFile(1,,index") + '\0' + ".html)";
    EXPECT_TRUE(IsError(Command(s.Port(), sid, nul)));
    for (std::string name : {"UploadFile(1,6,..\\evil.txt)", "UploadFile(1,1,../evil.txt)",
                             "UploadFile(1,6,docs\\..\\..\\evil.txt)", "UploadFile(1,3,.hidden)"}) {
        std::string body = "evil";
        EXPECT_TRUE(IsError(Command(s.Port(), sid, name, &body))) << name;
    }
    for (const auto& e : fs::recursive_directory_iterator(s.Root()))
        EXPECT_NE(e.path().filename(), "evil.txt") << e.path();
    // A table that is not a table.
    std::string junk = "<table><tr><td>1</td>";
    EXPECT_NE(Command(s.Port(), sid, "SetAppUsers(1)", &junk).find("cannot be read"),
              std::string::npos);
    EXPECT_NE(Command(s.Port(), sid, "SetReqParams(2)", &junk).find("cannot be read"),
              std::string::npos);
    // Not a DEV request (a browser's, for no application), no Content-Length, a header
    // without end.
    EXPECT_EQ(
        Exchange(s.Port(), "GET / HTTP/1.1\r\nContent-Length: 0\r\n\r\n").rfind("HTTP/1.1 404", 0),
        0u);
    EXPECT_TRUE(IsError(Exchange(s.Port(), "DEV \r\n\r\nserver_request=GetApps()\r\n\r\n")));
    EXPECT_TRUE(IsError(Exchange(s.Port(), DevRequest("GetApps()\r\n\r\n", sid))));
    EXPECT_EQ(Snapshot(s.Port(), sid), before);

    // Larger than the limit: refused from the header alone, the body never sent.
    std::string big =
        "DEV \r\nCookie: jsessionid=" + std::to_string(sid) +
        "\r\nContent-Length: 2000000\r\n\r\nserver_request=UploadFile(1,3,big.bin)&&&";
    std::string a = Exchange(s.Port(), big);
    EXPECT_NE(a.find("larger than"), std::string::npos) << a;
    EXPECT_FALSE(fs::exists(s.Root() + "/apps/demo/data/big.bin"));
    // The length is the header's, in any case: a small one in the body changes nothing.
    for (const char* header : {"content-length: 2000000\r\n", "X-Size: 1\r\n"}) {
        a = Exchange(s.Port(), "DEV \r\nCookie: jsessionid=" + std::to_string(sid) + "\r\n" +
                                   header + "\r\nContent-Length: 5\r\nserver_request=GetApps()");
        EXPECT_TRUE(IsError(a)) << header << a;
    }

    // Unfinished requests do not hold the server up.
    net::TcpClient idle;
    ASSERT_EQ(idle.Open(), 0);
    ASSERT_EQ(idle.Connect(net::MakeAddress(127, 0, 0, 1, s.Port()), 2000), 0);
    idle.SendAll("DEV \r\n", 6, 1000);
    EXPECT_FALSE(IsError(Command(s.Port(), sid, "GetApps()")));
    EXPECT_EQ(s.Stop(), 0) << s.Stderr();
}

TEST(BadInput, IdleConnectionIsDropped) {
    Server s({"--idle-timeout-s", "1"});
    ASSERT_GT(s.Port(), 0) << s.Stderr();
    net::TcpClient c;
    ASSERT_EQ(c.Open(), 0);
    ASSERT_EQ(c.Connect(net::MakeAddress(127, 0, 0, 1, s.Port()), 2000), 0);
    const std::string part = "DEV \r\nContent-Length: 50\r\n\r\nserver_";
    ASSERT_EQ(c.SendAll(part.data(), part.size(), 1000), 0);
    auto t0 = std::chrono::steady_clock::now();
    char buf[256];
    long n = c.Receive(buf, sizeof buf, 10000);
    double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(n, 0);  // closed without an answer
    EXPECT_LT(waited, 8.0);
    EXPECT_EQ(s.Stop(), 0) << s.Stderr();
}

TEST(BadInput, AdministratorPasswordIsTakenOnTheFirstStartOnly) {
    // The password file is read on the first start only; later starts keep the hash.
    Server s{std::vector<std::string>{}};
    ASSERT_GT(s.Port(), 0);
    EXPECT_NE(Login(s.Port(), "admin", kAdminPassword), 0);
    ASSERT_EQ(s.Stop(), 0);
    WriteFile(s.PasswordFile(), "another\n");
    ASSERT_TRUE(s.Start());
    EXPECT_NE(Login(s.Port(), "admin", kAdminPassword), 0);
    EXPECT_EQ(Login(s.Port(), "admin", "another"), 0);
    EXPECT_EQ(s.Stop(), 0);
}

TEST(BadInput, AdministratorPasswordFromTheEnvironmentOrMadeUpAndPrintedOnce) {
    ::unsetenv("QUORVEL_ADMIN_PASSWORD");
    {
        Server s(std::vector<std::string>{}, false);
        ASSERT_GT(s.Port(), 0) << s.Stderr();
        const std::string mark = "created with password ";
        std::string err = s.Stderr();
        std::size_t p = err.find(mark);
        ASSERT_NE(p, std::string::npos) << err;
        std::string password = err.substr(p + mark.size(), err.find('\n', p) - p - mark.size());
        EXPECT_GE(password.size(), 12u);
        EXPECT_NE(Login(s.Port(), "admin", password), 0);
        ASSERT_EQ(s.Stop(), 0);
        ASSERT_TRUE(s.Start());
        EXPECT_EQ(s.Stderr().find(mark, p + 1), std::string::npos);  // printed once only
        EXPECT_NE(Login(s.Port(), "admin", password), 0);
        EXPECT_EQ(s.Stop(), 0);
    }
    ::setenv("QUORVEL_ADMIN_PASSWORD", "from-env-1", 1);
    Server s(std::vector<std::string>{}, false);
    ::unsetenv("QUORVEL_ADMIN_PASSWORD");
    ASSERT_GT(s.Port(), 0) << s.Stderr();
    EXPECT_EQ(s.Stderr().find("created with password"), std::string::npos);
    EXPECT_NE(Login(s.Port(), "admin", "from-env-1"), 0);
    EXPECT_EQ(s.Stop(SIGINT), 0);  // Ctrl-C stops it as cleanly as SIGTERM
    EXPECT_NE(s.Stderr().find("stopped"), std::string::npos);
}

}  // namespace
