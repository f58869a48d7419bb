// Readiness of many descriptors at once (epoll), for a loop that owns every socket whose
// request is still arriving: such a socket costs a descriptor and its bytes, never a
// thread.
#pragma once

#include <cstdint>
#include <vector>

namespace net {

class Poller {
public:
    Poller();
    ~Poller();
    Poller(const Poller&) = delete;
    Poller& operator=(const Poller&) = delete;

    bool IsOpen() const { return m_Fd >= 0; }
    // Watches fd for bytes (or its end); key comes back with it. 0 or -1. exclusive: of
    // the pollers watching the same fd so, one is woken, not all of them.
    int Add(int fd, uint64_t key, bool exclusive = false);
    int Remove(int fd);
    // The keys of the descriptors ready now, waiting at most timeoutMs (< 0: no limit).
    // The count, 0 after the time-out, -1 on failure.
    int Wait(std::vector<uint64_t>& ready, int timeoutMs);

private:
    int m_Fd = -1;
};

}  // namespace net
