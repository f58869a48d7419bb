// Clients that trickle their requests cost the server a descriptor each, never a worker:
// others are answered meanwhile.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "devserver/tests/Harness.h"

using namespace dstest;

namespace {

// A connection from 127.0.0.host to the server, with a receive buffer of that many bytes
// when given; -1 when it cannot be made.
int ConnectFrom(int host, int port, int receiveBuffer = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    from.sin_addr.s_addr = htonl(0x7f000000u | static_cast<uint32_t>(host));
    to.sin_addr.s_addr = htonl(0x7f000001u);
    to.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

TEST(SlowClients, FiveHundredTricklersHoldNoWorker) {
    Server s({"--seed-demo", "--max-connections-per-address", "64"});
    ASSERT_GT(s.Port(), 0) << s.Stderr();
    // 504 connections from eight addresses, each with a request begun and never ended.
    std::vector<int> slow;
    for (int host = 2; host < 10; ++host)
        for (int i = 0; i < 63; ++i) {
            const int fd = ConnectFrom(host, s.Port());
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::send(fd, "GET /demo/index.html HTTP/1.1\r\n", 31, MSG_NOSIGNAL), 31);
            slow.push_back(fd);
        }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (int fd : slow) ::send(fd, "X", 1, MSG_NOSIGNAL);  // a byte now and then

    auto within = [](auto&& what) {
        const auto start = std::chrono::steady_clock::now();
        what();
        return std::chrono::steady_clock::now() - start;
    };
    std::string apps, page;
    EXPECT_LT(within([&] { apps = Cli(s, {"GetApps"}).out; }), std::chrono::seconds(1));
    EXPECT_NE(apps.find("demo"), std::string::npos);
    EXPECT_LT(within([&] {
                  const int fd = ConnectFrom(10, s.Port());
                  const std::string get =
                      "GET /demo/index.html HTTP/1.1\r\nConnection: close\r\n\r\n";
                  ::send(fd, get.data(), get.size(), MSG_NOSIGNAL);
                  char buf[4096];
                  for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;)
                      page.append(buf, static_cast<std::size_t>(n));
                  ::close(fd);
              }),
              std::chrono::seconds(1));
    EXPECT_EQ(page.rfind("HTTP/1.1 200", 0), 0u) << page.substr(0, 200);
    for (int fd : slow) ::close(fd);
    EXPECT_EQ(s.Stop(), 0) << s.Stderr();
}

namespace {

// Reads one answer (header and Content-Length bytes) from a kept connection; empty when
// the server closed it or nothing came within a few seconds.
std::string ReadAnswer(int fd, std::string& pending) {
    for (;;) {
        const std::size_t end = pending.find("\r\n\r\n");
        if (end != std::string::npos) {
            const std::size_t at = pending.find("Content-Length: ");
            const std::size_t length = at < end ? std::stoul(pending.substr(at + 16)) : 0;
            if (pending.size() >= end + 4 + length) {
                std::string answer = pending.substr(0, end + 4 + length);
                pending.erase(0, answer.size());
                return answer;
            }
        }
        timeval wait{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        char buf[65536];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return {};
        pending.append(buf, static_cast<std::size_t>(n));
    }
}

}  // namespace

TEST(SlowClients, BrowsersKeepTheirConnectionsAndTheStudioSendsOneCommandEach) {
    Server s({"--seed-demo", "--keep-alive-s", "1"});
    ASSERT_GT(s.Port(), 0) << s.Stderr();
    const std::string page = "GET /demo/index.html HTTP/1.1\r\nHost: h\r\n\r\n";
    const std::string list = "GET /demo/ListCustomers() HTTP/1.1\r\nHost: h\r\n\r\n";
    // Two requests in one send and a third later: each answered in order, on one connection.
    int fd = ConnectFrom(1, s.Port());
    ASSERT_EQ(::send(fd, (page + list).data(), page.size() + list.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(page.size() + list.size()));
    std::string pending;
    const std::string first = ReadAnswer(fd, pending), second = ReadAnswer(fd, pending);
    EXPECT_EQ(first.rfind("HTTP/1.1 200", 0), 0u) << first;
    EXPECT_NE(first.find("Connection: keep-alive\r\n"), std::string::npos) << first;
    EXPECT_NE(second.find("<td>"), std::string::npos) << second;
    ::send(fd, page.data(), page.size(), MSG_NOSIGNAL);
    EXPECT_EQ(ReadAnswer(fd, pending).rfind("HTTP/1.1 200", 0), 0u);
    // Quiet past the idle limit: the server closes it.
    std::this_thread::sleep_for(std::chrono::milliseconds(1600));
    EXPECT_EQ(ReadAnswer(fd, pending), "");
    ::close(fd);
    // "Connection: close", HTTP/1.0 and the administration protocol: one request each.
    for (const std::string& once :
         {"GET /demo/index.html HTTP/1.1\r\nConnection: close\r\n\r\n" + page,
          "GET /demo/index.html HTTP/1.0\r\n\r\n" + page,
          "DEV \r\nContent-Length: 29\r\n\r\nserver_request=GetApps()\r\n\r\n" + page}) {
        fd = ConnectFrom(1, s.Port());
        ::send(fd, once.data(), once.size(), MSG_NOSIGNAL);
        pending.clear();
        const std::string a = ReadAnswer(fd, pending);
        EXPECT_NE(a.find("Connection: close\r\n"), std::string::npos) << a;
        EXPECT_EQ(ReadAnswer(fd, pending), "") << once;
        ::close(fd);
    }
}

TEST(SlowClients, ABrowserThatReadsItsPageSlowlyHoldsUpNobodyElse) {
    Server s({"--seed-demo"});
    ASSERT_GT(s.Port(), 0) << s.Stderr();
    const std::size_t size = 16u << 20;  // more than the sockets between us hold
    WriteFile(s.Root() + "/apps/demo/big.bin", std::string(size, 'b'));
    const std::string page = "GET /demo/index.html HTTP/1.1\r\nHost: h\r\n\r\n";
    std::string pending;
    int fd = ConnectFrom(1, s.Port());
    ::send(fd, page.data(), page.size(), MSG_NOSIGNAL);
    EXPECT_EQ(ReadAnswer(fd, pending).rfind("HTTP/1.1 200", 0), 0u);  // the application known
    ::close(fd);
    // One such reader for each loop the server may have, each asking and reading nothing.
    std::vector<int> slow;
    const std::string big = "GET /demo/big.bin HTTP/1.1\r\nHost: h\r\n\r\n";
    for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); ++i) {
        slow.push_back(ConnectFrom(1, s.Port(), 65536));
        ASSERT_EQ(::send(slow.back(), big.data(), big.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(big.size()));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    fd = ConnectFrom(1, s.Port());
    ::send(fd, page.data(), page.size(), MSG_NOSIGNAL);
    pending.clear();
    EXPECT_EQ(ReadAnswer(fd, pending).rfind("HTTP/1.1 200", 0), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    ::close(fd);
    // The slow ones get all of it in the end, and their connections serve on.
    for (int f : slow) {
        pending.clear();
        EXPECT_EQ(ReadAnswer(f, pending).size() > size, true);
        ::send(f, page.data(), page.size(), MSG_NOSIGNAL);
        EXPECT_EQ(ReadAnswer(f, pending).rfind("HTTP/1.1 200", 0), 0u);
        ::close(f);
    }
}
