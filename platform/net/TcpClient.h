// IPv4 TCP client connection: connect with a time-out, send everything, receive a block
// with an idle time-out, close. One connection per object; the socket closes with it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace net {

inline constexpr uint16_t kFamilyInet = 2;  // AF_INET on every platform we build for

// An IPv4 socket address as the studio keeps it: family, port in network byte order,
// the four address bytes most significant first.
struct Ipv4Address {
    uint16_t family = kFamilyInet;
    uint16_t port = 0;  // network byte order
    uint8_t addr[4] = {0, 0, 0, 0};
};

Ipv4Address MakeAddress(int ip1, int ip2, int ip3, int ip4, int port);
uint16_t HostToNetwork(uint16_t port);
uint16_t NetworkToHost(uint16_t port);

class TcpClient {
public:
    TcpClient() = default;
    ~TcpClient() { Close(); }
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    // Creates the socket. 0, or -1 with LastError() set. The handle is never 0, so a
    // caller may keep 0 for "no socket".
    int Open();
    // Connects within timeoutMs (<= 0: wait as long as the system does). 0 or -1.
    int Connect(const Ipv4Address& address, int timeoutMs);
    // Instead of Open and Connect: a stream connection to a Unix socket of this machine
    // (the near end of a tunnel). 0, or -1 with LastError() set.
    int ConnectLocal(const char* path);
    // Writes every byte, continuing after short writes; gives up when the peer has
    // taken nothing for timeoutMs. 0 or -1.
    int SendAll(const void* data, std::size_t size, int timeoutMs);
    // Sends size bytes of an open file from its current position, from disk to socket
    // without a copy through the program. -1 as SendAll, or when the file ends early.
    int SendFile(int fileFd, int64_t size, int timeoutMs);
    // Receives up to size bytes: the count, 0 when the peer closed, -1 on failure or
    // when no byte arrived within timeoutMs (LastError() then is the time-out code).
    long Receive(void* buffer, std::size_t size, int timeoutMs);
    void Close();

    int Handle() const { return m_Fd; }
    bool IsOpen() const { return m_Fd >= 0; }
    // The system error number of the last failure (errno).
    int LastError() const { return m_LastError; }
    // LastError() after a time-out.
    static int TimeoutError();

private:
    int WaitFor(short events, int timeoutMs);

    int m_Fd = -1;
    int m_LastError = 0;
};

}  // namespace net
