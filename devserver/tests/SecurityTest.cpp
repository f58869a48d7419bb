// The server as an attacker and an operator try it: names that would leave the root,
// lengths that lie, links planted in a file area, crashes and signals.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

#include "devserver/tests/Harness.h"
#include "platform/net/TcpClient.h"
#include "platform/net/TcpListener.h"

using namespace dstest;
namespace fs = std::filesystem;

namespace {

TEST(Security, LengthInTheBodyDoesNotLiftTheLimit) {
    Server s({"--seed-demo", "--max-request-mb", "1"});
    ASSERT_GT(s.Port(), 0) << s.Stderr();
    long sid = Login(s.Port(), "admin", kAdminPassword);
    // The header says 100; a longer length inside the body is body text, nothing more.
    std::string body = "Content-Length: 2000000000\r\n\r\nserver_request=GetApps()\r\n\r\n";
    body.resize(100, 'x');
    std::string r = "DEV \r\nCookie: jsessionid=" + std::to_string(sid) +
                    "\r\nContent-length: 100\r\n\r\n" + body;
    std::string a = Exchange(s.Port(), r, 5000);
    EXPECT_TRUE(IsError(a)) << a.substr(0, 200);
    EXPECT_EQ(s.Stop(), 0) << s.Stderr();
}

TEST(Security, AFormPostCostsAFewTimesItsSize) {
    if (kSanitized) GTEST_SKIP() << "the sanitizers hold freed memory back";
    Server s;
    const std::string body = "server_request=FindCustomer(v)&v=" + std::string(16 << 20, '1');
    const long before = PeakMemoryKb(s.Pid());
    const std::string a =
        Exchange(s.Port(),
                 "POST /demo/ HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                 "Content-Length: " +
                     std::to_string(body.size()) + "\r\n\r\n" + body,
                 60000);
    EXPECT_EQ(a.rfind("HTTP/1.1 200", 0), 0u) << a.substr(0, 200);
    // The body, its value in UTF-16 and the argument: four times, not seven.
    EXPECT_LT(PeakMemoryKb(s.Pid()) - before, 5 * 16 * 1024);
}

TEST(Security, ADataSourceChangedOnDiskIsReadAnew) {
    // One worker: the connection it keeps to the data source, and the statements it
    // compiled there, are the ones that must notice.
    Server s({"--seed-demo", "--workers", "1"});
    const std::string list = "GET /demo/ListCustomers() HTTP/1.1\r\n\r\n";
    WriteFile(s.Dir() / "all.sql", "SELECT * FROM customers ORDER BY id");
    ASSERT_EQ(Cli(s, {"SetReqScript", "1", s.Dir() / "all.sql"}).rc, 0);
    EXPECT_EQ(Exchange(s.Port(), list).find("Zed"), std::string::npos);
    const std::string file = s.Root() + "/datasources/demo-db.sqlite";
    auto change = [](const std::string& path, const char* sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
        sqlite3_close(db);
    };
    // The same file, a column more.
    change(file, "ALTER TABLE customers ADD COLUMN vip TEXT DEFAULT 'gold'");
    EXPECT_NE(Exchange(s.Port(), list).find("<td>gold</td>"), std::string::npos);
    // Another file in its place.
    const std::string copy = s.Dir() / "copy.sqlite";
    fs::copy_file(file, copy);
    change(copy, "INSERT INTO customers(name, city) VALUES('Zed', 'Oslo')");
    fs::rename(copy, file);
    EXPECT_NE(Exchange(s.Port(), list).find("Zed"), std::string::npos);
}

TEST(Security, NamesThatWouldBecomePathsOutsideTheirPlaceAreRefused) {
    Server s;
    ASSERT_GT(s.Port(), 0) << s.Stderr();
    ASSERT_EQ(Cli(s, {"NewApp", "other", "x", "1"}).rc, 0);
    WriteFile(s.Root() + "/apps/demo/report.txt", "report");
    WriteFile(s.Root() + "/apps/demo/data/report.txt)old", "x");
    long sid = Login(s.Port(), "admin", kAdminPassword);
    long dev = Login(s.Port(), "developer", "developer");
    ASSERT_NE(dev, 0);
    const std::string before = Body(Command(s.Port(), sid, "GetApps()"));
    for (std::string name : {"..", ".", "../../../t2/escaped", "other/images", "a\\b", " lead",
                             "trail ", ".hidden", "bad\xff utf", "x%28y", "x%2cy", "x%29y"}) {
        std::string a = Command(s.Port(), dev, "EditApp(" + name + ",1,Demo shop,30)");
        EXPECT_TRUE(IsError(a)) << name << " -> " << a;
        a = Command(s.Port(), sid, "NewApp(" + name + ",x,1)");
        EXPECT_TRUE(IsError(a)) << name << " -> " << a;
        std::string app = "QUORVEL-APPLICATION 1\nname: x\ndescription: x\ntimeout: 1\nend\n";
        EXPECT_TRUE(IsError(Command(s.Port(), sid, "UploadFile(0,5," + name + ".app)", &app)));
    }
    EXPECT_EQ(Body(Command(s.Port(), sid, "GetApps()")), before);
    // An escaped parenthesis or comma in a file name means another file: refused.
    for (std::string text : {"DeleteFile(1,,report.txt%29old)", "DeleteFile(1,,report.txt%2Cold)",
                             "DeleteFile(1,,report.txt%28old)", "RenameFile(1,,report.txt,a%29b)"})
        EXPECT_TRUE(IsError(Command(s.Port(), sid, text))) << text;
    EXPECT_EQ(ReadFile(s.Root() + "/apps/demo/report.txt"), "report");
    EXPECT_TRUE(fs::exists(s.Root() + "/apps/demo/data/report.txt)old"));
    // Also for a file upload, whose file streams to disk.
    const std::string kept = "x";
    EXPECT_TRUE(IsError(Command(s.Port(), sid, "UploadFile(1,1,keep%29me.txt)", &kept)));
    EXPECT_FALSE(fs::exists(s.Root() + "/apps/demo/keep"));

    // A name an older database holds is reported at start, and its "folder" left alone.
    ASSERT_EQ(s.Stop(), 0) << s.Stderr();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((s.Root() + "/quorvel.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE apps SET name = '..' WHERE name = 'other'", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    // A name with a slash leads into a folder of its own: that folder stays where it is.
    fs::create_directories(s.Root() + "/apps/team/site");
    WriteFile(s.Root() + "/apps/team/site/index.html", "team");
    ASSERT_EQ(sqlite3_exec(db,
                           "INSERT INTO apps(name, description, timeout) VALUES('team/site', "
                           "'x', 0)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    ASSERT_TRUE(s.Start());
    EXPECT_NE(s.Stderr().find("cannot be a folder"), std::string::npos) << s.Stderr();
    EXPECT_EQ(ReadFile(s.Root() + "/apps/team/site/index.html"), "team");
    EXPECT_EQ(Cli(s, {"GetFiles", "2", ""}).rc, 6);
    sid = Login(s.Port(), "admin", kAdminPassword);
    EXPECT_TRUE(IsError(Command(s.Port(), sid, "DownloadFile(2,6,quorvel.db)")));
    EXPECT_EQ(Cli(s, {"DeleteApp", "2"}).rc, 0);
    EXPECT_TRUE(fs::exists(s.Root() + "/quorvel.db"));
    EXPECT_TRUE(fs::exists(s.Root() + "/apps/demo/index.html"));
    EXPECT_EQ(s.Stop(), 0) << s.Stderr();
}

TEST(Security, NoFileCommandFollowsALink) {
    Server s;
    ASSERT_GT(s.Port(), 0) << s.Stderr();
    const std::string area = s.Root() + "/apps/demo";
    const std::string outside = s.Dir() / "outside";
    fs::create_directories(outside);
    WriteFile(outside + "/outside_secret.txt", "secret");
    WriteFile(outside + "/victim.txt", "victim");
    fs::create_directory_symlink(outside, area + "/docs/shared");
    fs::create_directory_symlink(outside, area + "/images/shared");
    fs::create_symlink(outside + "/victim.txt", area + "/data/link.txt");
    fs::remove_all(area + "/data/sub");
    fs::create_directory_symlink(outside, area + "/data/sub");
    long sid = Login(s.Port(), "admin", kAdminPassword);
    std::string up = "evil";
    for (std::string text :
         {"DownloadFile(1,6,docs\\shared\\outside_secret.txt)", "GetFiles(1,docs\\shared)",
          "DeleteFile(1,docs\\shared,victim.txt)", "RenameFile(1,docs\\shared,victim.txt,x.txt)",
          "DownloadFile(1,3,link.txt)", "DeleteFile(1,,link.txt)"})
        EXPECT_TRUE(IsError(Command(s.Port(), sid, text))) << text;
    for (std::string text : {"UploadFile(1,6,docs\\shared\\victim.txt)",
                             "UploadFile(1,6,data\\sub\\new.txt)", "UploadFile(1,3,link.txt)"})
        EXPECT_TRUE(IsError(Command(s.Port(), sid, text, &up))) << text;
    EXPECT_EQ(ReadFile(outside + "/victim.txt"), "victim");
    EXPECT_FALSE(fs::exists(outside + "/new.txt"));
    EXPECT_FALSE(fs::exists(outside + "/x.txt"));
    // Listings show links as neither file nor folder.
    for (const auto& row : TableRows(Command(s.Port(), sid, "GetFiles(1,docs)")))
        EXPECT_NE(row[0], "shared");
    for (const auto& row : TableRows(Command(s.Port(), sid, "GetData(1)")))
        EXPECT_NE(row[0], "link.txt");
    EXPECT_EQ(s.Stop(), 0) << s.Stderr();
}

TEST(Security, OperatorMistakesAreNamedAndLoseNothing) {
    // A bad option value names the option and the value.
    Server bad({"--port", "80x"});
    EXPECT_EQ(bad.Port(), 0);
    EXPECT_NE(bad.Stderr().find("--port: \"80x\""), std::string::npos) << bad.Stderr();

    // A first start that cannot listen still tells the password it stored.
    ::unsetenv("QUORVEL_ADMIN_PASSWORD");
    auto busy = std::make_unique<net::TcpListener>();
    ASSERT_EQ(busy->Listen("127.0.0.1", 0), 0);
    Server s({"--port", std::to_string(busy->Port())}, false);
    EXPECT_EQ(s.Port(), 0);
    const std::string mark = "created with password ";
    const std::string err = s.Stderr();
    const std::size_t p = err.find(mark);
    ASSERT_NE(p, std::string::npos) << err;
    const std::string password = err.substr(p + mark.size(), err.find('\n', p) - p - mark.size());
    busy.reset();
    ASSERT_TRUE(s.Start()) << s.Stderr();
    EXPECT_NE(Login(s.Port(), "admin", password), 0);

    // A second server on the same root is refused.
    Server second({"--root", s.Root()});
    EXPECT_EQ(second.Port(), 0);
    EXPECT_NE(second.Stderr().find("another quorvel-devserver uses this root"), std::string::npos)
        << second.Stderr();
    EXPECT_EQ(s.Stop(), 0) << s.Stderr();
}

// User and system CPU time of a process, in clock ticks.
long CpuTicks(pid_t pid) {
    std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream in(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && in >> field; ++i) {
        if (i == 14) utime = std::atol(field.c_str());
        if (i == 15) stime = std::atol(field.c_str());
    }
    return utime + stime;
}

TEST(Security, OutOfDescriptorsTheServerWaitsAndRecovers) {
    rlimit old{};
    ::getrlimit(RLIMIT_NOFILE, &old);
    rlimit low = old;
    low.rlim_cur = 48;  // the server inherits it
    ::setrlimit(RLIMIT_NOFILE, &low);
    Server s({"--seed-demo", "--max-connections-per-address", "64"});
    ::setrlimit(RLIMIT_NOFILE, &old);
    ASSERT_GT(s.Port(), 0) << s.Stderr();
    long sid = Login(s.Port(), "admin", kAdminPassword);
    std::vector<std::unique_ptr<net::TcpClient>> idle;
    for (int i = 0; i < 60; ++i) {
        idle.push_back(std::make_unique<net::TcpClient>());
        idle.back()->Open();
        idle.back()->Connect(net::MakeAddress(127, 0, 0, 1, s.Port()), 1000);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const long before = CpuTicks(s.Pid());
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    // A spinning accept loop burns the whole second (100 ticks); waiting costs next to none.
    EXPECT_LT(CpuTicks(s.Pid()) - before, 30);
    idle.clear();
    EXPECT_FALSE(IsError(Command(s.Port(), sid, "GetApps()")));
    EXPECT_EQ(s.Stop(), 0) << s.Stderr();
}

TEST(Security, ADownloadThatIsNotReadHoldsNobodyUp) {
    Server s;
    ASSERT_GT(s.Port(), 0) << s.Stderr();
    WriteFile(s.Root() + "/apps/demo/data/big.bin", std::string(32 << 20, 'b'));
    long sid = Login(s.Port(), "admin", kAdminPassword);
    net::TcpClient slow;  // asks and never reads
    ASSERT_EQ(slow.Open(), 0);
    ASSERT_EQ(slow.Connect(net::MakeAddress(127, 0, 0, 1, s.Port()), 1000), 0);
    const std::string ask = DevRequest("server_request=DownloadFile(1,3,big.bin)\r\n\r\n", sid);
    ASSERT_EQ(slow.SendAll(ask.data(), ask.size(), 1000), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(IsError(Command(s.Port(), sid, "GetApps()", nullptr)));
    EXPECT_FALSE(IsError(Command(s.Port(), sid, "DeleteFile(1,,index.html)", nullptr)));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
    slow.Close();
    EXPECT_EQ(s.Stop(), 0) << s.Stderr();
}

TEST(Security, SessionsEndWhenTheirUsersPasswordTypeOrExistenceChanges) {
    Server s;
    ASSERT_GT(s.Port(), 0) << s.Stderr();
    long admin = Login(s.Port(), "admin", kAdminPassword);
    long a = Login(s.Port(), "developer", "developer");
    long b = Login(s.Port(), "developer", "developer");
    ASSERT_FALSE(IsError(Command(s.Port(), a, "UserPwd(changed1,1)")));
    EXPECT_FALSE(IsError(Command(s.Port(), a, "GetApps()")));  // the one that changed it stays
    EXPECT_TRUE(IsError(Command(s.Port(), b, "GetApps()")));
    ASSERT_FALSE(IsError(Command(s.Port(), admin, "UserPwd(changed2,1)")));
    EXPECT_TRUE(IsError(Command(s.Port(), a, "GetApps()")));
    EXPECT_FALSE(IsError(Command(s.Port(), admin, "GetApps()")));
    // So do a change of the user's type and the user's deletion (the user's own sessions
    // would otherwise go on, only with fewer grants).
    for (const char* change : {"EditUser(developer,x,1,1)", "DeleteUser(1)"}) {
        ASSERT_FALSE(IsError(Command(s.Port(), admin, "EditUser(developer,x,1,0)"))) << change;
        long c = Login(s.Port(), "developer", "changed2");
        ASSERT_NE(c, 0) << change;
        ASSERT_FALSE(IsError(Command(s.Port(), admin, change)));
        EXPECT_TRUE(IsError(Command(s.Port(), c, "GetApps()"))) << change;
    }
    EXPECT_EQ(s.Stop(), 0) << s.Stderr();
}

TEST(Security, TracesStaySmallAndAStopWaitsForNoTricklingClient) {
    Server s({"--seed-demo", "--max-trace-kb", "4"});
    ASSERT_GT(s.Port(), 0) << s.Stderr();
    long sid = Login(s.Port(), "admin", kAdminPassword);
    for (int i = 0; i < 150; ++i) Command(s.Port(), sid, i == 149 ? "GetUsers()" : "GetApps()");
    // The oldest half goes beside the writers: a moment later the file is within its limit.
    std::string trace;
    for (int i = 0; i < 100 && (trace = ReadFile(s.Root() + "/traces/System.trc")).size() > 4096;
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_LE(trace.size(), 4096u);
    EXPECT_GT(trace.size(), 1024u);
    EXPECT_NE(trace.find("admin GetUsers OK\r\n"), std::string::npos);
    EXPECT_EQ(trace.find("admin GetApps OK", trace.size() - 40), std::string::npos);

    // A byte every 100 ms keeps a connection from going idle, not the server from stopping:
    // neither in a request's header nor in an upload's file.
    std::atomic<bool> done{false};
    auto trickling = [&](std::string start) {
        return std::thread([&, start] {
            net::TcpClient c;
            if (c.Open() != 0 || c.Connect(net::MakeAddress(127, 0, 0, 1, s.Port()), 1000) != 0 ||
                c.SendAll(start.data(), start.size(), 1000) != 0)
                return;
            for (int i = 0; i < 50 && !done && c.SendAll("D", 1, 1000) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        });
    };
    std::thread header = trickling("DEV \r\n");
    std::thread upload =
        trickling("DEV \r\nCookie: jsessionid=" + std::to_string(sid) +
                  "\r\nContent-Length: 100000\r\n\r\nserver_request=UploadFile(1,3,"
                  "t.bin)&&&");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(s.Stop(), 0) << s.Stderr();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(kSanitized ? 3 : 1));
    done = true;
    header.join();
    upload.join();
}

// A raw exchange from another loopback address (127.0.0.2), to the server on 127.0.0.1.
std::string ExchangeFrom2(int port, const std::string& bytes) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    from.sin_addr.s_addr = htonl(0x7f000002);
    to.sin_addr.s_addr = htonl(0x7f000001);
    to.sin_port = htons(static_cast<uint16_t>(port));
    timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::string got;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0 &&
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
        ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(bytes.size())) {
        char buf[65536];
        for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) got.append(buf, n);
    }
    ::close(fd);
    return got;
}

TEST(Security, SlowAndGuessingClientsLockOutOnlyThemselves) {
    Server s({"--seed-demo", "--max-connections-per-address", "4", "--request-timeout-s", "1"});
    ASSERT_GT(s.Port(), 0) << s.Stderr();
    long sid = Login(s.Port(), "admin", kAdminPassword);
    // The login's connection is counted until its server thread ends, a moment after the
    // answer; on a loaded machine a slow client could otherwise be refused in its place.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // Four connections from 127.0.0.1 send a byte every 100 ms.
    std::atomic<int> dropped{0}, connected{0};
    std::vector<std::thread> slow;
    for (int i = 0; i < 4; ++i)
        slow.emplace_back([&] {
            net::TcpClient c;
            if (c.Open() != 0 || c.Connect(net::MakeAddress(127, 0, 0, 1, s.Port()), 1000) != 0)
                return;
            ++connected;
            for (int k = 0; k < 40; ++k) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                if (c.SendAll("D", 1, 500) != 0) {
                    ++dropped;
                    return;
                }
            }
        });
    for (int i = 0; i < 200 && connected < 4; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // Its fifth is refused at once; another address is served meanwhile.
    const std::string fifth = Command(s.Port(), sid, "GetApps()");
    EXPECT_TRUE(fifth.empty() || fifth.find("too many connections") != std::string::npos) << fifth;
    EXPECT_NE(ExchangeFrom2(s.Port(), DevRequest("server_request=GetApps()\r\n\r\n", sid))
                  .find("<table>"),
              std::string::npos);
    // The request deadline (1 s) ends the slow ones although each byte came in time.
    for (auto& t : slow) t.join();
    EXPECT_EQ(dropped, 4);

    // Wrong passwords cost their address more each time; another address logs in at once.
    const std::string wrong = DevRequest("server_request=server_login(admin,wrong)\r\n\r\n", 0);
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i)
        EXPECT_NE(Exchange(s.Port(), wrong).find("Login failed!"), std::string::npos);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(700));
    t0 = std::chrono::steady_clock::now();
    EXPECT_NE(ExchangeFrom2(s.Port(), DevRequest("server_request=server_login(admin," +
                                                     std::string(kAdminPassword) + ")\r\n\r\n",
                                                 0))
                  .find("Login OK!"),
              std::string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - t0,
              std::chrono::milliseconds(kSanitized ? 1500 : 500));
    EXPECT_EQ(s.Stop(), 0) << s.Stderr();
}

TEST(Security, AnUploadSlowerThanTheDeadlineButSteadyLands) {
    Server s({"--seed-demo", "--request-timeout-s", "1"});
    ASSERT_GT(s.Port(), 0) << s.Stderr();
    const long sid = Login(s.Port(), "admin", kAdminPassword);
    // 3 MB in 30 pieces over about 2 s: twice the deadline, yet far above 256 KB/s.
    const std::string piece(100000, 'u');
    const std::string call = "server_request=UploadFile(1,3,steady.bin)&&&";
    const std::string head =
        "DEV \r\nCookie: jsessionid=" + std::to_string(sid) +
        "\r\nContent-Length: " + std::to_string(call.size() + 30 * piece.size() + 4) + "\r\n\r\n" +
        call;
    net::TcpClient c;
    ASSERT_EQ(c.Open(), 0);
    ASSERT_EQ(c.Connect(net::MakeAddress(127, 0, 0, 1, s.Port()), 1000), 0);
    ASSERT_EQ(c.SendAll(head.data(), head.size(), 1000), 0);
    for (int i = 0; i < 30; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(70));
        ASSERT_EQ(c.SendAll(piece.data(), piece.size(), 1000), 0) << "cut off at piece " << i;
    }
    ASSERT_EQ(c.SendAll("\r\n\r\n", 4, 1000), 0);
    std::string answer;
    char buf[4096];
    for (long n; (n = c.Receive(buf, sizeof buf, 5000)) > 0;) answer.append(buf, n);
    ASSERT_FALSE(answer.empty() || IsError(answer)) << answer;
    EXPECT_EQ(ReadFile(s.Root() + "/apps/demo/data/steady.bin").size(), 3000000u);
}

TEST(Security, ACrashBetweenACommitAndItsFolderMoveLosesNothing) {
    Server s;
    ASSERT_GT(s.Port(), 0) << s.Stderr();
    long sid = Login(s.Port(), "admin", kAdminPassword);
    const std::string app = Body(Command(s.Port(), sid, "DownloadFile(1,5,demo.app)"));
    // Each command dies right after its commit; the next start finishes its move.
    auto crashing = [&](const std::string& text, const std::string* body) {
        ASSERT_EQ(s.Stop(), 0);
        ::setenv("QUORVEL_DEVSERVER_EXIT_BEFORE_MOVE", "1", 1);
        ASSERT_TRUE(s.Start());
        ::unsetenv("QUORVEL_DEVSERVER_EXIT_BEFORE_MOVE");
        sid = Login(s.Port(), "admin", kAdminPassword);
        EXPECT_EQ(Command(s.Port(), sid, text, body), "") << text;
        s.Kill9();
        ASSERT_TRUE(s.Start());
        sid = Login(s.Port(), "admin", kAdminPassword);
    };
    crashing("EditApp(shop,1,Demo shop,30)", nullptr);
    EXPECT_EQ(Cli(s, {"GetApps"}).Column(), (std::vector<std::string>{"shop"}));
    EXPECT_TRUE(fs::exists(s.Root() + "/apps/shop/images/logo.png"));
    EXPECT_FALSE(fs::exists(s.Root() + "/apps/demo"));
    crashing("UploadFile(0,5,copy.app)", &app);
    EXPECT_EQ(Cli(s, {"GetApps"}).Column(), (std::vector<std::string>{"shop", "copy"}));
    EXPECT_TRUE(fs::exists(s.Root() + "/apps/copy/images/logo.png"));
    crashing("DeleteApp(1)", nullptr);
    EXPECT_EQ(Cli(s, {"GetApps"}).Column(), (std::vector<std::string>{"copy"}));
    EXPECT_FALSE(fs::exists(s.Root() + "/apps/shop"));
    EXPECT_TRUE(fs::is_empty(s.Root() + "/trash"));
    EXPECT_EQ(s.Stop(), 0) << s.Stderr();
}

}  // namespace
