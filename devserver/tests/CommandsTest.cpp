// Every command through quorvel-cli against a real server: what it answers and what it
// refuses, with the demo data as the starting state.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "devserver/tests/Harness.h"

using namespace dstest;
namespace fs = std::filesystem;

namespace {

bool Has(const std::vector<std::string>& v, const std::string& x) {
    return std::find(v.begin(), v.end(), x) != v.end();
}

class Commands : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_GT(s.Port(), 0) << s.Stderr(); }
    void TearDown() override { EXPECT_EQ(s.Stop(), 0) << s.Stderr(); }
    // A refusal: the server's answer holds the error marker and the reason. What
    // quorvel-cli refuses by itself (exit status 2) is sent to the server raw.
    void Refused(const std::vector<std::string>& args, const std::string& reason) {
        CliResult r = Cli(s, args);
        std::string text = r.out + r.err;
        if (r.rc == 2) {
            std::string cmd = args[0] + "(";
            for (std::size_t i = 1; i < args.size(); ++i) cmd += (i > 1 ? "," : "") + args[i];
            long sid = Login(s.Port(), "admin", kAdminPassword);
            text = Command(s.Port(), sid, cmd + ")");
            EXPECT_NE(text.find("SERVER_ERROR"), std::string::npos) << args[0] << ": " << text;
        } else {
            // quorvel-cli says the server's reason alone.
            EXPECT_EQ(r.rc, 6) << args[0] << ": " << text;
            EXPECT_NE(r.err.find("quorvel-cli: " + args[0] + ": "), std::string::npos) << text;
        }
        EXPECT_NE(text.find(reason), std::string::npos) << args[0] << ": " << text;
    }
    Server s;
};

TEST_F(Commands, LoginAcceptsAdminAndDevUsersOnly) {
    EXPECT_EQ(Cli(s, {"GetApps"}).rc, 0);
    EXPECT_EQ(CliAs(s, "admin", "wrong", {"GetApps"}).rc, 4);
    EXPECT_EQ(CliAs(s, "nobody", "x", {"GetApps"}).rc, 4);
    EXPECT_EQ(CliAs(s, "developer", "developer", {"GetApps"}).rc, 0);
    EXPECT_EQ(CliAs(s, "shopper", "shopper", {"GetApps"}).rc, 4);  // a Run user
    // Without a session every command is refused.
    std::string a = Command(s.Port(), 0, "GetApps()");
    EXPECT_NE(a.find("SERVER_ERROR"), std::string::npos);
    EXPECT_NE(a.find("Not logged in"), std::string::npos);
    EXPECT_NE(Command(s.Port(), 12345, "GetApps()").find("Not logged in"), std::string::npos);
    // After logout the session is gone.
    long sid = Login(s.Port(), "admin", kAdminPassword);
    ASSERT_NE(sid, 0);
    EXPECT_FALSE(IsError(Command(s.Port(), sid, "GetApps()")));
    Command(s.Port(), sid, "server_logout()");
    EXPECT_TRUE(IsError(Command(s.Port(), sid, "GetApps()")));
}

TEST_F(Commands, LoginAnswerCarriesCookieAndUserId) {
    std::string a = Exchange(
        s.Port(),
        DevRequest(std::string("server_request=server_login(admin,") + kAdminPassword + ")\r\n\r\n",
                   0));
    EXPECT_NE(a.find("Set-Cookie: jsessionid="), std::string::npos);
    EXPECT_NE(a.find("Login OK!"), std::string::npos);
    EXPECT_NE(a.find("server_userid=0"), std::string::npos);
    a = Exchange(s.Port(),
                 DevRequest("server_request=server_login(developer,developer)\r\n\r\n", 0));
    EXPECT_NE(a.find("server_userid=1"), std::string::npos);
    a = Exchange(s.Port(), DevRequest("server_request=server_login(admin,nope)\r\n\r\n", 0));
    EXPECT_NE(a.find("Login failed!"), std::string::npos);
    EXPECT_EQ(a.find("Set-Cookie"), std::string::npos);
}

TEST_F(Commands, Applications) {
    CliResult r = Cli(s, {"GetApps"});
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(r.Rows().size(), 1u);
    EXPECT_EQ(r.Rows()[0], (std::vector<std::string>{"demo", "1", "Demo shop", "30"}));

    r = Cli(s, {"NewApp", "shop", "A shop", "20"});
    ASSERT_EQ(r.rc, 0) << r.out;
    ASSERT_EQ(r.Rows().size(), 2u);  // the complete fresh list
    EXPECT_EQ(r.Rows()[1][0], "shop");
    std::string id = r.Rows()[1][1];
    EXPECT_TRUE(fs::is_directory(s.Root() + "/apps/shop/images"));
    EXPECT_TRUE(fs::is_directory(s.Root() + "/apps/shop/data"));

    Refused({"NewApp", "shop", "again", "20"}, "exists already");
    Refused({"NewApp", "a,b", "x", "20"}, "SERVER_ERROR");  // the comma splits the arguments
    Refused({"NewApp", "a<b", "x", "20"}, "holds one of");
    Refused({"NewApp", std::string(51, 'n'), "x", "20"}, "longer than 50");
    Refused({"NewApp", "ok", std::string(51, 'd'), "20"}, "longer than 50");
    Refused({"NewApp", "ok", "x", "-1"}, "not a number");

    r = Cli(s, {"EditApp", "store", id, "Renamed", "45"});
    ASSERT_EQ(r.rc, 0) << r.out;
    EXPECT_EQ(r.Rows()[1], (std::vector<std::string>{"store", id, "Renamed", "45"}));
    EXPECT_TRUE(fs::is_directory(s.Root() + "/apps/store/data"));
    EXPECT_FALSE(fs::exists(s.Root() + "/apps/shop"));
    // The list as of the last change, and each user's own: asked in turn, none sees another's.
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(Cli(s, {"GetApps"}).Rows().size(), 2u);
        EXPECT_EQ(CliAs(s, "developer", "developer", {"GetApps"}).Rows().size(), 1u);
    }
    EXPECT_EQ(Cli(s, {"GetApps"}).Rows()[1][2], "Renamed");
    Refused({"EditApp", "demo", id, "x", "1"}, "exists already");
    Refused({"EditApp", "zz", "999", "x", "1"}, "Unknown application 999");
    Refused({"EditApp", "zz", "x1", "x", "1"}, "not a number");

    r = Cli(s, {"DeleteApp", id});
    ASSERT_EQ(r.rc, 0) << r.out;
    EXPECT_EQ(r.Column(), (std::vector<std::string>{"demo"}));
    EXPECT_FALSE(fs::exists(s.Root() + "/apps/store"));
    Refused({"DeleteApp", id}, "Unknown application");
}

TEST_F(Commands, ApplicationUsers) {
    CliResult r = Cli(s, {"GetAppUsers", "1"});
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.Rows(), (std::vector<std::vector<std::string>>{{"1", "developer", "0"}}));
    r = Cli(s, {"SetAppUsers", "1"});
    ASSERT_EQ(r.rc, 0) << r.out;
    EXPECT_TRUE(Cli(s, {"GetAppUsers", "1"}).Rows().empty());
    EXPECT_EQ(Cli(s, {"SetAppUsers", "1", "0", "1"}).rc, 0);
    EXPECT_EQ(Cli(s, {"GetAppUsers", "1"}).Column(1),
              (std::vector<std::string>{"admin", "developer"}));
    Refused({"SetAppUsers", "1", "2"}, "not a Dev user");
    Refused({"SetAppUsers", "1", "77"}, "Unknown user 77");
    Refused({"SetAppUsers", "9", "1"}, "Unknown application 9");
    Refused({"GetAppUsers", "9"}, "Unknown application 9");
    // A refused change changed nothing.
    EXPECT_EQ(Cli(s, {"GetAppUsers", "1"}).Column(1),
              (std::vector<std::string>{"admin", "developer"}));
}

TEST_F(Commands, Requests) {
    CliResult r = Cli(s, {"GetReqs", "1"});
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.Column(), (std::vector<std::string>{"ListCustomers", "FindCustomer", "AddOrder"}));
    ASSERT_GE(r.Rows()[0].size(), 7u);
    EXPECT_EQ(r.Rows()[0][6].size(), 19u);  // "dd/mm/yyyy hh:mm:ss"

    r = Cli(s, {"NewReq", "Totals", "1", "1", "2", "1"});
    ASSERT_EQ(r.rc, 0) << r.out;
    ASSERT_EQ(r.Rows().size(), 4u);
    std::vector<std::string> row = r.Rows()[3];
    EXPECT_EQ(std::vector<std::string>(row.begin(), row.begin() + 6),
              (std::vector<std::string>{"Totals", row[1], "1", "1", "2", "1"}));
    std::string id = row[1];
    Refused({"NewReq", "Totals", "1", "1", "1", "0"}, "exists already");
    Refused({"NewReq", "X", "42", "1", "1", "0"}, "Unknown data source 42");
    Refused({"NewReq", "X", "1", "1", "3", "0"}, "Language");
    Refused({"NewReq", "X", "1", "1", "1", "2"}, "Access");
    Refused({"NewReq", "X", "1", "8", "1", "0"}, "Unknown application 8");

    r = Cli(s, {"EditReq", "Sums", id, "0", "1", "1", "0"});
    ASSERT_EQ(r.rc, 0) << r.out;
    EXPECT_EQ(r.Rows()[3][0], "Sums");
    EXPECT_EQ(r.Rows()[3][2], "0");
    Refused({"EditReq", "AddOrder", id, "0", "1", "1", "0"}, "exists already");
    Refused({"EditReq", "Sums", "999", "0", "1", "1", "0"}, "Unknown request 999");

    r = Cli(s, {"SetReqParams", id, "from", "to"});
    ASSERT_EQ(r.rc, 0) << r.out;
    EXPECT_EQ(Cli(s, {"GetReqParams", id}).Rows(),
              (std::vector<std::vector<std::string>>{{"from", "0"}, {"to", "1"}}));
    Refused({"SetReqParams", id, "a", "a"}, "listed twice");
    Refused({"SetReqParams", id, "a<b"}, "holds one of");
    EXPECT_EQ(Cli(s, {"GetReqParams", id}).Column(), (std::vector<std::string>{"from", "to"}));

    EXPECT_EQ(Cli(s, {"SetReqUsers", id, "2"}).rc, 0);
    EXPECT_EQ(Cli(s, {"GetReqUsers", id}).Rows(),
              (std::vector<std::vector<std::string>>{{"shopper", "2"}}));
    Refused({"SetReqUsers", id, "1"}, "not a Run user");
    Refused({"SetReqUsers", id, "2", "2"}, "listed twice");
    EXPECT_EQ(Cli(s, {"SetReqUsers", id}).rc, 0);
    EXPECT_TRUE(Cli(s, {"GetReqUsers", id}).Rows().empty());

    // The script is binary-safe: the end mark and "&&&" inside it survive.
    std::string script =
        std::string("SELECT 1;\r\n\r\n&&&)\x01\xff", 20) + std::string(1, '\0') + "end";
    WriteFile(s.Dir() / "script.sql", script);
    EXPECT_EQ(Cli(s, {"SetReqScript", id, s.Dir() / "script.sql"}).rc, 0);
    std::string sid = std::to_string(Login(s.Port(), "admin", kAdminPassword));
    EXPECT_EQ(Body(Command(s.Port(), std::stol(sid), "GetReqScript(" + id + ")")), script);
    Refused({"GetReqScript", "999"}, "Unknown request");

    r = Cli(s, {"DeleteReq", id});
    ASSERT_EQ(r.rc, 0) << r.out;
    EXPECT_EQ(r.Rows().size(), 3u);
    Refused({"DeleteReq", id}, "Unknown request");
    Refused({"GetReqs", "abc"}, "not a number");
}

TEST_F(Commands, DataSources) {
    CliResult r = Cli(s, {"GetDSs"});
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.Rows()[0], (std::vector<std::string>{"(none)", "0", "No data source", "", "0"}));
    r = Cli(s, {"NewDS", "warehouse", "Stock", "3"});
    ASSERT_EQ(r.rc, 0) << r.out;
    ASSERT_EQ(r.Rows().size(), 3u);
    std::string id = r.Rows()[2][1];
    Refused({"NewDS", "warehouse", "again", "3"}, "exists already");
    Refused({"NewDS", "w(2)", "x", "3"}, "SERVER_ERROR");
    r = Cli(s, {"EditDS", "stock", id, "Stock db", "4"});
    ASSERT_EQ(r.rc, 0) << r.out;
    EXPECT_EQ(r.Rows()[2], (std::vector<std::string>{"stock", id, "Stock db", "", "4"}));
    Refused({"EditDS", "x", "0", "x", "1"}, "(none) cannot be changed");
    Refused({"EditDS", "x", "99", "x", "1"}, "Unknown data source 99");
    Refused({"DeleteDS", "0"}, "(none) cannot be deleted");
    Refused({"DeleteDS", "1"}, "used by 3 request");

    // DSPwd keeps the password for the server and never sends it back.
    r = Cli(s, {"DSPwd", id, "dbuser", "TopSecret9"});
    ASSERT_EQ(r.rc, 0) << r.out;
    EXPECT_EQ(r.Rows()[2][3], "dbuser");
    EXPECT_EQ(r.out.find("TopSecret9"), std::string::npos);
    EXPECT_EQ(Cli(s, {"GetDSs"}).out.find("TopSecret9"), std::string::npos);
    Refused({"DSPwd", "0", "u", "p"}, "(none) cannot be changed");
    Refused({"DSPwd", "99", "u", "p"}, "Unknown data source");
    Refused({"DSPwd", id, "u", std::string(21, 'p')}, "longer than 20");

    r = Cli(s, {"DeleteDS", id});
    ASSERT_EQ(r.rc, 0) << r.out;
    EXPECT_EQ(r.Rows().size(), 2u);
    Refused({"DeleteDS", id}, "Unknown data source");
}

TEST_F(Commands, Users) {
    CliResult r = Cli(s, {"GetUsers"});
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.Rows()[0], (std::vector<std::string>{"admin", "Administrator", "0", "0"}));
    r = Cli(s, {"NewUser", "bob", "Bob B", "0"});
    ASSERT_EQ(r.rc, 0) << r.out;
    std::string id = r.Rows().back()[2];
    EXPECT_EQ(r.Rows().back(), (std::vector<std::string>{"bob", "Bob B", id, "0"}));
    Refused({"NewUser", "bob", "x", "0"}, "exists already");
    Refused({"NewUser", std::string(21, 'u'), "x", "0"}, "longer than 20");
    Refused({"NewUser", "carl", "x", "2"}, "User type");
    // No password yet: no login.
    EXPECT_EQ(CliAs(s, "bob", "x", {"GetApps"}).rc, 4);
    r = Cli(s, {"UserPwd", "bob-pass", id});
    ASSERT_EQ(r.rc, 0) << r.out;
    EXPECT_EQ(r.out.find("bob-pass"), std::string::npos);
    EXPECT_EQ(CliAs(s, "bob", "bob-pass", {"GetApps"}).rc, 0);
    // The hash is salted Argon2id, never the clear text.
    EXPECT_EQ(ReadFile(s.Root() + "/quorvel.db").find("bob-pass"), std::string::npos);
    Refused({"UserPwd", "x", "99"}, "Unknown user 99");

    r = Cli(s, {"EditUser", "robert", "Bob R", id, "1"});
    ASSERT_EQ(r.rc, 0) << r.out;
    EXPECT_EQ(r.Rows().back(), (std::vector<std::string>{"robert", "Bob R", id, "1"}));
    EXPECT_EQ(CliAs(s, "robert", "bob-pass", {"GetApps"}).rc, 4);  // now a Run user
    Refused({"EditUser", "admin2", "x", "0", "1"}, "stays a Dev user");
    Refused({"EditUser", "admin", "x", id, "1"}, "exists already");
    Refused({"DeleteUser", "0"}, "administrator cannot be deleted");
    r = Cli(s, {"DeleteUser", id});
    ASSERT_EQ(r.rc, 0) << r.out;
    EXPECT_FALSE(Has(r.Column(), "robert"));
    Refused({"DeleteUser", id}, "Unknown user");
}

TEST_F(Commands, ConfigurationAndTraces) {
    CliResult r = Cli(s, {"GetConfig"});
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(r.Rows().size(), 1u);
    std::vector<std::string> c = r.Rows()[0];
    ASSERT_EQ(c.size(), 13u);
    EXPECT_EQ(c[0], "1");                                            // System trace on by default
    EXPECT_GT(std::stol(c[8]), 0);                                   // memory total
    EXPECT_EQ(std::stol(c[8]), std::stol(c[9]) + std::stol(c[10]));  // total = available + used
    EXPECT_EQ(c[11].size(), 10u);
    EXPECT_EQ(c[12].size(), 8u);

    r = Cli(s, {"GetConfigApps"});
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.Rows(),
              (std::vector<std::vector<std::string>>{{"demo", "Demo shop", "0", "0", "0", "0"}}));

    r = Cli(s, {"GetTrace", "2"});
    ASSERT_EQ(r.rc, 0);
    EXPECT_NE(r.out.find("admin GetConfig OK"), std::string::npos) << r.out;
    Refused({"NewApp", "a(b", "x", "1"}, "holds one of");
    EXPECT_NE(Cli(s, {"GetTrace", "2"}).out.find("refused"), std::string::npos);
    EXPECT_NE(Cli(s, {"GetTrace", "1"}).out.find("Server started"), std::string::npos);

    EXPECT_EQ(Cli(s, {"CleanTrace", "2"}).rc, 0);
    r = Cli(s, {"GetTrace", "2"});
    EXPECT_EQ(r.out.find("GetConfig"), std::string::npos) << r.out;

    // Switched off, the System trace stops growing.
    ASSERT_EQ(Cli(s, {"SetConfig", "1", "0", "0", "0"}).rc, 0);
    r = Cli(s, {"GetConfig"});
    ASSERT_EQ(r.Rows().size(), 1u);
    c = r.Rows()[0];
    EXPECT_EQ(std::vector<std::string>(c.begin(), c.begin() + 4),
              (std::vector<std::string>{"0", "0", "0", "1"}));
    std::string before = Cli(s, {"GetTrace", "2"}).out;
    Cli(s, {"GetApps"});
    EXPECT_EQ(Cli(s, {"GetTrace", "2"}).out, before);
    Refused({"SetConfig", "2", "0", "0", "0"}, "1 or 0");
    Refused({"GetTrace", "5"}, "Trace kind");
    Refused({"CleanTrace", "7"}, "Trace kind");

    // Application trace when on.
    EXPECT_EQ(Cli(s, {"SetConfig", "0", "1", "1", "1"}).rc, 0);
    Cli(s, {"NewReq", "Traced", "0", "1", "1", "0"});
    EXPECT_NE(Cli(s, {"GetTrace", "3"}).out.find("demo: request Traced created"),
              std::string::npos);
    // The switches survive a restart.
    ASSERT_EQ(s.Stop(), 0);
    ASSERT_TRUE(s.Start());
    r = Cli(s, {"GetConfig"});
    ASSERT_EQ(r.Rows().size(), 1u);
    EXPECT_EQ(r.Rows()[0][3], "0");
    EXPECT_NE(Cli(s, {"GetTrace", "1"}).out.find("Server stopped"), std::string::npos);
}

}  // namespace
