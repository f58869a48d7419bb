// Answers far larger than the receive block arrive whole and byte-exact, however the
// buffer grows: sized from the header, doubling without one, or after a lying header.
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "studio/session/tests/SessionFixture.h"

using namespace session_test;

namespace {

std::string Bytes(std::size_t n) {
    std::string b(n, '\0');
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<char>(i * 131 + 7);
    return b;
}

}  // namespace

TEST_F(SessionTest, LargeDocumentsArriveWholeHoweverTheBufferGrows) {
    const std::string body = Bytes(3 * 1024 * 1024 + 17);
    TempDir dir;
    TransferKind = kTransferData;
    TransferFileName = "big.bin";
    TransferLocalPath = dir.File("big.bin");

    m_Server.Push(testing_net::Whole(testing_net::HttpOk(body)));
    ASSERT_EQ(Session.Execute(kCmdDownloadFile), 0);
    ASSERT_EQ(Session.ParseResponse(kCmdDownloadFile), 0);
    EXPECT_TRUE(Slurp(dir.File("big.bin").c_str()) == body);

    // Without Content-Length the close ends it; the buffer grows as the bytes come.
    m_Server.Push(testing_net::Whole(testing_net::HttpOkNoLength(body)));
    ASSERT_EQ(Session.Execute(kCmdGetReqScript), 0);
    ASSERT_EQ(Session.ParseResponse(kCmdGetReqScript), 0);
    EXPECT_TRUE(
        std::string(ReqScript.GetContent(), static_cast<std::size_t>(ReqScript.GetSize())) == body);

    // A header that promises far more than comes: the answer is no document, the file
    // stays as it was and no temporary file is left. A download keeps only the header
    // and the start of the body in memory; the rest went to disk.
    const std::string lying = "HTTP/1.1 200 OK\r\nContent-Length: 50000000\r\n\r\n";
    m_Server.Push(testing_net::Whole(lying + body.substr(0, 100000)));
    ASSERT_EQ(Session.Execute(kCmdDownloadFile), 0);
    EXPECT_EQ(Session.m_Response.m_Message.GetSize(), static_cast<long>(lying.size()) + 65536);
    EXPECT_FALSE(Session.DownloadPending());
    EXPECT_EQ(Session.ParseResponse(kCmdDownloadFile), -1);
    EXPECT_TRUE(Slurp(dir.File("big.bin").c_str()) == body);
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
        names.push_back(e.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"big.bin"});
    // And a header larger than any reservation still reads what arrives.
    m_Server.Push(testing_net::Whole("HTTP/1.1 200 OK\r\nContent-Length: 2000000000\r\n\r\nab"));
    ASSERT_EQ(Session.Execute(kCmdGetTrace), 0);
    EXPECT_EQ(Session.ParseResponse(kCmdGetTrace), -1);
    EXPECT_TRUE(m_Reports.empty());
}

// A watched exchange (the transfer worker's) reports progress up to the file's size (its
// bytes alone, not the header) and names what failed instead of reporting it; a cut
// answer fails at once.
TEST_F(SessionTest, WatchedExchangeReportsProgressAndSaysWhatFailed) {
    const std::string body = Bytes(1024 * 1024);
    TempDir dir;
    TransferKind = kTransferData;
    TransferFileName = "big.bin";
    TransferLocalPath = dir.File("big.bin");

    const std::string whole = testing_net::HttpOk(body);
    m_Server.Push(testing_net::Whole(whole));
    long long last = -1, total = 0;
    bool monotone = true;
    ServerSession::Observer watch;
    watch.progress = [&](long long done, long long t) {
        if (done < last) monotone = false;
        last = done;
        if (t > 0) total = t;
    };
    ASSERT_EQ(Session.Execute(kCmdDownloadFile, &watch), 0);
    EXPECT_TRUE(watch.failure.empty());
    EXPECT_TRUE(monotone);
    EXPECT_EQ(last, static_cast<long long>(body.size()));
    EXPECT_EQ(total, static_cast<long long>(body.size()));
    ASSERT_EQ(Session.ParseResponse(kCmdDownloadFile), 0);

    ServerSession::Observer cut;
    m_Server.Push(testing_net::Whole(whole.substr(0, whole.size() / 2)));
    EXPECT_EQ(Session.Execute(kCmdDownloadFile, &cut), -1);
    EXPECT_EQ(cut.failure, "The server's answer broke off!");
    EXPECT_EQ(Session.ParseResponse(kCmdDownloadFile), -1);
    EXPECT_TRUE(Slurp(dir.File("big.bin").c_str()) == body);

    ServerSession::Observer empty;
    m_Server.Push(testing_net::Whole(""));
    EXPECT_EQ(Session.Execute(kCmdGetTrace, &empty), -1);
    EXPECT_EQ(empty.failure, "The server closed the connection without an answer!");
    EXPECT_TRUE(m_Reports.empty());  // watched failures are never reported
}

// Out of memory, an answer that cannot be held fails the exchange: no exception ends the
// program and no part of it is taken for the whole. The address space is limited in a
// child process, which a sanitizer's own reservations would not run in.
TEST_F(SessionTest, AnAnswerBeyondMemoryFailsTheExchange) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer reserves more address space than the limit allows";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    GTEST_SKIP() << "a sanitizer reserves more address space than the limit allows";
#endif
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    m_Server.Push(testing_net::Whole(testing_net::HttpOk(std::string(96 << 20, 'x'))));
    auto outOfMemory = [] {
        std::ifstream status("/proc/self/status");
        long long kb = 0;
        for (std::string line; kb == 0 && std::getline(status, line);)
            if (line.rfind("VmSize:", 0) == 0) kb = std::atoll(line.c_str() + 7);
        rlimit limit{};
        ::getrlimit(RLIMIT_AS, &limit);
        limit.rlim_cur = static_cast<rlim_t>((kb + 32 * 1024) * 1024);
        if (kb == 0 || ::setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(3);
        ServerSession::Observer watch;
        const int rc = Session.Execute(kCmdGetApps, &watch);
        std::_Exit(rc == -1 && watch.failure == "The answer does not fit in memory!" ? 0 : 4);
    };
    EXPECT_EXIT(outOfMemory(), testing::ExitedWithCode(0), "");
}
