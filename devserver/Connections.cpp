// Connections: the listener and one loop that owns every socket whose request is still
// arriving (a slow client costs a descriptor and its bytes, never a thread), and the
// workers that answer whole requests, or receive a file upload as it streams to disk.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <thread>

#include "devserver/Checks.h"
#include "devserver/Framing.h"
#include "devserver/Server.h"
#include "platform/net/Poller.h"
#include "platform/os/System.h"
#include "webproc/HttpProcessor.h"

namespace devserver {

namespace {

// An upload's command text comes first in its body and ends with "&&&"; this much of the
// body is read before deciding whether the rest goes to a file.
constexpr long kCallPrefix = 12000;
constexpr std::size_t kMaxHeaderBytes = 65536;
constexpr std::string_view kUploadCall = "server_request=UploadFile(";
// An accepted upload's deadline moves on by a millisecond for every this many bytes of
// its file that arrive: a large file at 256 KB/s or faster is never cut off, while a
// trickle gains next to nothing.
constexpr long long kUploadBytesPerMs = 256;

// The loop's own keys; a connection's key is larger.
constexpr uint64_t kListenKey = 1, kStopKey = 2, kWakeKey = 3;

}  // namespace

// A connection and what has arrived of its request.
struct DevServer::Incoming {
    // kSendRest: answered, the rest of the answer waits for the client to take it.
    enum State { kMore, kReady, kStream, kRefused, kSendRest };

    Incoming(DevServer& s, net::TcpConnection conn, uint32_t from)
        : server(s), c(std::move(conn)), peer(from) {
        const long long now = os::SteadyMillis();
        deadline = now + s.m_Options.requestTimeoutMs;
        lastByte = now;
        // A browser's header fits; a larger request grows by half each time.
        http.m_Message.Alloc(4096, 4096);
    }
    ~Incoming();  // after Loop, whose count of connections it keeps
    Incoming(const Incoming&) = delete;
    Incoming& operator=(const Incoming&) = delete;

    // The body counts against what all connections may hold in memory at once.
    bool Take(long long n) {
        if (server.m_HeldBytes.fetch_add(n) + n > server.m_Options.maxHeldBytes) {
            server.m_HeldBytes.fetch_sub(n);
            return false;
        }
        held += n;
        return true;
    }
    // The studio reads its refusals in a SERVER_ERROR text; browsers in the status.
    void Fail(const Verdict& v) {
        const std::string_view got(http.m_Message.GetContent() ? http.m_Message.GetContent() : "",
                                   static_cast<std::size_t>(http.m_Message.GetSize()));
        std::string a = MethodOf(got) == "DEV"
                            ? ErrorAnswer(v.reason)
                            : StatusHeader(v.status, "text/plain; charset=utf-8", v.extraHeader,
                                           static_cast<long long>(v.reason.size() + 1)) +
                                  v.reason + "\n";
        c.SendAll(a.data(), a.size(), server.m_Options.idleTimeoutMs);
    }
    // Takes the next bytes of the request: what is to become of it now.
    State Feed(const char* block, long n) {
        lastByte = os::SteadyMillis();
        waiting = false;
        if (http.m_Message.AddContent(block, n) != 0) return Refuse({500, "Out of memory", {}});
        if (headerLength == 0) {
            const std::string_view got(http.m_Message.GetContent(),
                                       static_cast<std::size_t>(http.m_Message.GetSize()));
            Verdict v = EarlyVerdict(got, kMaxHeaderBytes);
            if (v.status != 0) return Refuse(v);
            const long h = http.GetHeaderLength();
            if (h == 0) return kMore;
            long long l = 0;
            v = HeaderVerdict(got.substr(0, static_cast<std::size_t>(h)),
                              server.m_Options.maxRequestBytes, l);
            if (v.status != 0) return Refuse(v);
            if (l == 0) return kReady;  // no body: a GET or HEAD, or an empty form
            headerLength = h;
            length = l;
        }
        if (!decided) {
            const std::string_view body(
                http.m_Message.GetContent() + headerLength,
                static_cast<std::size_t>(http.m_Message.GetSize() - headerLength));
            const std::size_t amp = body.find("&&&");
            if (amp == std::string_view::npos &&
                static_cast<long long>(body.size()) < std::min<long long>(length, kCallPrefix))
                return kMore;
            decided = true;
            // A file upload whose call ends at its first ')' and "&&&": its file goes to
            // disk as it arrives. Everything else is read whole.
            if (amp != std::string_view::npos &&
                body.substr(0, kUploadCall.size()) == kUploadCall && body.find(')') + 1 == amp) {
                fileStart = static_cast<long>(amp) + 3;
                return kStream;
            }
            if (!Take(length))
                return Refuse({503, "Server busy: too many large requests at once; try again", {}});
            // The body is held once, in a buffer of its own size.
            if (http.m_Message.Reserve(headerLength + static_cast<long>(length)) != 0)
                return Refuse({500, "Out of memory", {}});
        }
        return http.IsMoreData() ? kMore : kReady;
    }
    State Refuse(const Verdict& v) {
        Fail(v);
        return kRefused;
    }
    // A whole request: bytes past its end are the start of the next one on the connection.
    void SplitOff() {
        const long end =
            headerLength > 0 ? headerLength + static_cast<long>(length) : http.GetHeaderLength();
        const long size = http.m_Message.GetSize();
        if (end <= 0 || end >= size) return;
        leftover.assign(http.m_Message.GetContent() + end, static_cast<std::size_t>(size - end));
        http.m_Message.Truncate(end);
    }

    DevServer& server;
    net::TcpConnection c;
    uint32_t peer = 0;
    HttpProcessor http;
    long long deadline = 0;  // the whole request by then (SteadyMillis)
    long long lastByte = 0;
    long headerLength = 0;
    long long length = 0;    // the body's, once the header is whole
    bool decided = false;    // whether the body goes to memory (or streams)
    long fileStart = 0;      // where a streamed upload's file begins in the body
    long long held = 0;      // bytes taken from the servers's memory limit
    int served = 0;          // requests this connection had answered before this one
    bool waiting = false;    // kept open after an answer, nothing of the next request yet
    bool keepAlive = false;  // the worker answered and the connection waits for the next
    Loop* home = nullptr;    // the loop that watches the connection
    std::string leftover;    // what came of the next request with this one
    // The answer: its header (and a page's text), then the file that follows it.
    std::string answer;
    std::size_t answerSent = 0;
    std::unique_ptr<os::FileReader> file;
    long long fileLeft = 0;

    // Sends what the socket takes now: 1 all of the answer, 0 some is left, -1 the
    // client went away.
    int SendNow() {
        // The header waits for the file's first bytes: one packet for a small page.
        const long n = c.SendNow(answer.data() + answerSent, answer.size() - answerSent,
                                 file && fileLeft > 0);
        if (n < 0) return -1;
        answerSent += static_cast<std::size_t>(n);
        if (answerSent < answer.size()) return 0;
        if (file && fileLeft > 0) {
            const int64_t m = c.SendFileNow(file->Handle(), fileLeft);
            if (m < 0) return -1;
            fileLeft -= m;
            if (fileLeft > 0) return 0;
        }
        file.reset();
        return 1;
    }
};

int DevServer::Listen(std::string& error) {
    if (m_Listener.Listen(m_Options.bind.c_str(), static_cast<uint16_t>(m_Options.port)) != 0) {
        error = "cannot listen on " + m_Options.bind + ":" + std::to_string(m_Options.port) + ": " +
                std::strerror(m_Listener.LastError());
        return -1;
    }
    std::string line =
        "Server started, listening on " + m_Options.bind + ":" + std::to_string(Port());
    Trace(1).Print(line.data(), static_cast<long>(line.size()), "", 0);
    return 0;
}

// One event loop per processor, as a web server has: each accepts connections, watches
// those whose request is arriving, and answers pages itself.
struct DevServer::Loop {
    net::Poller poller;
    int wake[2] = {-1, -1};  // a worker hands a kept connection back
    std::atomic<bool> wakeSent{false};
    std::atomic<int> live{0};  // connections that are this loop's
    std::mutex lock;
    std::deque<std::unique_ptr<Incoming>> kept;  // answered, waiting for their next request
    std::deque<std::unique_ptr<Incoming>> given;  // accepted by another loop, nothing read
    ~Loop() {
        for (int fd : wake)
            if (fd >= 0) ::close(fd);
    }
    // A kept connection back to its loop, or a new one to read (fresh); one byte wakes
    // the loop however many come before it looks.
    void GiveBack(std::unique_ptr<Incoming> in, bool fresh = false) {
        {
            std::lock_guard<std::mutex> g(lock);
            (fresh ? given : kept).push_back(std::move(in));
        }
        if (!wakeSent.exchange(true)) {
            const char b = 1;
            ssize_t ignored = ::write(wake[1], &b, 1);
            (void)ignored;
        }
    }
};

DevServer::Incoming::~Incoming() {
    if (c.IsOpen() && home) --home->live;  // the connection ends with this request
    server.m_HeldBytes.fetch_sub(held);
    std::lock_guard<std::mutex> g(server.m_PeerLock);
    if (--server.m_PeerConnections[peer] <= 0) server.m_PeerConnections.erase(peer);
}

// Whole requests wait here for one of a fixed number of workers. As many workers run as
// there are processors, taking request after request without sleeping in between; the
// others sleep, each on its own, and the last to fall asleep is woken first (its memory
// is warm). Should the running ones stall (a script waiting for a lock, a slow client),
// a watcher wakes one more each time the oldest request has waited a few milliseconds:
// slow requests never hold up the rest, and fast ones cost no thread switch each.
struct DevServer::Workers {
    using Job = std::pair<std::unique_ptr<Incoming>, Incoming::State>;
    struct Sleeper {
        std::condition_variable wake;
        bool woken = false;
    };
    static constexpr long long kStallMs = 3;

    std::mutex lock;
    std::deque<std::pair<Job, long long>> jobs;  // with when each came (SteadyMillis)
    std::vector<Sleeper*> sleeping;              // the last to sleep at the back
    std::condition_variable watcherWake;
    bool watcherIdle = false;  // waiting for a job to come, with no time set
    int running = 0;           // workers not asleep
    int wanted = 1;   // workers to keep running while there is work
    bool stopping = false;
    std::vector<std::thread> threads;

    // Under lock: one sleeper more at work.
    void WakeOne() {
        Sleeper* s = sleeping.back();
        sleeping.pop_back();
        s->woken = true;
        ++running;
        s->wake.notify_one();
    }
    void Put(Job job) {
        std::lock_guard<std::mutex> g(lock);
        jobs.emplace_back(std::move(job), os::SteadyMillis());
        if (running < wanted && !sleeping.empty())
            WakeOne();
        else if (watcherIdle)
            watcherWake.notify_one();  // the watcher times the wait
    }
    // The next job; false when stopping.
    bool Take(Job& job) {
        std::unique_lock<std::mutex> g(lock);
        Sleeper me;
        while (!stopping && jobs.empty()) {
            --running;
            me.woken = false;
            sleeping.push_back(&me);
            me.wake.wait(g, [&] { return me.woken; });
        }
        if (stopping) return false;
        job = std::move(jobs.front().first);
        jobs.pop_front();
        return true;
    }
    void Watch() {
        std::unique_lock<std::mutex> g(lock);
        while (!stopping) {
            if (jobs.empty()) {
                watcherIdle = true;
                watcherWake.wait(g);
                watcherIdle = false;
                continue;
            }
            const long long waited = os::SteadyMillis() - jobs.front().second;
            if (waited >= kStallMs && !sleeping.empty()) {
                WakeOne();
                jobs.front().second = os::SteadyMillis();  // the next wake after as long again
                continue;
            }
            watcherWake.wait_for(g, std::chrono::milliseconds(
                                        std::max<long long>(1, kStallMs - waited)));
        }
    }
    void Stop() {
        std::lock_guard<std::mutex> g(lock);
        stopping = true;
        jobs.clear();  // waiting requests are dropped; those under way are answered
        while (!sleeping.empty()) WakeOne();
        watcherWake.notify_all();
    }
};

void DevServer::Serve() {
    const unsigned processors = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    std::vector<std::unique_ptr<Loop>> loops(processors);
    for (auto& l : loops) {
        l = std::make_unique<Loop>();
        // Every loop watches the listener; the kernel wakes one of them per connection.
        if (!l->poller.IsOpen() || ::pipe2(l->wake, O_CLOEXEC | O_NONBLOCK) != 0 ||
            l->poller.Add(m_Listener.Handle(), kListenKey, true) != 0 ||
            l->poller.Add(m_Listener.StopHandle(), kStopKey) != 0 ||
            l->poller.Add(l->wake[0], kWakeKey) != 0) {
            std::fprintf(stderr, "quorvel-devserver: cannot watch connections: %s\n",
                         std::strerror(errno));
            return;
        }
    }
    Workers pool;
    pool.running = m_Options.maxConnections;  // each counts itself out as it falls asleep
    pool.wanted = static_cast<int>(processors);
    for (int i = 0; i < m_Options.maxConnections; ++i)
        pool.threads.emplace_back([this, &pool] {
            Workers::Job job;
            while (pool.Take(job)) {
                ServeWhole(*job.first, job.second);
                if (!job.first->keepAlive || m_Listener.Stopped()) {
                    job.first.reset();  // closed as it goes
                    continue;
                }
                job.first->home->GiveBack(std::move(job.first));
            }
        });
    std::thread watcher([&pool] { pool.Watch(); });
    // Session counts go to disk once a second at most, by a clock of their own: no
    // request waits for that write.
    std::mutex countsLock;
    std::condition_variable countsWake;
    bool countsStop = false;
    std::thread counts([&] {
        std::unique_lock<std::mutex> g(countsLock);
        while (!countsWake.wait_for(g, std::chrono::seconds(1), [&] { return countsStop; })) {
            g.unlock();
            {
                std::lock_guard<std::mutex> db(m_Lock);
                WriteRunCounts();
            }
            g.lock();
        }
    });

    std::vector<std::thread> others;
    for (std::size_t i = 1; i < loops.size(); ++i)
        others.emplace_back([this, &pool, &loops, i] { RunLoop(loops, i, pool); });
    RunLoop(loops, 0, pool);
    for (std::thread& t : others) t.join();

    // Requests waiting for a worker are dropped; those under way are answered first.
    pool.Stop();
    for (std::thread& t : pool.threads) t.join();
    watcher.join();
    {
        std::lock_guard<std::mutex> g(countsLock);
        countsStop = true;
    }
    countsWake.notify_all();
    counts.join();
    loops.clear();
    {
        std::lock_guard<std::mutex> db(m_Lock);
        WriteRunCounts();
    }
    std::string line = "Server stopped";
    Trace(1).Print(line.data(), static_cast<long>(line.size()), "", 0);
}

void DevServer::RunLoop(std::vector<std::unique_ptr<Loop>>& loops, std::size_t index,
                        Workers& pool) {
    Loop& loop = *loops[index];
    net::Poller& poller = loop.poller;
    std::map<uint64_t, std::unique_ptr<Incoming>> arriving;  // by key
    uint64_t nextKey = kWakeKey + 1;
    std::vector<uint64_t> keys;
    char block[16384];
    const int idle = m_Options.idleTimeoutMs;

    auto hand = [&](std::unique_ptr<Incoming> in, Incoming::State st) {
        if (st == Incoming::kReady) in->SplitOff();
        pool.Put({std::move(in), st});
    };
    // Reads what the connection has sent, up to 16 blocks (then the others get a turn).
    auto readSome = [&](Incoming& in) {
        for (int round = 0; round < 16; ++round) {
            const ssize_t n = ::recv(in.c.Handle(), block, sizeof block, MSG_DONTWAIT);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Incoming::kMore;
            if (n <= 0) return Incoming::kRefused;  // closed before the request was whole
            const Incoming::State st = in.Feed(block, static_cast<long>(n));
            if (st != Incoming::kMore) return st;
        }
        return Incoming::kMore;
    };
    // The connection's next request, after an answer that kept it open, with what came
    // of it already.
    auto successor = [&](std::unique_ptr<Incoming> done, Incoming::State& st) {
        const uint32_t peer = done->peer;
        {
            std::lock_guard<std::mutex> g(m_PeerLock);
            ++m_PeerConnections[peer];  // the successor's; done's goes with it
        }
        auto next = std::make_unique<Incoming>(*this, std::move(done->c), peer);
        next->home = done->home;
        next->served = done->served + 1;
        next->waiting = true;
        const std::string rest = std::move(done->leftover);
        done.reset();
        st = rest.empty() ? Incoming::kMore : next->Feed(rest.data(), static_cast<long>(rest.size()));
        return next;
    };
    // What arrived decides: more to wait for (watched by the loop), a page answered here
    // at once, the rest to a worker, or nothing more (dropped). key: the connection's
    // while the loop watches it, 0 when it does not.
    auto advance = [&](std::unique_ptr<Incoming> in, Incoming::State st, uint64_t key) {
        auto unwatch = [&] {
            if (key != 0) poller.Remove(in->c.Handle());
        };
        // Pipelined pages are answered a few at a time, then the others get a turn.
        for (int round = 0;; ++round) {
            if (st == Incoming::kMore) {
                if (key == 0) {
                    key = nextKey++;
                    if (poller.Add(in->c.Handle(), key) != 0) return;
                }
                arriving[key] = std::move(in);
                return;
            }
            const bool here = st == Incoming::kReady && round < 16 && AnswersAtOnce(in->http);
            if (!here) {
                unwatch();
                if (st != Incoming::kRefused) hand(std::move(in), st);
                return;
            }
            in->SplitOff();
            const int sent = MakeReply(*in, st) ? in->SendNow() : -1;
            if (sent == 0) {
                // The client takes its answer slowly: a worker waits for it, not the loop.
                unwatch();
                hand(std::move(in), Incoming::kSendRest);
                return;
            }
            if (sent < 0 || !in->keepAlive) {
                unwatch();
                return;  // closed as it goes
            }
            in = successor(std::move(in), st);
        }
    };
    auto accept = [&] {
        // One per readiness: a lone client costs no accept that finds nothing.
        net::TcpConnection c;
        uint32_t peer = 0;
        const int rc = m_Listener.TryAccept(c, &peer);
        if (rc < 0) {
            // Out of descriptors, most likely: the waiting clients stay queued until
            // connections end and free some.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return;
        }
        if (rc == 0) return;
        {
            std::lock_guard<std::mutex> g(m_PeerLock);
            if (m_PeerConnections[peer] >= m_Options.maxConnectionsPerAddress) {
                // 503 for browsers; the studio reads the SERVER_ERROR text.
                const std::string text =
                    "SERVER_ERROR: Server busy: too many connections from your address";
                std::string busy = StatusHeader(503, "text/plain", "\r\nRetry-After: 1",
                                                static_cast<long long>(text.size())) +
                                   text;
                c.SendAll(busy.data(), busy.size(), 200);
                // What the client sent already is read, so that closing does not reset
                // the connection before it reads the answer (a later request still may).
                while (::recv(c.Handle(), block, sizeof block, MSG_DONTWAIT) > 0) {
                }
                return;
            }
            ++m_PeerConnections[peer];
        }
        auto in = std::make_unique<Incoming>(*this, std::move(c), peer);
        // The loop that accepts is the one awake, so it would take every connection of a
        // burst: one goes to the loop with the fewest when that has fewer than this one.
        std::size_t to = index;
        for (std::size_t i = 0; i < loops.size(); ++i)
            if (loops[i]->live.load() < loops[to]->live.load()) to = i;
        in->home = loops[to].get();
        ++in->home->live;
        if (to != index) {
            loops[to]->GiveBack(std::move(in), true);
            return;
        }
        // The request often came with the connection: read it before watching.
        const Incoming::State st = readSome(*in);
        advance(std::move(in), st, 0);
    };
    long long swept = 0;
    while (!m_Listener.Stopped()) {
        poller.Wait(keys, 200);
        for (uint64_t key : keys) {
            if (key == kListenKey) {
                accept();
            } else if (key == kWakeKey) {
                while (::read(loop.wake[0], block, sizeof block) > 0) {
                }
                loop.wakeSent = false;
                std::deque<std::unique_ptr<Incoming>> back, fresh;
                {
                    std::lock_guard<std::mutex> g(loop.lock);
                    back.swap(loop.kept);
                    fresh.swap(loop.given);
                }
                for (auto& in : fresh) {
                    const Incoming::State st = readSome(*in);
                    advance(std::move(in), st, 0);
                }
                for (auto& done : back) {
                    Incoming::State st = Incoming::kMore;
                    auto next = successor(std::move(done), st);
                    advance(std::move(next), st, 0);
                }
            } else if (key != kStopKey) {
                auto it = arriving.find(key);
                if (it == arriving.end()) continue;
                const Incoming::State st = readSome(*it->second);
                if (st == Incoming::kMore) continue;
                std::unique_ptr<Incoming> in = std::move(it->second);
                arriving.erase(it);
                advance(std::move(in), st, key);
            }
        }
        // Requests that did not come whole in time, or whose client went quiet, are
        // dropped without an answer; so is a kept connection idle past its limit. Looked
        // at a few times a second, not after every event.
        const long long now = os::SteadyMillis();
        if (now - swept < 50) continue;
        swept = now;
        for (auto it = arriving.begin(); it != arriving.end();) {
            const Incoming& in = *it->second;
            const long long quiet = now - in.lastByte;
            if (now >= in.deadline || quiet >= (in.waiting ? m_Options.keepAliveIdleMs : idle)) {
                poller.Remove(in.c.Handle());
                it = arriving.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Requests still arriving are dropped; kept connections come back no more.
    arriving.clear();
    std::lock_guard<std::mutex> g(loop.lock);
    loop.kept.clear();
    loop.given.clear();
}

void DevServer::ServeWhole(Incoming& in, int state) {
    if (state == Incoming::kSendRest) {
        SendRest(in);
        return;
    }
    HttpProcessor& http = in.http;
    if (state == Incoming::kStream) {
        if (ServeUpload(in.c, http, in.headerLength, in.length, in.fileStart, in.deadline)) return;
        // Request and application files are read whole, as every other body.
        if (!in.Take(in.length)) {
            in.Fail({503, "Server busy: too many large requests at once; try again", {}});
            return;
        }
        char block[16384];
        while (http.IsMoreData()) {
            const long n = Receive(in.c, block, sizeof block, in.deadline);
            if (n <= 0) return;  // idle too long, stopping, failed, or closed early
            if (in.Feed(block, n) == Incoming::kRefused) return;
        }
    }
    if (MakeReply(in, state)) SendRest(in);
}

bool DevServer::MakeReply(Incoming& in, int state) {
    HttpProcessor& http = in.http;
    // HEAD is answered as GET, without the body.
    const bool head = MethodOf(std::string_view(http.m_Message.GetContent(), 4)) == "HEAD";
    HttpProcessor asGet;
    if (head && (asGet.m_Message.Alloc(http.m_Message.GetSize(), 1000) != 0 ||
                 asGet.m_Message.AddContent("GET", 3) != 0 ||
                 asGet.m_Message.AddContent(http.m_Message.GetContent() + 4,
                                            http.m_Message.GetSize() - 4) != 0)) {
        in.Fail({500, "Out of memory", {}});
        return false;
    }
    ++m_Executing;
    std::unique_ptr<os::FileReader> file;
    HttpProcessor& asked = head ? asGet : http;
    std::string answer = Handle(asked, &file, in.peer);
    --m_Executing;
    const std::size_t headerEnd = answer.find("\r\n\r\n");
    if (head) {
        answer.resize(std::min(answer.size(), headerEnd + 4));
        file.reset();
    }
    // Browsers keep their connections for the next page; the studio sends one command
    // per connection.
    constexpr std::string_view kClose = "\r\nConnection: close\r\n";
    const std::size_t close = answer.find(kClose);
    in.keepAlive =
        state == Incoming::kReady && m_Options.keepAliveIdleMs > 0 &&
        asked.m_HttpType != HttpProcessor::kHttpDev &&
        in.served + 1 < m_Options.maxRequestsPerConnection && close != std::string::npos &&
        close < headerEnd &&
        WantsKeepAlive(std::string_view(http.m_Message.GetContent(),
                                        static_cast<std::size_t>(http.m_Message.GetSize())));
    if (in.keepAlive) answer.replace(close, kClose.size(), "\r\nConnection: keep-alive\r\n");
    in.answer = std::move(answer);
    in.answerSent = 0;
    in.file = std::move(file);
    in.fileLeft = in.file ? in.file->Size() : 0;
    return true;
}

void DevServer::SendRest(Incoming& in) {
    // A file goes from disk to the socket after the header, without passing through memory.
    const int idle = m_Options.idleTimeoutMs;
    if (in.c.SendAll(in.answer.data() + in.answerSent, in.answer.size() - in.answerSent, idle) !=
            0 ||
        (in.file && in.fileLeft > 0 && in.c.SendFile(in.file->Handle(), in.fileLeft, idle) != 0))
        in.keepAlive = false;
    in.file.reset();
    in.answer.clear();
}

bool DevServer::WaitReadable(net::TcpConnection& c, long long deadline) {
    const int idle = m_Options.idleTimeoutMs;
    for (int quiet = 0;;) {  // ms without a byte
        // Short waits, so that a stop waits neither for idle clients nor for trickling
        // ones; a byte now and then does not stretch a request past its deadline.
        if (m_Listener.Stopped() || os::SteadyMillis() >= deadline) return false;
        pollfd p{c.Handle(), POLLIN, 0};
        int w = ::poll(&p, 1, 200);
        if (w < 0 && errno == EINTR) continue;
        if (w == 0) {
            if ((quiet += 200) >= idle) return false;
            continue;
        }
        return w > 0;
    }
}

long DevServer::Receive(net::TcpConnection& c, char* block, std::size_t size, long long deadline) {
    return WaitReadable(c, deadline) ? c.Receive(block, size, m_Options.idleTimeoutMs) : -1;
}

bool DevServer::ServeUpload(net::TcpConnection& c, HttpProcessor& http, long headerLength,
                            long long length, long fileStart, long long deadline) {
    // The call alone, as a message of its own: the header and the body up to "&&&".
    HttpProcessor callOnly;
    if (callOnly.m_Message.Alloc(headerLength + fileStart + 1, 5000) != 0 ||
        callOnly.m_Message.AddContent(http.m_Message.GetContent(), headerLength + fileStart) != 0)
        return false;
    Call call;
    std::string answer;
    const bool ready = ReadCall(callOnly, call, answer);
    // Request and application files are read whole, as every other body (and so is a
    // call that is wrong: its refusal comes from the usual path).
    long kind = 0;
    if (ready && (call.name != "UploadFile" || call.args.size() != 3 ||
                  !ParseNumber(call.args[1], 1, 6, kind) || kind == 4 || kind == 5))
        return false;

    // The file is the body after "&&&" up to the final CR LF CR LF.
    const long long fileSize = length - fileStart - 4;
    os::DirBeneath dir;  // before file: the file's names go through it
    os::ReplacementFile file;
    if (ready && fileSize < 0) {
        answer = Refuse(call, "The extra body does not end with an empty line");
    } else if (ready) {
        std::lock_guard<std::mutex> g(m_Lock);
        answer = OpenUpload(call, dir, file);
    }
    const bool refused = !answer.empty();

    // Receives the rest, writing the file's bytes (nothing when refused: the rest is read
    // and dropped, so the client can send it whole and read the answer).
    std::string ending;
    long long at = 0;  // body bytes seen
    bool ok = true;
    auto take = [&](const char* data, long n) {
        for (long i = 0; i < n;) {
            if (at < fileStart) {
                const long skip = static_cast<long>(std::min<long long>(fileStart - at, n - i));
                i += skip;
                at += skip;
            } else if (at < fileStart + fileSize) {
                const long part =
                    static_cast<long>(std::min<long long>(fileStart + fileSize - at, n - i));
                if (!refused && file.Write(data + i, static_cast<std::size_t>(part)) != 0)
                    ok = false;
                i += part;
                at += part;
            } else {
                const long part = static_cast<long>(std::min<long long>(length - at, n - i));
                ending.append(data + i, static_cast<std::size_t>(part));
                i += part;
                at += part;
            }
        }
    };
    const long already =
        static_cast<long>(std::min<long long>(http.m_Message.GetSize() - headerLength, length));
    take(http.m_Message.GetContent() + headerLength, already);
    // A refused upload keeps the request's own deadline: only a file being stored earns time.
    auto until = [&] {
        return refused ? deadline : deadline + std::max(0LL, at - fileStart) / kUploadBytesPerMs;
    };
    // The file's bytes go from socket to disk without passing through the program.
    // In pieces of what has arrived, so that a stop or the deadline is noticed between them.
    for (long long fileLeft = fileStart + fileSize - at;
         !refused && at >= fileStart && fileLeft > 0;) {
        int ready = 0;
        if (!WaitReadable(c, until()) || ::ioctl(c.Handle(), FIONREAD, &ready) != 0 || ready <= 0)
            return true;  // stopping, too slow, or the client went away: the file is removed
        const long long n = std::min<long long>(ready, fileLeft);
        if (c.ReceiveToFile(file.Handle(), n, m_Options.idleTimeoutMs) != 0)
            return true;  // the client went away (or the disk failed): the file is removed
        at += n;
        fileLeft -= n;
    }
    char block[65536];
    while (at < length) {
        const long n = Receive(
            c, block, static_cast<std::size_t>(std::min<long long>(sizeof block, length - at)),
            until());
        if (n <= 0) return true;  // the client went away: the file is removed
        take(block, n);
    }
    ++m_Executing;
    if (!refused) {
        if (ending != "\r\n\r\n")
            answer = Refuse(call, "The extra body does not end with an empty line");
        else if (!ok)
            answer = Refuse(call, "Cannot write " + call.args[2]);
        else {
            call.hasBody = true;
            call.upload = &file;
            answer = Dispatch(call);
        }
    }
    --m_Executing;
    TraceCommand(call);
    c.SendAll(answer.data(), answer.size(), m_Options.idleTimeoutMs);
    return true;
}

}  // namespace devserver
