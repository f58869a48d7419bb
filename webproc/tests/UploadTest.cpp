#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>

#include "platform/os/Files.h"
#include "webproc/HttpProcessor.h"

namespace {

namespace fs = std::filesystem;

struct TempDir {
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "webproc-up-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(path); }
    // Every file under the folder, relative to it.
    std::set<std::string> Files() const {
        std::set<std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(path))
            if (!e.is_directory()) out.insert(fs::relative(e.path(), path).string());
        return out;
    }
    std::string Read(const std::string& rel) const {
        std::string s;
        os::ReadWholeFile(os::JoinPath({path, rel}).c_str(), s);
        return s;
    }
    std::string path;
};

struct Post {
    HttpProcessor http;
    ParamList<ParamListItem> params;
    UploadTraceList<UploadTraceListItem> trace;
    char name[51] = "";

    explicit Post(const std::string& message) {
        http.m_Message.AddContent(message.data(), static_cast<long>(message.size()));
        http.GetHttpType();
        http.GetReqType();
        http.GetRequestNameAndParams(name, params);
    }
    UploadTraceListItem& Trace(long i) {
        UploadTraceListItem* item = nullptr;
        trace.GetAt(i, &item);
        return *item;
    }
};

std::string Fixture(const char* name) {
    std::string s;
    EXPECT_EQ(os::ReadWholeFile((std::string(WEBPROC_TEST_DATA) + "/" + name).c_str(), s), 0);
    return s;
}

// A multipart post as browsers lay it out: the call, then one part per file.
std::string Multipart(const std::string& call,
                      const std::vector<std::pair<std::string, std::string>>& files) {
    const std::string b = "----WebKitFormBoundaryAbC";
    std::string body = "--" + b +
                       "\r\nContent-Disposition: form-data; name=\"server_request\"\r\n\r\n" +
                       call + "\r\n";
    int n = 0;
    for (const auto& [client, data] : files)
        body += "--" + b + "\r\nContent-Disposition: form-data; name=\"f" + std::to_string(n++) +
                "\"; filename=\"" + client +
                "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + data + "\r\n";
    body += "--" + b + "--\r\n";
    return "POST /shop/x.html HTTP/1.1\r\nHost: h\r\nUser-Agent: test\r\nContent-Type: "
           "multipart/form-data; boundary=" +
           b + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

void MakeDataFolder(const TempDir& dir, const char* app = "shop") {
    ASSERT_EQ(os::MakeDirectories(os::JoinPath({dir.path, app, "data"}).c_str()), 0);
}

TEST(Upload, TwoFilesFromCurl) {
    TempDir dir;
    MakeDataFolder(dir);
    Post post(Fixture("curl-two-files.http"));
    ASSERT_EQ(post.http.m_ReqType, 3);
    ASSERT_STREQ(post.name, "Save");
    ASSERT_EQ(post.http.Upload("shop", post.params, dir.path.c_str(), post.trace), 1);
    // The "filename=" inside the report's contents is data, not a third part.
    ASSERT_EQ(post.trace.Count(), 2);
    EXPECT_STREQ(post.Trace(0).m_ClientFile, "q1.final.pdf");
    EXPECT_EQ(post.Trace(0).m_ServerFile.str(),
              os::JoinPath({dir.path, "shop", "data", "report.final.pdf"}));
    EXPECT_EQ(post.Trace(0).m_Status, 0);
    EXPECT_STREQ(post.Trace(0).m_Note, "");
    EXPECT_EQ(post.Trace(1).m_Status, 0);
    EXPECT_EQ(dir.Files(),
              (std::set<std::string>{"shop/data/report.final.pdf", "shop/data/logo.png"}));
    static const char kReport[] =
        "%PDF-1.4\r\nfake report\r\n--not a boundary\r\nContent-Disposition: "
        "form-data; name=\"x\"; filename=\"evil.txt\"\r\n\x00\x01\x02\xff end\n";
    EXPECT_EQ(dir.Read("shop/data/report.final.pdf"), std::string(kReport, sizeof kReport - 1));
    EXPECT_EQ(dir.Read("shop/data/logo.png"),
              std::string("\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR logo bytes", 27));
}

TEST(Upload, OddClientNamesFromCurl) {
    TempDir dir;
    MakeDataFolder(dir);
    Post post(Fixture("curl-odd-names.http"));
    ASSERT_STREQ(post.name, "Put");
    ASSERT_EQ(post.http.Upload("shop", post.params, dir.path.c_str(), post.trace), 1);
    ASSERT_EQ(post.trace.Count(), 4);
    // A Windows path: the extension comes from the base name's first '.'.
    EXPECT_EQ(post.Trace(0).m_Status, 0);
    EXPECT_STREQ(post.Trace(0).m_ClientFile, "C:\\docs\\q1.final.pdf");
    // An extension holding a path is refused.
    EXPECT_EQ(post.Trace(1).m_Status, -1);
    EXPECT_STREQ(post.Trace(1).m_Note, "Error: Invalid file name");
    // A field left empty.
    EXPECT_EQ(post.Trace(2).m_Status, -1);
    EXPECT_STREQ(post.Trace(2).m_Note, "Warning: No client file contents");
    // No extension: the argument alone.
    EXPECT_EQ(post.Trace(3).m_Status, 0);
    EXPECT_EQ(dir.Files(), (std::set<std::string>{"shop/data/a.final.pdf", "shop/data/d"}));
}

TEST(Upload, NothingToDo) {
    TempDir dir;
    Post form(
        "POST /a/X(a) HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\n\r\na=1");
    EXPECT_EQ(form.http.Upload("shop", form.params, dir.path.c_str(), form.trace), 0);
    std::string noFile = Multipart("Save(a)", {});
    Post post(noFile);
    EXPECT_EQ(post.http.Upload("shop", post.params, dir.path.c_str(), post.trace), 0);
    EXPECT_EQ(post.trace.Count(), 0);
}

TEST(Upload, PartProblemsAreTracedAndTheRestGoesOn) {
    TempDir dir;
    MakeDataFolder(dir);
    Post post(
        Multipart("Save(,ok,,x)",
                  {{"noext", "1"}, {"b.txt", "2"}, {"c.txt", "3"}, {"d", "4"}, {"e.txt", "5"}}));
    ASSERT_EQ(post.params.Count(), 4);
    ASSERT_EQ(post.http.Upload("shop", post.params, dir.path.c_str(), post.trace), 1);
    ASSERT_EQ(post.trace.Count(), 5);
    EXPECT_STREQ(post.Trace(0).m_Note, "Warning: No client file name");  // empty argument
    EXPECT_STREQ(post.Trace(1).m_Note, "");
    EXPECT_STREQ(post.Trace(2).m_Note, "Error: Invalid file name");  // would be ".txt"
    EXPECT_STREQ(post.Trace(3).m_Note, "");
    EXPECT_STREQ(post.Trace(4).m_Note, "Warning: No client file name");  // no argument left
    EXPECT_EQ(post.Trace(4).m_Status, -1);
    EXPECT_EQ(dir.Files(), (std::set<std::string>{"shop/data/ok.txt", "shop/data/x"}));
    EXPECT_EQ(dir.Read("shop/data/x"), "4");
}

TEST(Upload, NoBorderEndsTheUpload) {
    TempDir dir;
    MakeDataFolder(dir);
    std::string message = Multipart("Save(a,b)", {{"a.txt", "1"}});
    message = message.substr(0, message.rfind("------WebKitFormBoundaryAbC--"));
    message +=
        "------WebKitFormBoundaryAbC\r\nContent-Disposition: form-data; name=\"f1\"; "
        "filename=\"b.txt\"\r\nX: y\r\n\r\nno end\r\n";
    Post post(message);
    EXPECT_EQ(post.http.Upload("shop", post.params, dir.path.c_str(), post.trace), -1);
    ASSERT_EQ(post.trace.Count(), 2);
    EXPECT_STREQ(post.Trace(1).m_Note, "Error: No border");
    EXPECT_EQ(dir.Files(), (std::set<std::string>{"shop/data/a.txt"}));  // parts done stay
}

TEST(Upload, FolderProblems) {
    TempDir dir;
    const std::string message = Multipart("Save(a)", {{"a.txt", "1"}});
    Post noRoot(message);
    EXPECT_EQ(noRoot.http.Upload("shop", noRoot.params, nullptr, noRoot.trace), 1);
    EXPECT_STREQ(noRoot.Trace(0).m_Note, "Error: No app directory");
    EXPECT_EQ(noRoot.Trace(0).m_Status, -1);

    // No data folder: the file cannot be created, and that is not a success.
    Post noFolder(message);
    EXPECT_EQ(noFolder.http.Upload("shop", noFolder.params, dir.path.c_str(), noFolder.trace), 1);
    EXPECT_STREQ(noFolder.Trace(0).m_Note, "Error: Cannot write file");
    EXPECT_EQ(noFolder.Trace(0).m_Status, -1);
    EXPECT_TRUE(dir.Files().empty());
}

TEST(Upload, NeverWritesOutsideTheDataFolder) {
    TempDir dir;
    MakeDataFolder(dir, "shop");
    MakeDataFolder(dir, "other");
    const std::string inside = os::JoinPath({dir.path, "shop", "data"});
    for (const char* arg : {"..", "../x", "..\\x", "a/b", "a\\b", ".hidden", "a..b", "/abs",
                            "%2E%2E", "x%2F..%2Fy"}) {
        Post post(Multipart(std::string("Save(") + arg + ")", {{"f.txt", "data"}}));
        post.http.Upload("shop", post.params, dir.path.c_str(), post.trace);
        ASSERT_EQ(post.trace.Count(), 1) << arg;
        const auto& item = post.Trace(0);
        if (item.m_Status == 0)
            EXPECT_EQ(os::DirName(item.m_ServerFile.view()), inside) << arg;
        else
            EXPECT_STREQ(item.m_Note, "Error: Invalid file name") << arg;
    }
    for (const char* client : {"x./../../y", "C:\\a\\b..txt", "a.\\..", "a.b/c"}) {
        Post post(Multipart("Save(n)", {{client, "data"}}));
        post.http.Upload("shop", post.params, dir.path.c_str(), post.trace);
        EXPECT_STREQ(post.Trace(0).m_Note, "Error: Invalid file name") << client;
    }
    for (const char* app : {"..", "", "a/b", ".git"}) {
        Post post(Multipart("Save(n)", {{"f.txt", "data"}}));
        post.http.Upload(app, post.params, dir.path.c_str(), post.trace);
        EXPECT_STREQ(post.Trace(0).m_Note, "Error: Invalid file name") << app;
    }
    // A name with a zero character, from a form field that the call names.
    const std::string b = "----WebKitFormBoundaryAbC";
    std::string message = Multipart("Save(who)", {{"f.txt", "data"}});
    const std::string field = "--" + b +
                              "\r\nContent-Disposition: form-data; name=\"who\"\r\n\r\n" +
                              std::string("a\0b", 3) + "\r\n";
    message.insert(message.rfind("--" + b + "--"), field);
    Post zero(message);
    zero.http.Upload("shop", zero.params, dir.path.c_str(), zero.trace);
    EXPECT_STREQ(zero.Trace(0).m_Note, "Error: Invalid file name");

    for (const auto& f : dir.Files()) EXPECT_EQ(f.rfind("shop/data/", 0), 0u) << f;
}

}  // namespace

// Only the real delimiter ends a part: whatever the data holds, however many header
// lines a part has, whatever the boundary looks like (python-requests and Go send
// boundaries without dashes, some clients quote it).
TEST(Upload, OnlyTheDelimiterEndsAPart) {
    for (const std::string& type :
         {std::string("boundary=9f2c1e"), std::string("boundary=\"9f2c1e\"; charset=utf-8")}) {
        TempDir dir;
        MakeDataFolder(dir);
        const std::string data = "line one\r\n---- not an end\r\n--9f2c1 nor this";
        const std::string body =
            "--9f2c1e\r\nContent-Disposition: form-data; name=\"server_request\"\r\n\r\n"
            "Save(report,who)\r\n--9f2c1e\r\nContent-Disposition: form-data; name=\"who\"\r\n\r\n"
            "Smith, John\r\n--9f2c1e\r\nContent-Disposition: form-data; name=\"f\"; "
            "filename=\"q1.csv\"\r\n\r\n" +
            data + "\r\n--9f2c1e--\r\n";
        Post post("POST /shop/x.html HTTP/1.1\r\nHost: h\r\nContent-Type: multipart/form-data; " +
                  type + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
        ASSERT_EQ(post.http.Upload("shop", post.params, dir.path.c_str(), post.trace), 1) << type;
        ASSERT_EQ(post.trace.Count(), 1);
        EXPECT_STREQ(post.Trace(0).m_Note, "");
        EXPECT_EQ(dir.Read("shop/data/report.csv"), data) << type;
        ASSERT_EQ(post.params.Count(), 2);
        ParamListItem* who = nullptr;
        post.params.GetAt(1, &who);
        EXPECT_EQ(std::u16string(who->m_ValueU.GetContent(),
                                 static_cast<size_t>(who->m_ValueU.GetSize())),
                  u"Smith, John");
    }
}

// Parts are read once each, and a message carries at most 1000 files.
TEST(Upload, ManyPartsCostLinearTimeAndAreCapped) {
    TempDir dir;
    MakeDataFolder(dir);
    std::vector<std::pair<std::string, std::string>> files(1001, {"f.txt", "x"});
    std::string call = "Save(";
    for (int i = 0; i < 1001; ++i) call += (i ? ",n" : "n") + std::to_string(i);
    Post post(Multipart(call + ")", files));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(post.http.Upload("shop", post.params, dir.path.c_str(), post.trace), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    ASSERT_EQ(post.trace.Count(), 1001);
    EXPECT_STREQ(post.Trace(1000).m_Note, "Error: Too many files");
    EXPECT_EQ(dir.Files().size(), 1000u);
}
