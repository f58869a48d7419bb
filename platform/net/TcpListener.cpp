#include "platform/net/TcpListener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

#include <utility>

namespace net {

namespace {

// Waits for events on fd; 1 ready, 0 time-out, -1 failure. EINTR restarts the wait.
int WaitFd(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    for (;;) {
        int rc = ::poll(&p, 1, timeoutMs <= 0 ? -1 : timeoutMs);
        if (rc < 0 && errno == EINTR) continue;
        if (rc < 0) return -1;
        return rc == 0 ? 0 : 1;
    }
}

}  // namespace

TcpConnection& TcpConnection::operator=(TcpConnection&& other) noexcept {
    if (this != &other) {
        Close();
        m_Fd = std::exchange(other.m_Fd, -1);
        m_NonBlocking = other.m_NonBlocking;
    }
    return *this;
}

long TcpConnection::Receive(void* buffer, std::size_t size, int timeoutMs) {
    if (m_Fd < 0 || !buffer) return -1;
    int w = WaitFd(m_Fd, POLLIN, timeoutMs);
    if (w <= 0) return -1;
    for (;;) {
        ssize_t n = ::recv(m_Fd, buffer, size, 0);
        if (n < 0 && errno == EINTR) continue;
        return n < 0 ? -1 : static_cast<long>(n);
    }
}

int TcpConnection::SendAll(const void* data, std::size_t size, int timeoutMs) {
    if (m_Fd < 0) return -1;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::send(m_Fd, p, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (WaitFd(m_Fd, POLLOUT, timeoutMs) <= 0) return -1;
                continue;
            }
            return -1;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int TcpConnection::SendFile(int fileFd, int64_t size, int timeoutMs) {
    if (m_Fd < 0 || fileFd < 0) return -1;
    // Non-blocking for the duration, so a peer that takes nothing ends it after timeoutMs.
    const int flags = m_NonBlocking ? 0 : ::fcntl(m_Fd, F_GETFL);
    if (flags < 0 || (!m_NonBlocking && ::fcntl(m_Fd, F_SETFL, flags | O_NONBLOCK) != 0)) return -1;
    int rc = 0;
    while (size > 0) {
        const std::size_t chunk = size > (1 << 20) ? (1 << 20) : static_cast<std::size_t>(size);
        const ssize_t n = ::sendfile(m_Fd, fileFd, nullptr, chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            if ((errno == EAGAIN || errno == EWOULDBLOCK) && WaitFd(m_Fd, POLLOUT, timeoutMs) > 0)
                continue;
            rc = -1;
            break;
        }
        if (n == 0) {  // the file is shorter than promised
            rc = -1;
            break;
        }
        size -= n;
    }
    if (!m_NonBlocking) ::fcntl(m_Fd, F_SETFL, flags);
    return rc;
}

long TcpConnection::SendNow(const void* data, std::size_t size, bool more) {
    const char* p = static_cast<const char*>(data);
    std::size_t sent = 0;
    const int flags = MSG_NOSIGNAL | MSG_DONTWAIT | (more ? MSG_MORE : 0);
    while (m_Fd >= 0 && sent < size) {
        const ssize_t n = ::send(m_Fd, p + sent, size - sent, flags);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n <= 0) return -1;
        sent += static_cast<std::size_t>(n);
    }
    return m_Fd >= 0 ? static_cast<long>(sent) : -1;
}

int64_t TcpConnection::SendFileNow(int fileFd, int64_t size) {
    // Only a socket that never blocks may be asked: sendfile has no flag of its own.
    if (m_Fd < 0 || fileFd < 0 || !m_NonBlocking) return -1;
    int64_t sent = 0;
    while (sent < size) {
        const std::size_t chunk =
            size - sent > (1 << 20) ? (1 << 20) : static_cast<std::size_t>(size - sent);
        const ssize_t n = ::sendfile(m_Fd, fileFd, nullptr, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n <= 0) return -1;  // failed, or the file is shorter than promised
        sent += n;
    }
    return sent;
}

int TcpConnection::ReceiveToFile(int fileFd, int64_t size, int timeoutMs) {
    if (m_Fd < 0 || fileFd < 0) return -1;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    ::fcntl(pipeFds[1], F_SETPIPE_SZ, 1 << 20);  // fewer calls per byte; a smaller pipe works too
    int rc = 0;
    while (size > 0 && rc == 0) {
        const std::size_t chunk = size > (1 << 20) ? (1 << 20) : static_cast<std::size_t>(size);
        if (WaitFd(m_Fd, POLLIN, timeoutMs) <= 0) {
            rc = -1;
            break;
        }
        const ssize_t in =
            ::splice(m_Fd, nullptr, pipeFds[1], nullptr, chunk, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        if (in < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (in <= 0) {
            rc = -1;  // failed, or the peer closed early
            break;
        }
        // The pipe holds what came; all of it goes on to the file.
        for (ssize_t left = in; left > 0;) {
            const ssize_t out = ::splice(pipeFds[0], nullptr, fileFd, nullptr,
                                         static_cast<std::size_t>(left), SPLICE_F_MOVE);
            if (out < 0 && errno == EINTR) continue;
            if (out <= 0) {
                rc = -1;
                break;
            }
            left -= out;
        }
        size -= in;
    }
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    return rc;
}

void TcpConnection::Close() {
    if (m_Fd >= 0) {
        ::close(m_Fd);
        m_Fd = -1;
    }
}

int TcpListener::Listen(const char* bindAddress, uint16_t port, int backlog) {
    Close();
    m_Stopped = 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (!bindAddress || ::inet_pton(AF_INET, bindAddress, &addr.sin_addr) != 1) {
        m_LastError = EINVAL;
        return -1;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_LastError = errno;
        return -1;
    }
    m_WakeRead = fds[0];
    m_WakeWrite = fds[1];
    m_Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_Fd < 0) {
        m_LastError = errno;
        Close();
        return -1;
    }
    int one = 1;
    ::setsockopt(m_Fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // Answers go out at once (a header and a file are two writes); accepted sockets inherit it.
    ::setsockopt(m_Fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::bind(m_Fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_Fd, backlog) != 0) {
        m_LastError = errno;
        Close();
        return -1;
    }
    // Accepting never blocks: a peer gone between readiness and accept leaves nothing.
    ::fcntl(m_Fd, F_SETFL, ::fcntl(m_Fd, F_GETFL) | O_NONBLOCK);
    sockaddr_in bound{};
    socklen_t len = sizeof bound;
    ::getsockname(m_Fd, reinterpret_cast<sockaddr*>(&bound), &len);
    m_Port = ntohs(bound.sin_port);
    return 0;
}

int TcpListener::Accept(TcpConnection& out, int timeoutMs) {
    if (m_Fd < 0) return -1;
    pollfd p[2] = {{m_Fd, POLLIN, 0}, {m_WakeRead, POLLIN, 0}};
    for (;;) {
        if (m_Stopped) return 0;
        int rc = ::poll(p, 2, timeoutMs <= 0 ? -1 : timeoutMs);
        if (rc < 0 && errno == EINTR) continue;
        if (rc < 0) {
            m_LastError = errno;
            return -1;
        }
        if (rc == 0 || m_Stopped || (p[1].revents & POLLIN)) return 0;
        int fd = ::accept4(m_Fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            // A peer that gave up between poll and accept is no failure of ours.
            if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN) continue;
            m_LastError = errno;
            return -1;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        out = TcpConnection(fd);
        return 1;
    }
}

int TcpListener::TryAccept(TcpConnection& out, uint32_t* peer) {
    if (m_Fd < 0) return -1;
    for (;;) {
        if (m_Stopped) return 0;
        // Accepted sockets inherit TCP_NODELAY from the listening one and stay
        // non-blocking: no call per connection beyond the accept itself.
        sockaddr_in addr{};
        socklen_t len = sizeof addr;
        int fd =
            ::accept4(m_Fd, reinterpret_cast<sockaddr*>(&addr), &len, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
            m_LastError = errno;
            return -1;
        }
        if (peer) *peer = addr.sin_family == AF_INET ? ntohl(addr.sin_addr.s_addr) : 0;
        out = TcpConnection(fd, true);
        return 1;
    }
}

void TcpListener::Stop() {
    m_Stopped = 1;
    if (m_WakeWrite >= 0) {
        char b = 1;
        ssize_t ignored = ::write(m_WakeWrite, &b, 1);
        (void)ignored;
    }
}

bool TcpListener::Stopped() const {
    return m_Stopped != 0;
}

void TcpListener::Close() {
    for (int* fd : {&m_Fd, &m_WakeRead, &m_WakeWrite}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
    m_Port = 0;
}

}  // namespace net
