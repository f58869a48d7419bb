// IPv4 TCP listener and the connections it accepts. Accept waits with a time-out and
// can be woken from another thread by Stop, so a server loop ends promptly on a signal.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace net {

// One accepted connection; the socket closes with the object.
class TcpConnection {
public:
    TcpConnection() = default;
    // nonBlocking: the socket is in non-blocking mode already (the calls below wait with
    // poll either way).
    explicit TcpConnection(int fd, bool nonBlocking = false)
        : m_Fd(fd), m_NonBlocking(nonBlocking) {}
    ~TcpConnection() { Close(); }
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;
    TcpConnection(TcpConnection&& other) noexcept
        : m_Fd(other.m_Fd), m_NonBlocking(other.m_NonBlocking) {
        other.m_Fd = -1;
    }
    TcpConnection& operator=(TcpConnection&& other) noexcept;

    // Up to size bytes: the count, 0 when the peer closed, -1 on failure or when no byte
    // arrived within timeoutMs (<= 0: wait without limit).
    long Receive(void* buffer, std::size_t size, int timeoutMs);
    // Writes every byte; -1 when the peer takes nothing for timeoutMs or goes away.
    int SendAll(const void* data, std::size_t size, int timeoutMs);
    // Sends size bytes of an open file from its current position, from disk to socket
    // without a copy through the program (sendfile). -1 as SendAll, or when the file
    // ends early.
    int SendFile(int fileFd, int64_t size, int timeoutMs);
    // What the socket takes now, without waiting: the bytes sent (0 when its buffer is
    // full), or -1 when the peer went away. more: further bytes follow at once (a file
    // after its header), so they may leave together. SendFileNow sends from the file's
    // position.
    long SendNow(const void* data, std::size_t size, bool more = false);
    int64_t SendFileNow(int fileFd, int64_t size);
    // Receives exactly size bytes into an open file at its current position, from socket
    // to disk without a copy through the program (splice). -1 when the peer closes
    // early, fails, or sends nothing for timeoutMs, or when the file cannot be written.
    int ReceiveToFile(int fileFd, int64_t size, int timeoutMs);
    void Close();
    bool IsOpen() const { return m_Fd >= 0; }
    int Handle() const { return m_Fd; }

private:
    int m_Fd = -1;
    bool m_NonBlocking = false;
};

class TcpListener {
public:
    TcpListener() = default;
    ~TcpListener() { Close(); }
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // Binds bindAddress (dotted IPv4) and port (host order; 0 picks a free one) and
    // listens. 0, or -1 with LastError() set.
    int Listen(const char* bindAddress, uint16_t port, int backlog = 128);
    // The port actually bound, host order; 0 when not listening.
    uint16_t Port() const { return m_Port; }
    // 1 a connection was accepted into out; 0 the time-out passed or Stop was called;
    // -1 on failure. timeoutMs <= 0 waits until a connection or Stop.
    int Accept(TcpConnection& out, int timeoutMs);
    // Accepts a connection that is waiting, without waiting: 1 accepted, 0 none waiting
    // (or stopped), -1 on failure (LastError: EMFILE when descriptors ran out). The
    // connection is non-blocking; peer (when given) receives its IPv4 address, host order.
    int TryAccept(TcpConnection& out, uint32_t* peer = nullptr);
    // The listening socket and the descriptor Stop makes readable, for a Poller.
    int Handle() const { return m_Fd; }
    int StopHandle() const { return m_WakeRead; }
    // Wakes every Accept now and later; safe from any thread and from a signal handler.
    void Stop();
    bool Stopped() const;
    void Close();
    int LastError() const { return m_LastError.load(); }

private:
    int m_Fd = -1;
    int m_WakeRead = -1;
    int m_WakeWrite = -1;
    uint16_t m_Port = 0;
    std::atomic<int> m_LastError{0};  // several loops may accept at once
    std::atomic<int> m_Stopped{0};
};

}  // namespace net
