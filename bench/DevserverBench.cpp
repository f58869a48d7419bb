// Clients sending GetApps to a devserver holding 100 applications, each command on
// its own connection as the studio sends it: commands per second and latency
// percentiles. bench_devserver [seconds=10] [clients=8] [applications=100]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "devserver/Server.h"
#include "platform/net/TcpClient.h"
#include "webproc/HttpProcessor.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Request(const std::string& body, long session) {
    std::string m = "DEV \r\n";
    if (session) m += "Cookie: jsessionid=" + std::to_string(session) + "\r\n";
    return m + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// One exchange: connect, send, read until the answer is whole.
bool Exchange(int port, const std::string& request, std::string& answer) {
    net::TcpClient c;
    if (c.Open() != 0 || c.Connect(net::MakeAddress(127, 0, 0, 1, port), 5000) != 0) return false;
    if (c.SendAll(request.data(), request.size(), 5000) != 0) return false;
    HttpProcessor http;
    http.m_Message.Alloc(50000, 5000);
    char block[10000];
    for (;;) {
        long n = c.Receive(block, sizeof block, 5000);
        if (n < 0) return false;
        if (n == 0) break;
        http.m_Message.AddContent(block, n);
        if (!http.IsMoreData()) break;
    }
    answer.assign(http.m_Message.GetContent(), static_cast<std::size_t>(http.m_Message.GetSize()));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 10;
    int clients = argc > 2 ? std::atoi(argv[2]) : 8;
    int apps = argc > 3 ? std::atoi(argv[3]) : 100;
    std::string root =
        (std::filesystem::temp_directory_path() / "qv-bench-devserver-XXXXXX").string();
    if (!::mkdtemp(root.data())) return 1;
    ::setenv("QUORVEL_ADMIN_PASSWORD", "bench", 1);
    devserver::Options o;
    o.root = root;
    o.port = 0;
    o.fastHash = true;
    devserver::DevServer server;
    std::string error, password;
    if (server.Open(o, error, password) != 0 || server.Listen(error) != 0) {
        std::fprintf(stderr, "bench_devserver: %s\n", error.c_str());
        return 1;
    }
    std::thread serving([&] { server.Serve(); });
    int port = server.Port();
    std::string answer;
    Exchange(port, Request("server_request=server_login(admin,bench)\r\n\r\n", 0), answer);
    std::size_t p = answer.find("jsessionid=");
    long session = p == std::string::npos ? 0 : std::atol(answer.c_str() + p + 11);
    for (int i = 0; i < apps; ++i)
        Exchange(port,
                 Request("server_request=NewApp(app" + std::to_string(i) +
                             ",Benchmark application " + std::to_string(i) + ",30)\r\n\r\n",
                         session),
                 answer);
    const std::string getApps = Request("server_request=GetApps()\r\n\r\n", session);
    Exchange(port, getApps, answer);
    std::size_t rows = 0;
    for (std::size_t q = answer.find("<tr>"); q != std::string::npos;
         q = answer.find("<tr>", q + 1))
        ++rows;

    // With a static file server's port (argument 4) and its folder (QV_BENCH_SITE), the
    // answer's body goes there as apps.txt and the same clients fetch it from that server
    // too, one request per connection: the same bytes, served as plainly as they can be.
    const int staticPort = argc > 4 ? std::atoi(argv[4]) : 0;
    if (const char* site = std::getenv("QV_BENCH_SITE")) {
        const std::size_t b = answer.find("\r\n\r\n");
        std::FILE* f = std::fopen((std::string(site) + "/apps.txt").c_str(), "wb");
        if (f && b != std::string::npos)
            std::fwrite(answer.data() + b + 4, 1, answer.size() - b - 4, f);
        if (f) std::fclose(f);
    }
    auto run = [&](const char* who, int to, const std::string& request) {
        std::vector<std::vector<double>> latencies(static_cast<std::size_t>(clients));
        std::atomic<long> failures{0};
        auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(seconds));
        auto t0 = Clock::now();
        std::vector<std::thread> threads;
        for (int c = 0; c < clients; ++c)
            threads.emplace_back([&, c] {
                std::string a;
                auto& mine = latencies[static_cast<std::size_t>(c)];
                while (Clock::now() < end) {
                    auto s = Clock::now();
                    bool ok = Exchange(to, request, a) && a.rfind("HTTP/1.1 200", 0) == 0 &&
                              a.find("SERVER_ERROR") == std::string::npos;
                    mine.push_back(
                        std::chrono::duration<double, std::micro>(Clock::now() - s).count());
                    if (!ok) ++failures;
                }
            });
        for (auto& t : threads) t.join();
        double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
        std::vector<double> all;
        for (const auto& v : latencies) all.insert(all.end(), v.begin(), v.end());
        std::sort(all.begin(), all.end());
        auto pct = [&](double q) {
            return all.empty() ? 0.0 : all[static_cast<std::size_t>(q * (all.size() - 1))];
        };
        std::printf(
            "%s: clients %d, applications %zu, %.1f s: %zu commands, %.0f commands/s, "
            "latency p50 %.0f us, p99 %.0f us, max %.0f us, failures %ld, answer %zu bytes\n",
            who, clients, rows, elapsed, all.size(), all.size() / elapsed, pct(0.5), pct(0.99),
            all.empty() ? 0.0 : all.back(), failures.load(), answer.size());
        return std::make_pair(all.size() / elapsed, failures.load());
    };
    const auto [rate, failures] = run("GetApps", port, getApps);
    if (staticPort) {
        const auto [plain, plainFailures] =
            run("the same bytes from the static server", staticPort,
                "GET /apps.txt HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        std::printf("GetApps / static server: %.2f\n", plain > 0 ? rate / plain : 0.0);
        (void)plainFailures;
    }
    server.Stop();
    serving.join();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return failures == 0 ? 0 : 1;
}
