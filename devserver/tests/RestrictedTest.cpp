// Sessions of Dev users (login user id not 0): only their applications, no user or
// data source management.
#include <gtest/gtest.h>

#include "devserver/tests/Harness.h"

using namespace dstest;

namespace {

TEST(Restricted, DevUserSeesAndChangesOnlyItsApplications) {
    Server s;
    ASSERT_GT(s.Port(), 0) << s.Stderr();
    ASSERT_EQ(Cli(s, {"NewApp", "secret", "Not for developers", "10"}).rc, 0);  // id 2
    ASSERT_EQ(Cli(s, {"NewReq", "Hidden", "0", "2", "1", "0"}).rc, 0);
    auto dev = [&](const std::vector<std::string>& args) {
        return CliAs(s, "developer", "developer", args);
    };
    auto refused = [&](const std::vector<std::string>& args) {
        CliResult r = dev(args);
        EXPECT_EQ(r.rc, 6) << args[0] << ": " << r.out << r.err;
        EXPECT_NE((r.out + r.err).find("Not allowed"), std::string::npos)
            << args[0] << r.out << r.err;
    };
    CliResult r = dev({"GetApps"});
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.Column(), (std::vector<std::string>{"demo"}));
    EXPECT_EQ(dev({"GetConfigApps"}).Column(), (std::vector<std::string>{"demo"}));
    EXPECT_EQ(dev({"GetReqs", "1"}).rc, 0);

    // Its own application: requests, scripts and files are its to change.
    EXPECT_EQ(dev({"NewReq", "Mine", "1", "1", "1", "0"}).rc, 0);
    EXPECT_EQ(dev({"EditApp", "demo", "1", "Changed by dev", "15"}).rc, 0);
    EXPECT_EQ(dev({"GetFiles", "1", ""}).rc, 0);
    EXPECT_EQ(dev({"GetDSs"}).rc, 0);    // the request editor needs the names
    EXPECT_EQ(dev({"GetUsers"}).rc, 0);  // and the user lists

    // Another application does not exist for it.
    for (const std::vector<std::string>& a :
         std::vector<std::vector<std::string>>{{"GetReqs", "2"},
                                               {"EditApp", "secret", "2", "x", "1"},
                                               {"GetAppUsers", "2"},
                                               {"GetHtmls", "2"},
                                               {"GetFiles", "2", ""},
                                               {"GetReqScript", "4"},
                                               {"DeleteReq", "4"},
                                               {"NewReq", "X", "0", "2", "1", "0"},
                                               {"DeleteFile", "2", "", "x"}})
        refused(a);
    // No application, user, data source or server management.
    for (const std::vector<std::string>& a :
         std::vector<std::vector<std::string>>{{"NewApp", "mine", "x", "1"},
                                               {"DeleteApp", "1"},
                                               {"SetAppUsers", "1", "1"},
                                               {"NewDS", "ds", "x", "1"},
                                               {"EditDS", "ds", "1", "x", "1"},
                                               {"DeleteDS", "1"},
                                               {"DSPwd", "1", "u", "p"},
                                               {"NewUser", "eve", "x", "0"},
                                               {"EditUser", "developer", "x", "1", "0"},
                                               {"DeleteUser", "2"},
                                               {"UserPwd", "newpass", "0"},
                                               {"SetConfig", "0", "0", "0", "0"},
                                               {"GetTrace", "2"},
                                               {"CleanTrace", "2"}})
        refused(a);
    // Nothing of that happened.
    EXPECT_EQ(Cli(s, {"GetApps"}).Column(), (std::vector<std::string>{"demo", "secret"}));
    EXPECT_EQ(Cli(s, {"GetUsers"}).Rows().size(), 3u);
    EXPECT_EQ(Cli(s, {"GetReqs", "2"}).Column(), (std::vector<std::string>{"Hidden"}));
    EXPECT_EQ(Cli(s, {"GetConfig"}).Rows()[0][0], "1");
    // A Dev user may change its own password.
    EXPECT_EQ(dev({"UserPwd", "dev-pass2", "1"}).rc, 0);
    EXPECT_EQ(CliAs(s, "developer", "dev-pass2", {"GetApps"}).rc, 0);
    // Taken off the application, the user no longer sees it.
    ASSERT_EQ(Cli(s, {"SetAppUsers", "1"}).rc, 0);
    EXPECT_TRUE(CliAs(s, "developer", "dev-pass2", {"GetApps"}).Rows().empty());
    EXPECT_EQ(s.Stop(), 0) << s.Stderr();
}

}  // namespace
