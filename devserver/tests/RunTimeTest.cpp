// What browsers get from the applications: pages, SQL requests, the run-time login,
// uploads, the session counts, driven by real clients (curl, headless Chromium).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "devserver/tests/RunTimeFixture.h"

using namespace dstest;
namespace fs = std::filesystem;

TEST_F(RunTime, PagesAndFilesComeFromTheAreaOnly) {
    std::string a = Curl({"/demo/index.html"});
    EXPECT_EQ(Status(a), 200) << a;
    EXPECT_TRUE(Has(a, "Content-Type: text/html"));
    EXPECT_TRUE(std::regex_search(a, std::regex("Set-Cookie: jsessionid=[0-9a-f]{32}; HttpOnly")));
    EXPECT_TRUE(Has(a, "<a href=ListCustomers()>Customers</a>"));
    a = Curl({"/demo/images/logo.png"});
    EXPECT_TRUE(Has(a, "Content-Type: image/png"));
    EXPECT_EQ(a.substr(a.find("\r\n\r\n") + 4), ReadFile(s.Root() + "/apps/demo/images/logo.png"));
    EXPECT_TRUE(Has(Curl({"/demo/data/customers.csv"}), "1,Ada,London"));
    a = Curl({"/demo?x=1"});  // typed without the last slash: sent below it
    EXPECT_EQ(Status(a), 301) << a;
    EXPECT_TRUE(Has(a, "Location: /demo/\r\n"));

    // Nothing outside the area, and no link inside it, leads anywhere.
    fs::create_symlink(s.Root() + "/quorvel.db", s.Root() + "/apps/demo/link.html");
    for (const char* bad : {"/demo/missing.html", "/demo/../quorvel.db", "/demo/%2e%2e/quorvel.db",
                            "/demo/images/..%2f..%2f..%2fquorvel.db", "/demo/link.html",
                            "/nosuchapp/index.html", "/demo/.hidden"})
        EXPECT_EQ(Status(Curl({bad})), 404) << bad;
}

TEST_F(RunTime, SqlRequestsBindTheirArguments) {
    std::string a = Curl({"/demo/ListCustomers()"});
    EXPECT_TRUE(Has(a, "<tr><td>1</td><td>Ada</td><td>London</td></tr>")) << a;
    EXPECT_TRUE(Has(a, "<th>Name</th>"));  // through the page template
    a = Curl({"/demo/FindCustomer(2)"});
    EXPECT_TRUE(Has(a, "Grace"));
    EXPECT_FALSE(Has(a, "Ada"));
    EXPECT_TRUE(Has(a, "FindCustomer.html not found!"));  // no template: the plain page

    // Injection probes find nothing and change nothing: the argument is only ever a value.
    for (const char* probe :
         {"/demo/FindCustomer(1%20OR%201=1)", "/demo/FindCustomer(1'%20OR%20'1'='1)",
          "/demo/FindCustomer(1;DELETE%20FROM%20customers)",
          "/demo/FindCustomer(2%22;DROP%20TABLE%20customers;--)"}) {
        a = Curl({probe});
        EXPECT_EQ(Status(a), 200) << probe;
        EXPECT_FALSE(Has(a, "<td>")) << probe << a;
    }
    // A form post with the call in a field, its argument naming another field.
    a = Curl({"--data-urlencode", "server_request=FindCustomer(who)", "-d", "who=3",
              "/demo/index.html"});
    EXPECT_TRUE(Has(a, "Linus")) << a;
    a = Curl({"--data-urlencode", "server_request=FindCustomer(who)", "--data-urlencode",
              "who=1' OR '1'='1", "/demo/index.html"});
    EXPECT_FALSE(Has(a, "<td>")) << a;
    a = Curl({"/demo/ListCustomers()"});
    for (const char* name : {"Ada", "Grace", "Linus"}) EXPECT_TRUE(Has(a, name)) << a;

    EXPECT_EQ(Status(Curl({"/demo/FindCustomer()"})), 400);  // one argument, not none
    EXPECT_EQ(Status(Curl({"/demo/FindCustomer(1"})), 400);  // no brackets
    EXPECT_EQ(Status(Curl({"/demo/NoSuchRequest()"})), 404);
    ASSERT_EQ(Cli(s, {"NewReq", "Totals", "1", "1", "2", "0"}).rc, 0);  // a JAVA request
    a = Curl({"/demo/Totals()"});
    EXPECT_EQ(Status(a), 501);
    EXPECT_TRUE(Has(a, "SQL requests only"));
}

TEST_F(RunTime, ScriptsStayInTheirDatabaseAndWithinLimits) {
    // ListCustomers (request 1) gets each script in turn.
    auto run = [&](const std::string& script) {
        WriteFile(s.Dir() / "script.sql", script);
        EXPECT_EQ(Cli(s, {"SetReqScript", "1", s.Dir() / "script.sql"}).rc, 0);
        return Curl({"/demo/ListCustomers()"});
    };
    const std::string outside = s.Dir() / "outside.db";
    for (const std::string& script :
         {"ATTACH DATABASE '" + outside + "' AS x", std::string("SELECT load_extension('x')"),
          std::string("PRAGMA writable_schema = 1; UPDATE sqlite_schema SET sql = 'x'"),
          std::string("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                      "SELECT count(*) FROM n"),  // past the time limit
          std::string("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n LIMIT 51) "
                      "SELECT i FROM n"),  // past the row cap
          std::string("INSERT INTO customers(name, city) VALUES('Eve', 'Nowhere'); SELECT x"),
          // A COMMIT of its own would keep the INSERT although the request fails.
          std::string("INSERT INTO customers(name, city) VALUES('Eve', 'Nowhere'); COMMIT; "
                      "SELECT x"),
          std::string("PRAGMA journal_mode = OFF"),
          // Reads a code address, then registers a forged tokenizer and uses it.
          std::string("SELECT hex(fts3_tokenizer('simple'))"),
          std::string("SELECT fts3_tokenizer('evil', x'4141414141414141'); CREATE VIRTUAL "
                      "TABLE v USING fts3(a, tokenize=evil); INSERT INTO v VALUES('boom')")}) {
        const std::string a = run(script);
        EXPECT_TRUE(Has(a, "Please contact technical support.")) << script << a;
    }
    // Reading the schema is still allowed.
    EXPECT_TRUE(Has(run("SELECT name FROM pragma_table_info('customers')"), "city"));
    EXPECT_FALSE(fs::exists(outside));
    // The failed script's INSERT was rolled back with it; several statements, several tables.
    const std::string a = run("SELECT count(*) FROM customers WHERE name = 'Eve'; SELECT 1");
    EXPECT_TRUE(Has(a, "<tr><td>0</td></tr>")) << a;
    // The Run trace holds the database's message of a failed statement.
    EXPECT_TRUE(Has(Cli(s, {"GetTrace", "4"}).out, "no such column: x"));
    // One wide cell costs its own bytes, not its width in every row of the page. (The
    // sanitizers slow the query past its time limit and hold memory of their own.)
    if (kSanitized) return;
    const long before = PeakMemoryKb(s.Pid());
    const std::string wide =
        run("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n LIMIT 50) SELECT i, "
            "CASE WHEN i = 7 THEN printf('%.*c', 2000000, 'w') ELSE '' END FROM n");
    EXPECT_TRUE(Has(wide, "<tr><td>50</td><td></td></tr>"));
    EXPECT_TRUE(Has(wide, "<td>" + std::string(2000000, 'w') + "</td>"));
    EXPECT_LT(PeakMemoryKb(s.Pid()) - before, 64 * 1024) << "a 2 MB cell in 50 rows";
}

TEST_F(RunTime, PrivateRequestsNeedTheRunUsersLogin) {
    const std::vector<std::string> order = {"--data-urlencode",
                                            "server_request=AddOrder(customer,amount)",
                                            "-d",
                                            "customer=3",
                                            "-d",
                                            "amount=12.5",
                                            "/demo/index.html"};
    EXPECT_EQ(Status(Curl(order)), 403);
    EXPECT_EQ(Status(LogIn("wrong")), 403);
    EXPECT_EQ(Status(Curl({"/demo/server_login(shopper,shopper)"})), 400);  // not in an address
    std::string a = LogIn();
    EXPECT_TRUE(Has(a, "Logged in as shopper.")) << a;
    a = Curl(order);
    EXPECT_TRUE(Has(a, "Order placed")) << a;
    EXPECT_TRUE(Has(a, "for Linus: 12.5"));
    // A statement that fails gives the error page; its message goes to the Run trace.
    a = Curl({"-d", "customer=99&amount=1", "/demo/AddOrder(customer,amount)"});
    EXPECT_TRUE(Has(a, "Error: 19")) << a;
    const std::string trace = Cli(s, {"GetTrace", "4"}).out;
    EXPECT_TRUE(Has(trace, "FOREIGN KEY constraint failed"));
    EXPECT_TRUE(Has(trace, "shopper demo/AddOrder() 200 rows 1 ")) << trace;

    a = Curl({"--data-urlencode", "server_request=server_logout()", "/demo/index.html"});
    EXPECT_TRUE(Has(a, "jsessionid=; Max-Age=0"));
    EXPECT_EQ(Status(Curl(order)), 403);
    // Dev users administer; they do not log in at run time.
    EXPECT_EQ(Status(Curl({"--data-urlencode", "server_request=server_login(u,p)", "-d",
                           "u=developer", "-d", "p=developer", "/demo/index.html"})),
              403);
}

TEST_F(RunTime, UploadsLandInTheDataFolderThroughARequest) {
    auto rows = Cli(s, {"NewReq", "Attach", "1", "1", "1", "0"}).Rows();
    ASSERT_EQ(rows.size(), 4u);
    const std::string id = rows[3][1];
    ASSERT_EQ(Cli(s, {"SetReqParams", id, "name"}).rc, 0);
    WriteFile(s.Dir() / "script.sql", "SELECT ? AS stored");
    ASSERT_EQ(Cli(s, {"SetReqScript", id, s.Dir() / "script.sql"}).rc, 0);
    WriteFile(s.Dir() / "photo.png", std::string("\x89PNG\r\n\x1a\n\0\r\n--x", 15));

    auto upload = [&](const std::string& name, const std::string& file) {
        return Curl({"-F", "server_request=Attach(name)", "-F", "name=" + name, "-F",
                     "file=@" + s.Dir() / file, "/demo/index.html"});
    };
    // Nobody stores a file without a login.
    std::string a = upload("holiday", "photo.png");
    EXPECT_EQ(Status(a), 403) << a;
    EXPECT_FALSE(fs::exists(s.Root() + "/apps/demo/data/holiday.png"));
    // Only through a request the session may run.
    a = Curl({"-F", "server_request=AddOrder(name,name)", "-F", "name=x", "-F",
              "file=@" + s.Dir() / "photo.png", "/demo/index.html"});
    EXPECT_EQ(Status(a), 403);
    LogIn();
    a = upload("holiday", "photo.png");
    EXPECT_TRUE(Has(a, "<td>holiday</td>")) << a;
    EXPECT_EQ(ReadFile(s.Root() + "/apps/demo/data/holiday.png"), ReadFile(s.Dir() / "photo.png"));
    EXPECT_TRUE(Has(Cli(s, {"GetTrace", "4"}).out, "upload photo.png as data/holiday.png: OK"));
    // Nor replaces one: customers.csv stays as it was.
    const std::string csv = ReadFile(s.Root() + "/apps/demo/data/customers.csv");
    WriteFile(s.Dir() / "forged.csv", "1,Mallory\n");
    EXPECT_EQ(Status(upload("customers", "forged.csv")), 409);
    EXPECT_EQ(ReadFile(s.Root() + "/apps/demo/data/customers.csv"), csv);
    // An uploaded page is served as a download in a sandbox, never as the site's page.
    WriteFile(s.Dir() / "promo.html", "<script>alert(1)</script>");
    ASSERT_TRUE(Has(upload("promo", "promo.html"), "<td>promo</td>"));
    a = Curl({"/demo/data/promo.html"});
    EXPECT_TRUE(Has(a, "Content-Security-Policy: sandbox")) << a;
    EXPECT_TRUE(Has(a, "Content-Disposition: attachment")) << a;

    WriteFile(s.Dir() / "evil.p<g", "x");
    for (const char* bad : {"../evil", "..", "a\\b", "evil"}) {
        a = upload(bad, std::string(bad) == "evil" ? "evil.p<g" : "photo.png");
        EXPECT_EQ(Status(a), 400) << bad << a;
    }
    for (const auto& e : fs::recursive_directory_iterator(s.Root()))
        EXPECT_EQ(e.path().filename().string().find("evil"), std::string::npos) << e.path();
    EXPECT_FALSE(fs::exists(s.Root() + "/apps/demo/data/x.png"));
    // Two files for one name: neither is kept.
    a = Curl({"-F", "server_request=Attach(name)", "-F", "name=pair", "-F",
              "f1=@" + s.Dir() / "photo.png", "-F", "f2=@" + s.Dir() / "forged.csv",
              "/demo/index.html"});
    EXPECT_EQ(Status(a), 400) << a;
    EXPECT_FALSE(fs::exists(s.Root() + "/apps/demo/data/pair.png"));
    // The data folder's quota (1 MB here): 600 KB fit once, not twice, and nothing of the
    // second is kept.
    WriteFile(s.Dir() / "big.bin", std::string(600 * 1024, 'b'));
    EXPECT_TRUE(Has(upload("big1", "big.bin"), "<td>big1</td>"));
    EXPECT_EQ(Status(upload("big2", "big.bin")), 413);
    EXPECT_FALSE(fs::exists(s.Root() + "/apps/demo/data/big2.bin"));
    EXPECT_TRUE(fs::is_empty(s.Root() + "/uploads"));
}

TEST_F(RunTime, SessionCountsAreRealAndOutliveARestart) {
    Curl({"/demo/index.html"});  // one browser: one session, whatever it fetches next
    Curl({"/demo/ListCustomers()"});
    jar = s.Dir() / "second.txt";  // another browser
    Curl({"/demo/index.html"});
    auto demo = [&] {
        for (const auto& r : Cli(s, {"GetConfigApps"}).Rows())
            if (r.size() >= 6 && r[0] == "demo") return r;
        return std::vector<std::string>{};
    };
    EXPECT_EQ(demo(), (std::vector<std::string>{"demo", "Demo shop", "2", "2", "2", "2"}));
    auto config = Cli(s, {"GetConfig"}).Rows();
    ASSERT_FALSE(config.empty());
    EXPECT_GE(std::atoi(config[0][5].c_str()), 2);  // administration sessions and these
    s.Stop();
    ASSERT_TRUE(s.Start());
    EXPECT_EQ(demo(), (std::vector<std::string>{"demo", "Demo shop", "0", "2", "2", "2"}));
}

// Debian's Chromium, headless: the shop as a person sees it.
TEST_F(RunTime, ChromiumShowsTheShopsCustomers) {
    std::string chromium = FindProgram("chromium");
    if (chromium.empty()) chromium = FindProgram("chromium-browser");
    if (chromium.empty()) GTEST_SKIP() << "chromium is not installed: the browser test is skipped";
    // A browser that hangs is ended, so that the test fails instead of the whole run.
    const std::string timeout = FindProgram("timeout");
    auto dump = [&](const std::string& path) {
        std::vector<std::string> argv = {chromium,
                                         "--headless",
                                         "--no-sandbox",
                                         "--disable-gpu",
                                         "--disable-dev-shm-usage",
                                         "--user-data-dir=" + s.Dir() / "chromium",
                                         "--dump-dom",
                                         Url(path, s)};
        if (!timeout.empty()) argv.insert(argv.begin(), {timeout, "120"});
        return RunProgram(argv, s.Dir() / "chromium.err").out;
    };
    const std::string shop = dump("/demo/index.html");
    std::smatch link;
    ASSERT_TRUE(std::regex_search(shop, link, std::regex("<a href=\"([^\"]*)\">Customers</a>")))
        << shop;
    const std::string customers = dump("/demo/" + link[1].str());
    for (const char* name : {"<td>Ada</td>", "<td>Grace</td>", "<td>Linus</td>"})
        EXPECT_TRUE(Has(customers, name)) << customers;
}
