#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/net/TcpListener.h"

namespace {

int ConnectLoopback(uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

TEST(Listener, PortZeroBindsAFreePortAndAcceptsAndExchanges) {
    net::TcpListener l;
    ASSERT_EQ(l.Listen("127.0.0.1", 0), 0);
    ASSERT_NE(l.Port(), 0);
    int c = ConnectLoopback(l.Port());
    ASSERT_GE(c, 0);
    net::TcpConnection conn;
    ASSERT_EQ(l.Accept(conn, 2000), 1);
    ASSERT_EQ(::send(c, "ping", 4, 0), 4);
    char buf[16];
    EXPECT_EQ(conn.Receive(buf, sizeof buf, 2000), 4);
    EXPECT_EQ(std::string(buf, 4), "ping");
    std::string big(1 << 20, 'x');  // larger than the socket buffers: SendAll must loop
    std::thread reader([&] {
        std::string got;
        char b[65536];
        ssize_t n;
        while ((n = ::recv(c, b, sizeof b, 0)) > 0) got.append(b, static_cast<std::size_t>(n));
        EXPECT_EQ(got.size(), big.size());
    });
    EXPECT_EQ(conn.SendAll(big.data(), big.size(), 5000), 0);
    conn.Close();
    reader.join();
    ::close(c);
}

TEST(Listener, ReceiveTimesOutAndSeesPeerClose) {
    net::TcpListener l;
    ASSERT_EQ(l.Listen("127.0.0.1", 0), 0);
    int c = ConnectLoopback(l.Port());
    net::TcpConnection conn;
    ASSERT_EQ(l.Accept(conn, 2000), 1);
    char buf[8];
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(conn.Receive(buf, sizeof buf, 100), -1);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(90));
    ::close(c);
    EXPECT_EQ(conn.Receive(buf, sizeof buf, 2000), 0);
}

TEST(Listener, AcceptTimesOutAndStopWakesAWaitingAccept) {
    net::TcpListener l;
    ASSERT_EQ(l.Listen("127.0.0.1", 0), 0);
    net::TcpConnection conn;
    EXPECT_EQ(l.Accept(conn, 50), 0);
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        l.Stop();
    });
    EXPECT_EQ(l.Accept(conn, 0), 0);  // would wait for ever without Stop
    t.join();
    EXPECT_TRUE(l.Stopped());
    EXPECT_FALSE(conn.IsOpen());
}

TEST(Listener, RefusesBadAddressAndBusyPort) {
    net::TcpListener a, b;
    EXPECT_EQ(a.Listen("not-an-address", 0), -1);
    ASSERT_EQ(a.Listen("127.0.0.1", 0), 0);
    EXPECT_EQ(b.Listen("127.0.0.1", a.Port()), -1);
    EXPECT_NE(b.LastError(), 0);
}

}  // namespace
