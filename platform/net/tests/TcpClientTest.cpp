#include <gtest/gtest.h>

#include <string>

#include "platform/net/TcpClient.h"
#include "platform/net/tests/ScriptedServer.h"
#include "platform/os/System.h"

using testing_net::ScriptedServer;

namespace {

net::Ipv4Address Loopback(int port) {
    return net::MakeAddress(127, 0, 0, 1, port);
}

// A port on which nobody listens: bound once, then released.
int DeadPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    socklen_t len = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    ::close(fd);
    return ntohs(sa.sin_port);
}

}  // namespace

TEST(TcpClient, AddressKeepsPortInNetworkOrder) {
    net::Ipv4Address a = net::MakeAddress(10, 1, 2, 3, 8080);
    EXPECT_EQ(a.family, net::kFamilyInet);
    EXPECT_EQ(net::NetworkToHost(a.port), 8080);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(&a.port);
    EXPECT_EQ(p[0], 8080 >> 8);
    EXPECT_EQ(p[1], 8080 & 0xff);
    EXPECT_EQ(a.addr[0], 10);
    EXPECT_EQ(a.addr[3], 3);
}

TEST(TcpClient, RefusedConnectionFailsWithTheSystemError) {
    net::TcpClient c;
    ASSERT_EQ(c.Open(), 0);
    EXPECT_GT(c.Handle(), 0);
    EXPECT_EQ(c.Connect(Loopback(DeadPort()), 2000), -1);
    EXPECT_EQ(c.LastError(), ECONNREFUSED);
}

TEST(TcpClient, OperationsOnAClosedClientFail) {
    net::TcpClient c;
    char b[4];
    EXPECT_EQ(c.Connect(Loopback(1), 100), -1);
    EXPECT_EQ(c.SendAll("x", 1, 100), -1);
    EXPECT_EQ(c.Receive(b, sizeof b, 100), -1);
    c.Close();
    EXPECT_FALSE(c.IsOpen());
}

TEST(TcpClient, SendsEveryByteOfALargeRequestAndReadsTheAnswerToTheClose) {
    ScriptedServer server;
    server.Push(testing_net::Pieces("0123456789", 3));
    // Larger than any socket buffer, so the kernel takes it in several short writes.
    std::string body(6 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7 + 1);
    std::string req = "DEV \r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;

    net::TcpClient c;
    ASSERT_EQ(c.Open(), 0);
    ASSERT_EQ(c.Connect(Loopback(server.Port()), 2000), 0);
    ASSERT_EQ(c.SendAll(req.data(), req.size(), 5000), 0);
    std::string got;
    char buf[10000];
    long n;
    while ((n = c.Receive(buf, sizeof buf, 5000)) > 0) got.append(buf, static_cast<std::size_t>(n));
    EXPECT_EQ(n, 0);
    EXPECT_EQ(got, "0123456789");
    c.Close();
    ASSERT_TRUE(server.WaitDone(1));
    EXPECT_TRUE(server.LastRequest() == req);
}

TEST(TcpClient, ReceiveGivesUpAfterTheIdleTimeout) {
    ScriptedServer server;
    server.Push(testing_net::Hold("ab"));
    net::TcpClient c;
    ASSERT_EQ(c.Open(), 0);
    ASSERT_EQ(c.Connect(Loopback(server.Port()), 2000), 0);
    ASSERT_EQ(c.SendAll("DEV \r\n\r\n", 8, 1000), 0);
    char buf[16];
    long got = 0;
    while (got < 2) {
        long n = c.Receive(buf + got, sizeof buf - static_cast<std::size_t>(got), 2000);
        ASSERT_GT(n, 0);
        got += n;
    }
    long long t0 = os::SteadyMillis();
    EXPECT_EQ(c.Receive(buf, sizeof buf, 200), -1);
    long long waited = os::SteadyMillis() - t0;
    EXPECT_EQ(c.LastError(), net::TcpClient::TimeoutError());
    EXPECT_GE(waited, 180);
    EXPECT_LT(waited, 3000);
    c.Close();
    EXPECT_TRUE(server.WaitDone(1));
}
