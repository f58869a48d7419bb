#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "webproc/HttpProcessor.h"

namespace {

void Set(HttpProcessor& p, const std::string& text) {
    p.m_Message.Alloc(100, 1000);
    if (!text.empty()) p.m_Message.AddContent(text.data(), static_cast<long>(text.size()));
}

// The completion rule answered by fresh scans of the whole prefix.
bool FreshMoreData(const std::string& prefix) {
    if (prefix.empty()) return false;
    HttpProcessor p;
    Set(p, prefix);
    const int type = p.GetHttpType();
    const long h = p.GetHeaderLength();
    const long l = p.GetContentLength();
    switch (type) {
        case 2:
        case 5:
        case 6:
            return h == 0;
        case 1:
        case 3:
        case 4:
            if (h == 0 || l == 0) return true;
            return static_cast<long>(prefix.size()) - h < l;
        default:
            return true;
    }
}

TEST(HttpScan, MessageKinds) {
    const std::pair<const char*, int> cases[] = {
        {"GET / HTTP/1.1", 2},  {"POST /a HTTP/1.1", 1},   {"DEV / HTTP/1.1", 3},
        {"HTTP/1.1 200 OK", 4}, {"OPTIONS * HTTP/1.1", 5}, {"HEAD / HTTP/1.1", 6},
        {"get / HTTP/1.1", 0},  {"PUT / HTTP/1.1", 0},     {"GE", 0},
    };
    for (const auto& [text, kind] : cases) {
        HttpProcessor p;
        Set(p, text);
        EXPECT_EQ(p.GetHttpType(), kind) << text;
        EXPECT_EQ(p.m_HttpType, kind) << text;
    }
}

TEST(HttpScan, EmptyProcessor) {
    HttpProcessor p;
    EXPECT_FALSE(p.IsMoreData());
    EXPECT_EQ(p.GetHeaderLength(), 0);
    EXPECT_EQ(p.GetContentLength(), 0);
    EXPECT_EQ(p.GetSessionID(), 0);
    EXPECT_EQ(p.GetUserID(), -1);
    char value[51] = "x";
    EXPECT_EQ(p.GetCookie("a", value), 0);
    EXPECT_STREQ(value, "");
}

TEST(HttpScan, ResponseCompletesAtContentLength) {
    HttpProcessor p;
    Set(p, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nabc");
    EXPECT_TRUE(p.IsMoreData());
    p.m_Message.AddContent("de", 2);
    EXPECT_FALSE(p.IsMoreData());
    EXPECT_EQ(p.GetHeaderLength(), 38);
    EXPECT_EQ(p.GetContentLength(), 5);
}

TEST(HttpScan, ResponseWithoutLengthWaitsForClose) {
    HttpProcessor p;
    Set(p, "HTTP/1.1 200 OK\r\n\r\n");
    for (int i = 0; i < 100; ++i) {
        EXPECT_TRUE(p.IsMoreData());
        p.m_Message.AddContent("0123456789", 10);
    }
    EXPECT_TRUE(p.IsMoreData());
}

TEST(HttpScan, GetIsCompleteAtBlankLine) {
    HttpProcessor p;
    Set(p, "GET /x HTTP/1.1\r\nContent-Length: 100\r\n");
    EXPECT_TRUE(p.IsMoreData());
    p.m_Message.AddContent("\r\nbody", 6);
    EXPECT_FALSE(p.IsMoreData());
}

TEST(HttpScan, UnknownKindAlwaysWantsMore) {
    HttpProcessor p;
    Set(p, "PUT / HTTP/1.1\r\nContent-Length: 0\r\n\r\n");
    EXPECT_TRUE(p.IsMoreData());
}

TEST(HttpScan, HeaderInPiecesIsNotCutAtContentLength) {
    // The length arrives before the blank line: the message is not complete when it
    // holds 5 bytes, nor when it holds header + 5 bytes of header lines.
    HttpProcessor p;
    Set(p, "DEV / HTTP/1.1\r\nContent-Length: 5\r\n");
    EXPECT_TRUE(p.IsMoreData());
    p.m_Message.AddContent("Cookie: jsessionid=7\r\n", 22);
    EXPECT_TRUE(p.IsMoreData());
    p.m_Message.AddContent("\r\nabcd", 6);
    EXPECT_TRUE(p.IsMoreData());
    p.m_Message.AddContent("e", 1);
    EXPECT_FALSE(p.IsMoreData());
    EXPECT_EQ(p.GetSessionID(), 7);
}

TEST(HttpScan, ContentLengthSpellings) {
    const std::pair<const char*, long> cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-length: 12\r\n\r\n", 12},
        {"HTTP/1.1 200 OK\r\ncontent-length: 12\r\n\r\n", 12},
        {"HTTP/1.1 200 OK\r\nCONTENT-LENGTH: 12\r\n\r\n", 12},
        {"HTTP/1.1 200 OK\r\nX-Content-Length: 12\r\n\r\n", 0},
        {"HTTP/1.1 200 OK\r\nContent-Length:12\r\n\r\n", 0},
        {"HTTP/1.1 200 OK\r\nContent-Length:   42abc\r\n\r\n", 42},
        {"HTTP/1.1 200 OK\r\nContent-Length: x\r\n\r\n", 0},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1234      \r\n\r\n", 1234},
        // Only the header gives the length: a body line never does.
        {"HTTP/1.1 200 OK\r\nContent-length: 3\r\n\r\nContent-Length: 9\r\n", 3},
        {"HTTP/1.1 200 OK\r\nX: y\r\n\r\nContent-Length: 9\r\n", 0},
        {"HTTP/1.1 200 OK\r\n\r\n\r\nContent-Length: 9\r\n", 0},
        // At most 19 characters are read; huge values saturate instead of overflowing.
        {"HTTP/1.1 200 OK\r\nContent-Length: 12345678901234567890123\r\n\r\n", 1234567890123456789},
        {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n", LONG_MAX},
    };
    for (const auto& [text, length] : cases) {
        HttpProcessor p;
        Set(p, text);
        EXPECT_EQ(p.GetContentLength(), length) << text;
    }
}

TEST(HttpScan, SessionAndUserIds) {
    HttpProcessor p;
    Set(p, "HTTP/1.1 200 OK\r\nSet-Cookie: jsessionid=42; Path=/x/\r\n\r\nserver_userid=17 ok");
    EXPECT_EQ(p.GetSessionID(), 42);
    EXPECT_EQ(p.GetUserID(), 17);

    HttpProcessor body;
    Set(body, "HTTP/1.1 200 OK\r\n\r\njsessionid=42");
    EXPECT_EQ(body.GetSessionID(), 0);
    EXPECT_EQ(body.GetUserID(), -1);

    HttpProcessor path;
    Set(path, "GET /app/x;jsessionid=42&x=1 HTTP/1.1\r\n\r\n");
    EXPECT_EQ(path.GetSessionID(), 42);
}

TEST(HttpScan, Cookies) {
    HttpProcessor p;
    Set(p, "GET / HTTP/1.1\r\nCookie: theme=dark; lang=de&x\r\n\r\nsize=big");
    char value[51];
    EXPECT_EQ(p.GetCookie("theme", value), 0);
    EXPECT_STREQ(value, "dark");
    EXPECT_EQ(p.GetCookie("lang", value), 0);
    EXPECT_STREQ(value, "de");
    EXPECT_EQ(p.GetCookie("size", value), 0);  // in the body: not a cookie
    EXPECT_STREQ(value, "");

    HttpProcessor longer;
    const std::string fifty(50, 'v');
    Set(longer, "GET / HTTP/1.1\r\nCookie: a=" + fifty + "; b=" + fifty + "w\r\n\r\n");
    EXPECT_EQ(longer.GetCookie("a", value), 0);
    EXPECT_EQ(std::string(value), fifty);
    EXPECT_EQ(longer.GetCookie("b", value), -1);
    EXPECT_EQ(std::string(value), fifty);
}

TEST(HttpScan, PathFileName) {
    char out[1024];
    HttpProcessor post;
    Set(post, "POST /app/page.html HTTP/1.1\r\n\r\n");
    EXPECT_EQ(post.GetPathFileName(out, 1024), 0);
    EXPECT_STREQ(out, "/app/page.html");

    HttpProcessor get;
    Set(get, "GET /app/page.html HTTP/1.1\r\n\r\n");
    EXPECT_EQ(get.GetPathFileName(out, 1024), 0);
    EXPECT_STREQ(out, "app/page.html");

    HttpProcessor none;
    Set(none, "GET /x");
    EXPECT_EQ(none.GetPathFileName(out, 1024), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(none.GetPathFileName(nullptr, 0), -1);

    HttpProcessor tooLong;
    Set(tooLong, "POST /" + std::string(1100, 'a') + " HTTP/1.1\r\n\r\n");
    EXPECT_EQ(tooLong.GetPathFileName(out, 1024), 0);
    EXPECT_STREQ(out, "");
}

// A processor reused for the next message starts over, even when the new message
// begins like the old one and is still shorter than it was.
TEST(HttpScan, ReuseForNewMessageResetsState) {
    HttpProcessor p;
    Set(p, "DEV / HTTP/1.1\r\nContent-Length: 2\r\n\r\nab");
    EXPECT_FALSE(p.IsMoreData());

    p.m_Message.Free();
    EXPECT_FALSE(p.IsMoreData());  // empty
    const std::string next = "DEV / HTTP/1.1\r\nContent-Length: 2\r\nCookie: jsessionid=9\r\n";
    p.m_Message.AddContent(next.data(), static_cast<long>(next.size()));
    EXPECT_TRUE(p.IsMoreData());  // header not ended yet
    p.m_Message.AddContent("\r\nxy", 4);
    EXPECT_FALSE(p.IsMoreData());

    // Re-allocated without Free, and a different kind of message.
    p.m_Message.Alloc(10, 10);
    p.m_Message.AddContent("HTTP/1.1 200 OK\r\n\r\n", 19);
    EXPECT_TRUE(p.IsMoreData());  // a response without length waits for the close
    EXPECT_EQ(p.m_HttpType, 4);

    // Re-allocated and filled to a larger size than before before the first question.
    p.m_Message.Alloc(10, 10);
    const std::string get = "GET / HTTP/1.1\r\nHost: a-much-longer-host-name\r\n";
    p.m_Message.AddContent(get.data(), static_cast<long>(get.size()));
    EXPECT_TRUE(p.IsMoreData());
    p.m_Message.AddContent("\r\n", 2);
    EXPECT_FALSE(p.IsMoreData());
}

// Messages that exercise every path of the rule, split anywhere.
std::vector<std::string> SampleMessages(std::mt19937& rng) {
    std::vector<std::string> out = {
        "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nabcde",
        "HTTP/1.1 200 OK\r\nContent-length: 3\r\n\r\nabcContent-Length: 40\r\n" +
            std::string(40, 'z'),
        "DEV / HTTP/1.1\r\nContent-Length: 12\r\n\r\nserver_request=GetApps()\r\n\r\n",
        "POST /a HTTP/1.1\r\nContent-Length: 0\r\n\r\nbody",
        "GET / HTTP/1.1\r\nHost: x\r\n\r\nContent-Length: 3\r\n",
        "HEAD / HTTP/1.1\r\n\r\n",
        "OPTIONS * HTTP/1.1\r\n\r",
        "HTTP/1.1 200 OK\r\n\r\n" + std::string(300, 'q'),
        "XYZ\r\n\r\n",
        "HTTP/1.1 200 OK\r\nContent-Length: 10000\r\n\r\n" + std::string(25000, 'b'),
        "HTTP/1.1 200 OK\r\nX: " + std::string(20000, 'h') + "\r\nContent-Length: 7\r\n\r\n" +
            std::string(7, 'c'),
    };
    const char* tokens[] = {"\r\n",
                            "\r\n\r\n",
                            "Content-Length: ",
                            "Content-length: ",
                            "1",
                            "23",
                            "0",
                            "x",
                            " ",
                            "\r",
                            "\n",
                            "-4",
                            "abcdef",
                            "HTTP"};
    const char* starts[] = {"GET ", "POST ", "DEV ", "HTTP/1.1 ", "HEAD ", "OPTIONS ", "FOO "};
    for (int i = 0; i < 60; ++i) {
        std::string m = starts[rng() % 7];
        const int n = 5 + static_cast<int>(rng() % 60);
        for (int t = 0; t < n; ++t) m += tokens[rng() % 14];
        out.push_back(m);
    }
    return out;
}

void FeedAndCompare(const std::string& msg, const std::vector<size_t>& pieces) {
    HttpProcessor p;
    p.m_Message.Alloc(16, 16);
    size_t at = 0, k = 0;
    while (at < msg.size()) {
        const size_t n = std::min(pieces[k++ % pieces.size()], msg.size() - at);
        p.m_Message.AddContent(msg.data() + at, static_cast<long>(n));
        at += n;
        const std::string prefix = msg.substr(0, at);
        const bool more = p.IsMoreData();
        ASSERT_EQ(more, FreshMoreData(prefix)) << "prefix of " << at << " bytes of: " << msg;
        if (!more) {
            // Never complete before the header has ended.
            ASSERT_NE(prefix.find("\r\n\r\n"), std::string::npos) << msg;
        }
    }
}

TEST(HttpScan, IncrementalAnswersEqualFreshScans) {
    std::mt19937 rng(12345);
    const auto messages = SampleMessages(rng);
    for (const auto& msg : messages) {
        FeedAndCompare(msg, {1});
        FeedAndCompare(msg, {7});
        FeedAndCompare(msg, {10000});
        std::vector<size_t> random;
        for (int i = 0; i < 50; ++i) random.push_back(1 + rng() % 40);
        FeedAndCompare(msg, random);
        if (HasFailure()) return;
    }
}

}  // namespace
