// A loopback TCP server for tests: it records the exact bytes of every request it
// receives and answers each connection with the next scripted answer (whole, in small
// pieces, then closing or holding the connection open).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_net {

struct Answer {
    std::string bytes;
    std::size_t pieceSize = 0;  // 0: one send
    bool close = true;          // false: hold the connection until the client goes
    bool readRequest = true;    // false: answer without waiting for the request
};

inline Answer Whole(std::string b) {
    return Answer{std::move(b), 0, true, true};
}
inline Answer Pieces(std::string b, std::size_t n = 1) {
    return Answer{std::move(b), n, true, true};
}
inline Answer Hold(std::string b = {}) {
    return Answer{std::move(b), 0, false, true};
}

// "HTTP/1.1 200 OK" with Content-Length and the body.
inline std::string HttpOk(const std::string& body, const std::string& extraHeader = {}) {
    return "HTTP/1.1 200 OK\r\n" + extraHeader + "Content-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}
// The same without Content-Length: the close ends it.
inline std::string HttpOkNoLength(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n" + body;
}

class ScriptedServer {
public:
    ScriptedServer() {
        m_Listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(m_Listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sa.sin_port = 0;
        if (::bind(m_Listen, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
            ::listen(m_Listen, 16) != 0)
            std::abort();
        socklen_t len = sizeof sa;
        ::getsockname(m_Listen, reinterpret_cast<sockaddr*>(&sa), &len);
        m_Port = ntohs(sa.sin_port);
        m_Thread = std::thread([this] { Run(); });
    }
    ~ScriptedServer() {
        m_Stop = true;
        m_Thread.join();
        ::close(m_Listen);
    }
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int Port() const { return m_Port; }

    void Push(Answer a) {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Answers.push_back(std::move(a));
    }
    // Every request received so far, one per connection, in order.
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Requests;
    }
    std::string LastRequest() {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Requests.empty() ? std::string() : m_Requests.back();
    }
    int Connections() const { return m_Connections; }
    // Waits until n connections have been answered (and closed by either side).
    bool WaitDone(int n, int ms = 5000) {
        std::unique_lock<std::mutex> lock(m_Mutex);
        return m_Cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return m_Done >= n; });
    }

private:
    static bool RequestComplete(const std::string& r) {
        std::size_t h = r.find("\r\n\r\n");
        if (h == std::string::npos) return false;
        std::size_t c = r.find("Content-Length: ");
        if (c == std::string::npos || c > h) return true;
        long len = std::atol(r.c_str() + c + 16);
        return r.size() >= h + 4 + static_cast<std::size_t>(len < 0 ? 0 : len);
    }

    bool WaitReadable(int fd, int ms) {
        pollfd p{fd, POLLIN, 0};
        while (!m_Stop) {
            int n = ::poll(&p, 1, ms < 50 ? ms : 50);
            if (n > 0) return true;
            if (n < 0 && errno != EINTR) return false;
            if (n == 0) {
                ms -= 50;
                if (ms <= 0) return false;
            }
        }
        return false;
    }

    void Serve(int fd, const Answer& a) {
        std::string req;
        char buf[65536];
        if (a.readRequest) {
            while (!RequestComplete(req) && WaitReadable(fd, 10000)) {
                ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0) break;
                req.append(buf, static_cast<std::size_t>(n));
            }
        }
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Requests.push_back(req);
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::size_t off = 0;
        while (off < a.bytes.size()) {
            std::size_t n = a.pieceSize ? a.pieceSize : a.bytes.size() - off;
            if (n > a.bytes.size() - off) n = a.bytes.size() - off;
            ssize_t w = ::send(fd, a.bytes.data() + off, n, MSG_NOSIGNAL);
            if (w <= 0) break;
            off += static_cast<std::size_t>(w);
        }
        if (!a.close) {
            // Hold until the client closes or the server stops.
            while (WaitReadable(fd, 60000)) {
                ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0) break;
            }
        }
        ::close(fd);
    }

    void Run() {
        while (!m_Stop) {
            if (!WaitReadable(m_Listen, 100)) continue;
            int fd = ::accept4(m_Listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            ++m_Connections;
            Answer a;
            {
                std::lock_guard<std::mutex> lock(m_Mutex);
                if (!m_Answers.empty()) {
                    a = std::move(m_Answers.front());
                    m_Answers.pop_front();
                } else {
                    a = Whole(HttpOk(""));
                }
            }
            Serve(fd, a);
            {
                std::lock_guard<std::mutex> lock(m_Mutex);
                ++m_Done;
            }
            m_Cv.notify_all();
        }
    }

    int m_Listen = -1;
    int m_Port = 0;
    std::atomic<bool> m_Stop{false};
    std::atomic<int> m_Connections{0};
    std::mutex m_Mutex;
    std::condition_variable m_Cv;
    std::deque<Answer> m_Answers;
    std::vector<std::string> m_Requests;
    int m_Done = 0;
    std::thread m_Thread;
};

}  // namespace testing_net
