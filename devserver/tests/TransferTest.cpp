// Transfers: every kind downloaded from one server and uploaded into another, which
// then holds the same object.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "devserver/tests/Harness.h"
#include "platform/net/TcpClient.h"

using namespace dstest;
namespace fs = std::filesystem;

namespace {

class Transfer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GT(a.Port(), 0) << a.Stderr();
        ASSERT_GT(b.Port(), 0) << b.Stderr();
    }
    void TearDown() override {
        EXPECT_EQ(a.Stop(), 0) << a.Stderr();
        EXPECT_EQ(b.Stop(), 0) << b.Stderr();
    }
    Server a;                              // the demo
    Server b{std::vector<std::string>{}};  // empty
    TempDir local;
};

TEST_F(Transfer, FilesOfKinds1To3And6) {
    ASSERT_EQ(Cli(b, {"NewApp", "demo", "copy", "30"}).rc, 0);
    std::string binary("\x89PNG\r\n\r\n\0&&&)\xff", 14);
    WriteFile(a.Root() + "/apps/demo/images/logo.png", binary);
    fs::create_directories(a.Root() + "/apps/demo/docs/deep");
    WriteFile(a.Root() + "/apps/demo/docs/deep/guide.pdf", std::string(300000, 'g'));
    struct Case {
        std::string kind, name, where, folder;
    } cases[] = {{"1", "index.html", "", ""},
                 {"2", "logo.png", "/images", ""},
                 {"3", "customers.csv", "/data", ""},
                 {"6", "guide.pdf", "/docs/deep", "docs\\deep"}};
    for (const auto& c : cases) {
        std::string file = local / c.name;
        std::vector<std::string> down = {"DownloadFile", "1", c.kind, c.name, file};
        std::vector<std::string> up = {"UploadFile", "1", c.kind, file};
        if (!c.folder.empty()) {
            down.insert(down.begin(), {"--folder", c.folder});
            up.insert(up.begin(), {"--folder", c.folder});
        }
        CliResult r = Cli(a, down);
        ASSERT_EQ(r.rc, 0) << c.name << r.out << r.err;
        std::string original = ReadFile(a.Root() + "/apps/demo" + c.where + "/" + c.name);
        EXPECT_EQ(ReadFile(file), original) << c.name;
        r = Cli(b, up);
        ASSERT_EQ(r.rc, 0) << c.name << r.out << r.err;
        EXPECT_EQ(ReadFile(b.Root() + "/apps/demo" + c.where + "/" + c.name), original) << c.name;
        // The answer is the fresh list of the kind, holding the file.
        EXPECT_NE(r.out.find(c.name), std::string::npos) << r.out;
    }
    // A download of a missing file is refused and writes nothing.
    CliResult r = Cli(a, {"DownloadFile", "1", "2", "nothing.png", local / "nothing.png"});
    EXPECT_EQ(r.rc, 6);
    EXPECT_FALSE(fs::exists(local / "nothing.png"));
    // Upload replaces a file whole.
    WriteFile(local / "index.html", "short");
    ASSERT_EQ(Cli(b, {"UploadFile", "1", "1", local / "index.html"}).rc, 0);
    EXPECT_EQ(ReadFile(b.Root() + "/apps/demo/index.html"), "short");
}

TEST_F(Transfer, RequestFileKind4) {
    ASSERT_EQ(Cli(b, {"NewApp", "target", "x", "30"}).rc, 0);
    // The other server has no data source demo-db or user shopper yet: refused, nothing made.
    CliResult r = Cli(a, {"DownloadFile", "3", "4", "AddOrder.req", local / "AddOrder.req"});
    ASSERT_EQ(r.rc, 0) << r.out << r.err;
    std::string text = ReadFile(local / "AddOrder.req");
    EXPECT_EQ(text.rfind("QUORVEL-REQUEST 1\n", 0), 0u) << text;
    EXPECT_NE(text.find("param: customer\nparam: amount\n"), std::string::npos) << text;
    EXPECT_NE(text.find("user: shopper\n"), std::string::npos) << text;
    r = Cli(b, {"UploadFile", "1", "4", local / "AddOrder.req"});
    EXPECT_EQ(r.rc, 6);
    EXPECT_NE((r.out + r.err).find("Unknown data source demo-db"), std::string::npos)
        << r.out << r.err;
    EXPECT_TRUE(Cli(b, {"GetReqs", "1"}).Rows().empty());

    ASSERT_EQ(Cli(b, {"NewDS", "demo-db", "x", "1"}).rc, 0);
    ASSERT_EQ(Cli(b, {"NewUser", "shopper", "x", "1"}).rc, 0);
    r = Cli(b, {"UploadFile", "1", "4", local / "AddOrder.req"});
    ASSERT_EQ(r.rc, 0) << r.out << r.err;
    ASSERT_EQ(r.Column(), (std::vector<std::string>{"AddOrder"}));
    std::string id = r.Rows()[0][1];
    EXPECT_EQ(Cli(b, {"GetReqParams", id}).out, Cli(a, {"GetReqParams", "3"}).out);
    EXPECT_EQ(Cli(b, {"GetReqUsers", id}).Column(), (std::vector<std::string>{"shopper"}));
    // Downloaded again from the copy, the file is the same.
    ASSERT_EQ(Cli(b, {"DownloadFile", id, "4", "AddOrder.req", local / "again.req"}).rc, 0);
    EXPECT_EQ(ReadFile(local / "again.req"), text);
    // Twice is a duplicate; a file that is not a request file is refused.
    EXPECT_EQ(Cli(b, {"UploadFile", "1", "4", local / "AddOrder.req"}).rc, 6);
    WriteFile(local / "Bad.req", "QUORVEL-REQUEST 1\nname: x\nscript: 99\nshort\n");
    EXPECT_EQ(Cli(b, {"UploadFile", "1", "4", local / "Bad.req"}).rc, 6);
    EXPECT_EQ(Cli(b, {"GetReqs", "1"}).Rows().size(), 1u);
}

TEST_F(Transfer, ApplicationFileKind5) {
    std::string binary("\0\x01\x02&&&\r\n\r\n)", 12);
    WriteFile(a.Root() + "/apps/demo/data/blob.bin", binary);
    fs::create_directories(a.Root() + "/apps/demo/empty/inner");
    ASSERT_EQ(Cli(a, {"SetConfig", "0", "1", "1", "1"}).rc, 0);
    CliResult r = Cli(a, {"DownloadFile", "1", "5", "demo.app", local / "demo.app"});
    ASSERT_EQ(r.rc, 0) << r.out << r.err;
    std::string app = ReadFile(local / "demo.app");
    EXPECT_EQ(app.rfind("QUORVEL-APPLICATION 1\n", 0), 0u);

    // The target needs the data source and users the application names.
    r = Cli(b, {"UploadFile", "0", "5", local / "demo.app"});
    EXPECT_EQ(r.rc, 6);
    EXPECT_TRUE(Cli(b, {"GetApps"}).Rows().empty());
    EXPECT_TRUE(fs::is_empty(b.Root() + "/apps"));
    ASSERT_EQ(Cli(b, {"NewDS", "demo-db", "x", "1"}).rc, 0);
    ASSERT_EQ(Cli(b, {"NewUser", "shopper", "x", "1"}).rc, 0);
    ASSERT_EQ(Cli(b, {"NewUser", "developer", "x", "0"}).rc, 0);
    r = Cli(b, {"UploadFile", "0", "5", local / "demo.app"});
    ASSERT_EQ(r.rc, 0) << r.out << r.err;
    ASSERT_EQ(r.Column(), (std::vector<std::string>{"demo"}));
    EXPECT_EQ(r.Rows()[0][2], "Demo shop");
    EXPECT_EQ(r.Rows()[0][3], "30");

    // Everything arrived: requests with parameters, users and scripts, and every file.
    EXPECT_EQ(Cli(b, {"GetReqs", "1"}).Column(), Cli(a, {"GetReqs", "1"}).Column());
    EXPECT_EQ(Cli(b, {"GetAppUsers", "1"}).Column(1), (std::vector<std::string>{"developer"}));
    for (const char* id : {"1", "2", "3"}) {
        EXPECT_EQ(Cli(b, {"GetReqParams", id}).out, Cli(a, {"GetReqParams", id}).out);
        EXPECT_EQ(Cli(b, {"GetReqUsers", id}).Column(), Cli(a, {"GetReqUsers", id}).Column());
        EXPECT_EQ(Body(Command(b.Port(), Login(b.Port(), "admin", kAdminPassword),
                               std::string("GetReqScript(") + id + ")")),
                  Body(Command(a.Port(), Login(a.Port(), "admin", kAdminPassword),
                               std::string("GetReqScript(") + id + ")")));
    }
    EXPECT_EQ(ReadFile(b.Root() + "/apps/demo/data/blob.bin"), binary);
    EXPECT_TRUE(fs::is_directory(b.Root() + "/apps/demo/empty/inner"));
    for (const auto& e : fs::recursive_directory_iterator(a.Root() + "/apps/demo")) {
        std::string rel = fs::relative(e.path(), a.Root() + "/apps/demo").string();
        fs::path there = b.Root() + "/apps/demo/" + rel;
        ASSERT_TRUE(fs::exists(there)) << rel;
        if (e.is_regular_file()) {
            EXPECT_EQ(ReadFile(there.string()), ReadFile(e.path().string())) << rel;
        }
    }
    // Round trip: the copy downloads to the same file.
    ASSERT_EQ(Cli(b, {"DownloadFile", "1", "5", "demo.app", local / "copy.app"}).rc, 0);
    EXPECT_EQ(ReadFile(local / "copy.app"), app);
    // A second upload under the same name is refused; another name makes a second copy.
    EXPECT_EQ(Cli(b, {"UploadFile", "0", "5", local / "demo.app"}).rc, 6);
    fs::copy_file(local / "demo.app", local / "demo2.app");
    r = Cli(b, {"UploadFile", "0", "5", local / "demo2.app"});
    ASSERT_EQ(r.rc, 0) << r.out << r.err;
    EXPECT_EQ(r.Column(), (std::vector<std::string>{"demo", "demo2"}));
    EXPECT_EQ(ReadFile(b.Root() + "/apps/demo2/data/blob.bin"), binary);
    // A damaged file changes nothing.
    WriteFile(local / "cut.app", app.substr(0, app.size() / 2));
    EXPECT_EQ(Cli(b, {"UploadFile", "0", "5", local / "cut.app"}).rc, 6);
    EXPECT_FALSE(fs::exists(b.Root() + "/apps/cut"));
    EXPECT_EQ(Cli(b, {"GetApps"}).Rows().size(), 2u);
}

}  // namespace

// A file upload goes to a temporary file beside its target: the target changes only
// when the whole body came, and nothing is left behind otherwise.
TEST_F(Transfer, UploadsReplaceTheTargetOnlyWhenWhole) {
    const long sid = Login(a.Port(), "admin", kAdminPassword);
    ASSERT_NE(sid, 0);
    const std::string target = a.Root() + "/apps/demo/index.html";
    const std::string before = ReadFile(target);
    const std::string file(1 << 20, 'f');
    auto request = [&](long session, const std::string& ending) {
        const std::string body = "server_request=UploadFile(1,1,index.html)&&&" + file + ending;
        return DevRequest(body, session);
    };
    auto leftovers = [&] {
        int n = 0;
        for (const auto& e : fs::directory_iterator(a.Root() + "/apps/demo"))
            n += e.path().filename().string().rfind(".index.html", 0) == 0;
        return n;
    };
    // The client goes away half-way.
    {
        net::TcpClient c;
        ASSERT_EQ(c.Open(), 0);
        ASSERT_EQ(c.Connect(net::MakeAddress(127, 0, 0, 1, a.Port()), 2000), 0);
        const std::string r = request(sid, "\r\n\r\n");
        ASSERT_EQ(c.SendAll(r.data(), r.size() / 2, 5000), 0);
    }
    // Refusals come after the whole body was read, so the client reads them: not logged
    // in, and a body without its final empty line.
    EXPECT_NE(Exchange(a.Port(), request(0, "\r\n\r\n")).find("Not logged in"), std::string::npos);
    EXPECT_NE(Exchange(a.Port(), request(sid, "XXXX")).find("does not end with an empty line"),
              std::string::npos);
    EXPECT_EQ(Cli(a, {"GetHtmls", "1"}).rc, 0);  // the server is still serving
    EXPECT_EQ(ReadFile(target), before);
    // The abandoned upload's worker removes its file once it reads the client's close.
    for (int i = 0; i < 100 && leftovers() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(leftovers(), 0);
    // Whole, it replaces the file.
    const std::string answer = Exchange(a.Port(), request(sid, "\r\n\r\n"));
    EXPECT_FALSE(IsError(answer)) << answer.substr(0, 300);
    EXPECT_TRUE(ReadFile(target) == file);
    EXPECT_EQ(leftovers(), 0);
}
