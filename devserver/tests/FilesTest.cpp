// The four file windows: their listings, and DeleteFile/RenameFile acting on exactly the
// folder sent, whatever lists the session fetched before.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "devserver/tests/Harness.h"

using namespace dstest;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::string> n;
    for (const auto& r : rows) n.push_back(r.empty() ? "" : r[0]);
    return n;
}

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GT(s.Port(), 0) << s.Stderr();
        area = s.Root() + "/apps/demo";
        // One name in every place the windows show.
        for (const char* dir : {"", "/images", "/data", "/docs"})
            WriteFile(area + dir + "/same.txt", std::string("in ") + dir);
        sid = Login(s.Port(), "admin", kAdminPassword);
        ASSERT_NE(sid, 0);
    }
    void TearDown() override { EXPECT_EQ(s.Stop(), 0) << s.Stderr(); }
    std::string Run(const std::string& text) { return Command(s.Port(), sid, text); }
    bool Exists(const std::string& rel) { return fs::exists(area + rel); }

    Server s;
    std::string area;
    long sid = 0;
};

TEST_F(Files, ListingsOfTheFourWindows) {
    auto rows = TableRows(Run("GetHtmls(1)"));
    EXPECT_EQ(Names(rows), (std::vector<std::string>{"AddOrder.html", "ListCustomers.html",
                                                     "index.html", "same.txt", "style.css"}));
    ASSERT_EQ(rows[0].size(), 3u);
    EXPECT_EQ(rows[0][2].size(), 19u);
    EXPECT_EQ(Names(TableRows(Run("GetImages(1)"))),
              (std::vector<std::string>{"logo.png", "same.txt"}));
    EXPECT_EQ(Names(TableRows(Run("GetData(1)"))),
              (std::vector<std::string>{"customers.csv", "same.txt"}));
    // Files: folders (kind 1) first, then files (kind 0); ".." only below the top.
    rows = TableRows(Run("GetFiles(1,)"));
    ASSERT_GE(rows.size(), 4u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"data", "", rows[0][2], "1"}));
    EXPECT_EQ(rows[1][0], "docs");
    EXPECT_EQ(rows[2][0], "images");
    EXPECT_EQ(rows[3][3], "0");
    rows = TableRows(Run("GetFiles(1,docs)"));
    EXPECT_EQ(rows[0], (std::vector<std::string>{"..", "", "", "1"}));
    // Sizes in K, rounded up.
    WriteFile(area + "/docs/big.bin", std::string(2049, 'x'));
    rows = TableRows(Run("GetFiles(1,docs)"));
    bool seen = false;
    for (const auto& r : rows)
        if (r[0] == "big.bin") seen = (r[1] == "3");
    EXPECT_TRUE(seen);
    // Dot files and names no command could carry stay out of the lists.
    WriteFile(area + "/.hidden", "x");
    WriteFile(area + "/a,b.html", "x");
    auto names = Names(TableRows(Run("GetHtmls(1)")));
    EXPECT_EQ(std::count(names.begin(), names.end(), ".hidden"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "a,b.html"), 0);
    EXPECT_TRUE(IsError(Run("GetFiles(1,nosuch)")));
    EXPECT_TRUE(IsError(Run("GetFiles(1,..)")));
}

// The folder sent is the only place looked at, whatever the session listed last; the
// answer is that folder's listing in the Files layout.
TEST_F(Files, DeleteAndRenameActOnExactlyTheFolderSent) {
    Run("GetFiles(1,docs)");
    Run("GetData(1)");  // the lists fetched last say nothing about the place
    std::string a = Run("DeleteFile(1,images,same.txt)");
    ASSERT_FALSE(IsError(a)) << a;
    for (const char* kept : {"/same.txt", "/data/same.txt", "/docs/same.txt"})
        EXPECT_TRUE(Exists(kept)) << kept;
    EXPECT_FALSE(Exists("/images/same.txt"));
    EXPECT_EQ(TableRows(a), TableRows(Run("GetFiles(1,images)")));
    EXPECT_EQ(Names(TableRows(a)), (std::vector<std::string>{"..", "logo.png"}));

    Run("GetImages(1)");
    a = Run("DeleteFile(1,,same.txt)");
    EXPECT_FALSE(Exists("/same.txt"));
    EXPECT_TRUE(Exists("/data/same.txt") && Exists("/docs/same.txt"));
    EXPECT_EQ(TableRows(a), TableRows(Run("GetFiles(1,)")));

    Run("GetHtmls(1)");
    a = Run("RenameFile(1,data,same.txt,renamed.txt)");
    ASSERT_FALSE(IsError(a)) << a;
    EXPECT_TRUE(Exists("/data/renamed.txt") && Exists("/docs/same.txt"));
    EXPECT_EQ(TableRows(a), TableRows(Run("GetFiles(1,data)")));
    a = Run("RenameFile(1,docs,same.txt,b.txt)");
    EXPECT_TRUE(Exists("/docs/b.txt"));
    EXPECT_EQ(TableRows(a)[0], (std::vector<std::string>{"..", "", "", "1"}));

    // Not in the folder sent: refused, though other folders hold the name.
    WriteFile(area + "/images/only.txt", "x");
    EXPECT_NE(Run("DeleteFile(1,,only.txt)").find("No such file"), std::string::npos);
    EXPECT_NE(Run("RenameFile(1,data,only.txt,x.txt)").find("No such file"), std::string::npos);
    EXPECT_TRUE(IsError(Run("DeleteFile(1,nosuch,only.txt)")));
    EXPECT_TRUE(Exists("/images/only.txt"));
    EXPECT_NE(Run("RenameFile(1,data,renamed.txt,customers.csv)").find("exists already"),
              std::string::npos);
    EXPECT_EQ(ReadFile(area + "/data/customers.csv").rfind("in", 0), std::string::npos);
    EXPECT_TRUE(IsError(Run("DeleteFile(1,,images)")));  // a folder is not deleted
    EXPECT_TRUE(fs::is_directory(area + "/images"));
    // The new name stays in the same folder.
    for (const char* bad : {"../x", "a\\b", "..", "c:x", "a)b", ""})
        EXPECT_TRUE(IsError(Run(std::string("RenameFile(1,docs,b.txt,") + bad + ")"))) << bad;
    EXPECT_TRUE(Exists("/docs/b.txt"));
}

// quorvel-cli logs in for every command: the folder it is given is the place, and its
// --kind 1, 2 or 3 prints the files of the answer only.
TEST_F(Files, CliNamesTheFolder) {
    CliResult r = Cli(s, {"DeleteFile", "1", "docs", "same.txt"});
    EXPECT_EQ(r.rc, 0) << r.out;
    EXPECT_FALSE(Exists("/docs/same.txt"));
    EXPECT_TRUE(Exists("/same.txt"));
    r = Cli(s, {"--kind", "2", "RenameFile", "1", "images", "logo.png", "brand.png"});
    EXPECT_EQ(r.rc, 0) << r.out;
    EXPECT_TRUE(Exists("/images/brand.png"));
    EXPECT_EQ(r.Column(), (std::vector<std::string>{"brand.png", "same.txt"}));
    r = Cli(s, {"--kind", "3", "DeleteFile", "1", "", "customers.csv"});
    EXPECT_EQ(r.rc, 6);
    EXPECT_TRUE(Exists("/data/customers.csv"));
    r = Cli(s, {"DeleteFile", "1", "..", "quorvel.db"});
    EXPECT_EQ(r.rc, 6);
    EXPECT_TRUE(fs::exists(s.Root() + "/quorvel.db"));
}

}  // namespace
