// What the run time trusts: where a request comes from, which cookie carries the session,
// how long a login lasts, how many sessions a client can make, and what a visitor's text
// can do in a page, an address or a trace.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "devserver/tests/RunTimeFixture.h"

using namespace dstest;
namespace fs = std::filesystem;

namespace {

// The demo's AddOrder page says "Order N for NAME"; a refusal says why.
bool Ordered(const std::string& answer) {
    return answer.find("<h1>Order placed</h1>") != std::string::npos;
}

}  // namespace

TEST_F(RunTime, PrivateRequestsRunOnlyForTheApplicationsOwnPages) {
    const std::string login = LogIn();
    EXPECT_TRUE(Has(login, "SameSite=Strict")) << login;
    const std::string order = "/demo/AddOrder(1,666)";
    for (const char* header : {"Sec-Fetch-Site: cross-site", "Origin: http://shop.example",
                               "Origin: null", "Referer: http://shop.example/page.html"}) {
        const std::string a = Curl({"-H", header, order});
        EXPECT_EQ(Status(a), 403) << header << a;
        EXPECT_FALSE(Ordered(a)) << header;
    }
    // A login form on another site cannot log a browser in either.
    EXPECT_EQ(Status(Curl({"-H", "Origin: http://shop.example", "--data-urlencode",
                           "server_request=server_login(user,password)", "-d", "user=shopper", "-d",
                           "password=shopper", "/demo/index.html"})),
              403);
    // A link on the shop's own page works.
    const std::string own = Url("/demo/index.html", s);
    EXPECT_TRUE(Ordered(Curl({"-H", "Sec-Fetch-Site: same-origin", "-e", own, order})));
    EXPECT_TRUE(Ordered(Curl({order})));  // a typed address
}

TEST_F(RunTime, TheSessionKeyComesFromItsCookieAloneAndEndsWithTheLogin) {
    LogIn();
    const std::string key = SessionKey();
    ASSERT_EQ(key.size(), 32u);
    const std::string order = "/demo/AddOrder(1,5)";
    auto bare = [&](std::vector<std::string> args) {  // a browser without the jar
        const std::string own = jar;
        jar = s.Dir() / "other.txt";
        fs::remove(jar);
        const std::string a = Curl(args);
        jar = own;
        return a;
    };
    EXPECT_TRUE(Ordered(bare({"-H", "Cookie: jsessionid=" + key, order})));
    for (const std::string& elsewhere : {"X-Note: jsessionid=" + key, "Cookie: myjsessionid=" + key,
                                         "Cookie: x=jsessionid=" + key})
        EXPECT_EQ(Status(bare({"-H", elsewhere, order})), 403) << elsewhere;
    EXPECT_EQ(Status(bare({order + "?jsessionid=" + key})), 403);
    // Sent to another application the key is ignored, not ended.
    ASSERT_EQ(Cli(s, {"NewApp", "other", "x", "0"}).rc, 0);
    bare({"-H", "Cookie: jsessionid=" + key, "/other/index.html"});
    EXPECT_TRUE(Ordered(Curl({order})));

    // A changed password ends the login; so does a change of type and back.
    std::vector<std::string> shopper;
    for (const auto& u : Cli(s, {"GetUsers"}).Rows())
        if (u.size() == 4 && u[0] == "shopper") shopper = u;
    ASSERT_EQ(shopper.size(), 4u);
    const std::string& id = shopper[2];
    ASSERT_EQ(Cli(s, {"UserPwd", "shopper2", id}).rc, 0);
    EXPECT_EQ(Status(Curl({order})), 403);
    LogIn("shopper2");
    ASSERT_TRUE(Ordered(Curl({order})));
    ASSERT_EQ(Cli(s, {"EditUser", "shopper", shopper[1], id, "0"}).rc, 0);
    ASSERT_EQ(Cli(s, {"EditUser", "shopper", shopper[1], id, "1"}).rc, 0);
    EXPECT_EQ(Status(Curl({order})), 403);
}

TEST_F(RunTime, AnonymousFloodsEndOnlyTheirOwnSessions) {
    LogIn();
    // 8 anonymous sessions an address; 40 in all.
    const std::string own = jar;
    jar = "/dev/null";  // keeps no cookie
    for (int i = 0; i < 60; ++i) Curl({"/demo/index.html"});
    jar = own;
    EXPECT_TRUE(Ordered(Curl({"/demo/AddOrder(1,7)"})));
    std::vector<std::string> demo;
    for (const auto& r : Cli(s, {"GetConfigApps"}).Rows())
        if (r.size() >= 6 && r[0] == "demo") demo = r;
    ASSERT_EQ(demo.size(), 6u);
    EXPECT_EQ(demo[2], "9");   // the login and the address's last eight
    EXPECT_EQ(demo[3], "61");  // begun today (the login's visit and the flood), all written
}

TEST_F(RunTime, AVisitorsTextStaysTextInPagesAddressesAndTraces) {
    // A stored value in an unquoted attribute cannot add one.
    WriteFile(s.Root() + "/apps/demo/FindCustomer.html", "<img src=#FIELD(0,0,0)>");
    WriteFile(s.Dir() / "script.sql", "SELECT ?");
    ASSERT_EQ(Cli(s, {"SetReqScript", "2", s.Dir() / "script.sql"}).rc, 0);
    std::string a = Curl({"/demo/FindCustomer(x%20onerror%3Dalert%601%60)"});
    EXPECT_EQ(Status(a), 200) << a;
    EXPECT_FALSE(Has(a, " onerror")) << a;
    EXPECT_FALSE(Has(a, "=alert")) << a;

    // A CR LF in an address forges no trace line.
    ASSERT_EQ(Cli(s, {"SetConfig", "0", "0", "0", "1"}).rc, 0);
    Curl({"/demo/x%0D%0ASERVER_ERROR:%20forged%20line"});
    const std::string trace = Cli(s, {"GetTrace", "4"}).out;
    EXPECT_TRUE(Has(trace, "x\\x0D\\x0ASERVER-ERROR: forged line")) << trace;
    EXPECT_FALSE(Has(trace, "\nSERVER")) << trace;

    // A name beyond ASCII names its application in an address.
    ASSERT_EQ(Cli(s, {"NewApp", "caf\xc3\xa9", "x", "0"}).rc, 0);
    WriteFile(s.Root() + "/apps/caf\xc3\xa9/index.html", "menu");
    a = Curl({"/caf%C3%A9/"});
    EXPECT_EQ(Status(a), 200) << a;
    EXPECT_TRUE(Has(a, "menu"));
    EXPECT_TRUE(Has(Curl({"/caf%C3%A9"}), "Location: /caf%C3%A9/"));
}

TEST_F(RunTime, LoginGuessesFromOneAddressWaitTheirTurn) {
    // Six wrong passwords at once from one address are answered one after the other, each
    // after its growing wait (50, 100, ... 1600 ms): 3.15 s at least, where parallel waits
    // took 1.6 s; meanwhile the administrator logs in from another address at once.
    auto guess = [&](int i) {
        return RunProgram(
            {FindProgram("curl"), "-sS", "--interface", "127.0.0.2", "-o", "/dev/null",
             "--data-urlencode", "server_request=server_login(user,password)", "-d", "user=shopper",
             "-d", "password=wrong" + std::to_string(i), Url("/demo/index.html", s)},
            s.Dir() / ("guess" + std::to_string(i) + ".err"));
    };
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> guesses;
    for (int i = 0; i < 6; ++i) guesses.emplace_back(guess, i);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(Cli(s, {"GetApps"}).rc, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
    for (auto& t : guesses) t.join();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3150));
}

TEST_F(RunTime, BrowsersGetTheStatusHttpGivesAtOnce) {
    auto status = [&](const std::string& request) {
        const auto start = std::chrono::steady_clock::now();
        const std::string a = Exchange(s.Port(), request);
        // Answered at once, not when the connection has been idle long enough.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << request;
        return a.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(a.c_str() + 9) : 0;
    };
    EXPECT_EQ(status("POST /demo/ HTTP/1.1\r\nHost: h\r\n\r\n"), 411);
    EXPECT_EQ(
        status("POST /demo/ HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n"),
        501);
    EXPECT_EQ(status("POST /demo/ HTTP/1.1\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd"),
              400);
    EXPECT_EQ(status("POST /demo/ HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n"), 413);
    EXPECT_EQ(status("GET /demo/ HTTP/1.1\r\nX: " + std::string(70000, 'x') + "\r\n\r\n"), 431);
    EXPECT_EQ(status("BREW /demo/ HTTP/1.1\r\n\r\n"), 501);
    // Past what all connections may hold in memory (1 MB here): 503, before the rest is read.
    EXPECT_EQ(
        status("POST /demo/ HTTP/1.1\r\nContent-Length: 2000000\r\n\r\n" + std::string(13000, 'x')),
        503);
    EXPECT_EQ(status("GET /demo/index.html HTTP/1.1\nHost: h\n\n"), 400);
    for (const char* method : {"OPTIONS", "DELETE", "PUT"}) {
        const std::string a = Exchange(s.Port(), std::string(method) + " /demo/ HTTP/1.1\r\n\r\n");
        EXPECT_EQ(Status(a), 405) << method;
        EXPECT_TRUE(Has(a, "Allow: GET, HEAD, POST")) << a;
    }
    // HEAD: GET's header, no body.
    const std::string get = Exchange(s.Port(), "GET /demo/index.html HTTP/1.1\r\n\r\n");
    const std::string head = Exchange(s.Port(), "HEAD /demo/index.html HTTP/1.1\r\n\r\n");
    EXPECT_EQ(Status(head), 200);
    EXPECT_EQ(head, get.substr(0, get.find("\r\n\r\n") + 4)
                        .replace(get.find("jsessionid=") + 11, 32,
                                 head.substr(head.find("jsessionid=") + 11, 32)));
    // A rendered page names its charset; a failed request is a 500 with the library's page.
    EXPECT_TRUE(Has(Curl({"/demo/ListCustomers()"}), "Content-Type: text/html; charset=utf-8"));
    WriteFile(s.Dir() / "script.sql", "SELECT x");
    ASSERT_EQ(Cli(s, {"SetReqScript", "1", s.Dir() / "script.sql"}).rc, 0);
    const std::string failed = Curl({"/demo/ListCustomers()"});
    EXPECT_EQ(Status(failed), 500);
    EXPECT_TRUE(Has(failed, "Please contact technical support.")) << failed;
}
