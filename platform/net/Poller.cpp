#include "platform/net/Poller.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>

namespace net {

Poller::Poller() : m_Fd(::epoll_create1(EPOLL_CLOEXEC)) {}

Poller::~Poller() {
    if (m_Fd >= 0) ::close(m_Fd);
}

int Poller::Add(int fd, uint64_t key, bool exclusive) {
    epoll_event e{};
    // An exclusive watch takes no other flag than these.
    e.events = exclusive ? EPOLLIN | EPOLLEXCLUSIVE : EPOLLIN | EPOLLRDHUP;
    e.data.u64 = key;
    return ::epoll_ctl(m_Fd, EPOLL_CTL_ADD, fd, &e) == 0 ? 0 : -1;
}

int Poller::Remove(int fd) {
    return ::epoll_ctl(m_Fd, EPOLL_CTL_DEL, fd, nullptr) == 0 ? 0 : -1;
}

int Poller::Wait(std::vector<uint64_t>& ready, int timeoutMs) {
    ready.clear();
    epoll_event events[256];
    int n;
    do n = ::epoll_wait(m_Fd, events, 256, timeoutMs);
    while (n < 0 && errno == EINTR);
    for (int i = 0; i < n; ++i) ready.push_back(events[i].data.u64);
    return n < 0 ? -1 : n;
}

}  // namespace net
