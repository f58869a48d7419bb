// The server as an attacker and an operator try it: names that would leave the root,
// lengths that lie, links planted in a file area, crashes and signals.
#include <gtest/gtest.h>

#include <filesystem>

#include "devserver/tests/Harness.h"

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

}  // namespace
