#include "platform/net/TcpClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace net {

static_assert(AF_INET == kFamilyInet, "the address family constant must match the system's");

uint16_t HostToNetwork(uint16_t port) {
    return htons(port);
}

uint16_t NetworkToHost(uint16_t port) {
    return ntohs(port);
}

Ipv4Address MakeAddress(int ip1, int ip2, int ip3, int ip4, int port) {
    Ipv4Address a;
    a.family = kFamilyInet;
    a.port = HostToNetwork(static_cast<uint16_t>(port));
    a.addr[0] = static_cast<uint8_t>(ip1);
    a.addr[1] = static_cast<uint8_t>(ip2);
    a.addr[2] = static_cast<uint8_t>(ip3);
    a.addr[3] = static_cast<uint8_t>(ip4);
    return a;
}

int TcpClient::TimeoutError() {
    return ETIMEDOUT;
}

int TcpClient::Open() {
    Close();
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_LastError = errno;
        return -1;
    }
    if (fd == 0) {
        // Keep 0 free for "no socket" in the callers' bookkeeping.
        int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        int err = errno;
        ::close(fd);
        if (moved < 0) {
            m_LastError = err;
            return -1;
        }
        fd = moved;
    }
    m_Fd = fd;
    m_LastError = 0;
    return 0;
}

int TcpClient::WaitFor(short events, int timeoutMs) {
    pollfd p{};
    p.fd = m_Fd;
    p.events = events;
    for (;;) {
        int n = ::poll(&p, 1, timeoutMs > 0 ? timeoutMs : -1);
        if (n > 0) return 0;
        if (n == 0) {
            m_LastError = ETIMEDOUT;
            return -1;
        }
        if (errno != EINTR) {
            m_LastError = errno;
            return -1;
        }
    }
}

int TcpClient::Connect(const Ipv4Address& address, int timeoutMs) {
    if (m_Fd < 0) {
        m_LastError = EBADF;
        return -1;
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = address.port;
    std::memcpy(&sa.sin_addr.s_addr, address.addr, 4);

    // Non-blocking while connecting, so the wait can be bounded; blocking afterwards,
    // with every later wait bounded by poll.
    int flags = ::fcntl(m_Fd, F_GETFL, 0);
    if (flags < 0 || ::fcntl(m_Fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        m_LastError = errno;
        return -1;
    }
    int rc = ::connect(m_Fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (rc != 0 && errno != EINPROGRESS && errno != EINTR) {
        m_LastError = errno;
        return -1;
    }
    if (rc != 0) {
        if (WaitFor(POLLOUT, timeoutMs) != 0) return -1;
        int err = 0;
        socklen_t len = sizeof err;
        if (::getsockopt(m_Fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
        if (err != 0) {
            m_LastError = err;
            return -1;
        }
    }
    if (::fcntl(m_Fd, F_SETFL, flags) < 0) {
        m_LastError = errno;
        return -1;
    }
    m_LastError = 0;
    return 0;
}

int TcpClient::ConnectLocal(const char* path) {
    Close();
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof sa.sun_path) {
        m_LastError = ENAMETOOLONG;
        return -1;
    }
    std::strcpy(sa.sun_path, path);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && fd < 3) {
        // Keep 0 free for "no socket", as Open does.
        const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        ::close(fd);
        fd = moved;
    }
    if (fd < 0) {
        m_LastError = errno;
        return -1;
    }
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        m_LastError = errno;
        ::close(fd);
        return -1;
    }
    m_Fd = fd;
    m_LastError = 0;
    return 0;
}

int TcpClient::SendAll(const void* data, std::size_t size, int timeoutMs) {
    if (m_Fd < 0) {
        m_LastError = EBADF;
        return -1;
    }
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        if (WaitFor(POLLOUT, timeoutMs) != 0) return -1;
        ssize_t n = ::send(m_Fd, p, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            m_LastError = errno;
            return -1;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int TcpClient::SendFile(int fileFd, int64_t size, int timeoutMs) {
    if (m_Fd < 0 || fileFd < 0) {
        m_LastError = EBADF;
        return -1;
    }
    // Non-blocking for the duration, so every wait is the bounded poll.
    const int flags = ::fcntl(m_Fd, F_GETFL, 0);
    if (flags < 0 || ::fcntl(m_Fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        m_LastError = errno;
        return -1;
    }
    int rc = 0;
    while (size > 0 && rc == 0) {
        const std::size_t chunk = size > (1 << 20) ? (1 << 20) : static_cast<std::size_t>(size);
        const ssize_t n = ::sendfile(m_Fd, fileFd, nullptr, chunk);
        if (n > 0) {
            size -= n;
        } else if (n == 0) {
            m_LastError = EIO;  // the file is shorter than promised
            rc = -1;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            rc = WaitFor(POLLOUT, timeoutMs);
        } else if (errno != EINTR) {
            m_LastError = errno;
            rc = -1;
        }
    }
    ::fcntl(m_Fd, F_SETFL, flags);
    return rc;
}

long TcpClient::Receive(void* buffer, std::size_t size, int timeoutMs) {
    if (m_Fd < 0) {
        m_LastError = EBADF;
        return -1;
    }
    for (;;) {
        if (WaitFor(POLLIN, timeoutMs) != 0) return -1;
        ssize_t n = ::recv(m_Fd, buffer, size, MSG_DONTWAIT);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
        m_LastError = errno;
        return -1;
    }
}

void TcpClient::Close() {
    if (m_Fd >= 0) {
        ::close(m_Fd);
        m_Fd = -1;
    }
}

}  // namespace net
