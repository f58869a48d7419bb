#include "logbook/WStrace.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/os/Files.h"

namespace {

std::string TempFile() {
    char tmpl[] = "/tmp/qv-trace-XXXXXX";
    int fd = ::mkstemp(tmpl);
    ::close(fd);
    ::unlink(tmpl);
    return tmpl;
}

std::string Read(const std::string& path) {
    std::string s;
    os::ReadWholeFile(path.c_str(), s);
    return s;
}

}  // namespace

TEST(WStrace, LineWithoutTimeStampIsBothTextsAndCrLf) {
    std::string f = TempFile();
    WStrace t;
    t.SetFileName(f.c_str());
    t.SetTimeStatus(0);
    t.Print("GET ", 4, "/x", 2);
    t.Print("a\0b", 3, "", 0);  // lengths, not terminators, decide
    EXPECT_EQ(Read(f), std::string("GET /x\r\na\0b\r\n", 13));
    ::unlink(f.c_str());
}

TEST(WStrace, TimeStampFieldIsTwentyFiveCharacters) {
    std::string f = TempFile();
    WStrace t;
    t.SetFileName(f.c_str());
    t.Print("hello", 5, "", 0);
    std::string s = Read(f);
    ASSERT_EQ(s.size(), 25u + 5 + 2);
    EXPECT_TRUE(
        std::regex_match(s.substr(0, 25), std::regex(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d:\d{3}  )")))
        << s;
    EXPECT_EQ(s.substr(25), "hello\r\n");
    ::unlink(f.c_str());
}

TEST(WStrace, StatusOffLeavesTheFileUntouched) {
    std::string f = TempFile();
    ASSERT_EQ(os::ReplaceFile(f.c_str(), "kept\r\n"), 0);
    WStrace t;
    t.SetFileName(f.c_str());
    t.SetStatus(0);
    t.Print("x", 1, "y", 1);
    t.Clean();
    EXPECT_EQ(Read(f), "kept\r\n");
    t.SetStatus(1);
    t.Clean();
    EXPECT_EQ(os::FileSize(f.c_str()), 0);
    ::unlink(f.c_str());
}

TEST(WStrace, CleanCreatesMissingFileAndNullTextsAreIgnored) {
    std::string f = TempFile();
    WStrace t;
    t.SetFileName(f.c_str());
    t.Print(nullptr, 3, "x", 1);
    EXPECT_FALSE(os::FileExists(f.c_str()));
    t.Clean();
    EXPECT_TRUE(os::FileExists(f.c_str()));
    EXPECT_EQ(os::FileSize(f.c_str()), 0);
    ::unlink(f.c_str());
}

TEST(WStrace, OverlongFileNameBecomesEmpty) {
    WStrace t;
    t.SetFileName(std::string(259, 'a').c_str());
    EXPECT_EQ(std::string(t.GetFileName()).size(), 259u);
    t.SetFileName(std::string(260, 'a').c_str());
    EXPECT_STREQ(t.GetFileName(), "");
    t.Print("x", 1, "y", 1);  // nowhere to write: dropped silently
}

TEST(WStrace, ConcurrentPrintsStayWholeAndComplete) {
    std::string f = TempFile();
    WStrace t;
    t.SetFileName(f.c_str());
    constexpr int kThreads = 8, kLines = 300;
    std::vector<std::thread> threads;
    for (int th = 0; th < kThreads; ++th)
        threads.emplace_back([&t, th] {
            const std::string body(200 + th * 37, static_cast<char>('a' + th));
            for (int i = 0; i < kLines; ++i) {
                std::string head = "T" + std::to_string(th) + "#" + std::to_string(i) + ":";
                t.Print(head.data(), static_cast<long>(head.size()), body.data(),
                        static_cast<long>(body.size()));
            }
        });
    for (auto& th : threads) th.join();
    std::string s = Read(f);
    std::set<std::string> seen;
    std::size_t pos = 0;
    int lines = 0;
    while (pos < s.size()) {
        std::size_t end = s.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos);
        std::string line = s.substr(pos + 25, end - pos - 25);
        int th = line[1] - '0';
        std::size_t colon = line.find(':');
        ASSERT_NE(colon, std::string::npos);
        EXPECT_EQ(line.substr(colon + 1), std::string(200 + th * 37, static_cast<char>('a' + th)));
        seen.insert(line.substr(0, colon));
        ++lines;
        pos = end + 2;
    }
    EXPECT_EQ(lines, kThreads * kLines);
    EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
    ::unlink(f.c_str());
}

// Settings change while other threads print (the thread sanitizer's case): every line
// goes whole to one of the two files, and the limit holds.
TEST(WStrace, SettingsChangeWhilePrinting) {
    const std::string a = TempFile(), b = TempFile();
    WStrace t;
    t.SetFileName(a.c_str());
    std::atomic<bool> done{false};
    std::thread printer([&] {
        for (int i = 0; i < 2000; ++i) t.Print("line", 4, "", 0);
        done = true;
    });
    for (int i = 0; !done; ++i) {
        t.SetFileName((i % 2 ? a : b).c_str());
        t.SetTimeStatus(i % 2);
        t.SetStatus(i % 3 ? 1 : 0);
        t.SetMaxSize(i % 5 ? 0 : 1 << 20);
        EXPECT_TRUE(t.GetFileName()[0] != '\0');
        EXPECT_GE(t.GetStatus(), 0);
        EXPECT_GE(t.GetTimeStatus(), 0);
    }
    printer.join();
    for (const std::string& f : {a, b}) {
        const std::string s = Read(f);
        for (std::size_t at = 0, end; at < s.size(); at = end + 2) {
            end = s.find("\r\n", at);
            ASSERT_NE(end, std::string::npos);
            const std::string line = s.substr(at, end - at);
            EXPECT_TRUE(line == "line" || (line.size() == 29 && line.substr(25) == "line")) << line;
        }
        ::unlink(f.c_str());
    }
}
