// ParseTable over a long GetFiles answer (rows/s, bytes/s; 20k and 200k rows show it is
// linear), and a 64 MB DownloadFile from a loopback server: Execute alone (the body
// streamed into the pending file beside the target, memory bounded), Execute with
// ParseResponse (the file then replaces the target), against a plain socket loop that
// reads the same bytes into memory.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "studio/session/ServerSession.h"

namespace {

std::string FilesAnswer(long rows) {
    std::string body = "<html><body><table>";
    char row[160];
    for (long i = 0; i < rows; ++i) {
        int n = std::snprintf(row, sizeof row,
                              "<tr><td>page%07ld.html</td><td>%ld</td><td>01.02.2026 10:%02ld</td>"
                              "<td>f</td></tr>",
                              i, 1000 + i % 90000, i % 60);
        body.append(row, static_cast<std::size_t>(n));
    }
    body += "</table></body></html>";
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

void BM_ParseTableGetFiles(benchmark::State& state) {
    const long rows = state.range(0);
    const std::string answer = FilesAnswer(rows);
    Session.TakeResponse(answer.data(), static_cast<long>(answer.size()));
    for (auto _ : state) {
        state.PauseTiming();
        FileList.Clear();
        state.ResumeTiming();
        if (Session.ParseTable(kCmdGetFiles) != 0 || FileList.Count() != rows)
            state.SkipWithError("the table was not read");
    }
    FileList.Clear();
    state.SetItemsProcessed(state.iterations() * rows);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(answer.size()));
}
BENCHMARK(BM_ParseTableGetFiles)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);

constexpr long kDocument = 64L * 1024 * 1024;

// Answers every connection with the same document once the request has arrived.
class DocumentServer {
public:
    DocumentServer() {
        std::string body(static_cast<std::size_t>(kDocument), '\0');
        for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 131 + 7);
        m_Answer =
            "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        m_Listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(m_Listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(m_Listen, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
            ::listen(m_Listen, 8) != 0)
            std::abort();
        socklen_t len = sizeof sa;
        ::getsockname(m_Listen, reinterpret_cast<sockaddr*>(&sa), &len);
        m_Port = ntohs(sa.sin_port);
        m_Thread = std::thread([this] { Run(); });
    }
    ~DocumentServer() {
        m_Stop = true;
        ::shutdown(m_Listen, SHUT_RDWR);
        m_Thread.join();
        ::close(m_Listen);
    }
    int Port() const { return m_Port; }
    long AnswerSize() const { return static_cast<long>(m_Answer.size()); }

private:
    void Run() {
        while (!m_Stop) {
            int fd = ::accept4(m_Listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            // The request is small: a header, then a body that ends in a blank line too.
            std::string req;
            char buf[4096];
            auto complete = [&] {
                std::size_t h = req.find("\r\n\r\n");
                return h != std::string::npos && req.find("\r\n\r\n", h + 4) != std::string::npos;
            };
            while (!complete()) {
                ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0) break;
                req.append(buf, static_cast<std::size_t>(n));
            }
            std::size_t off = 0;
            while (off < m_Answer.size()) {
                ssize_t w = ::send(fd, m_Answer.data() + off, m_Answer.size() - off, MSG_NOSIGNAL);
                if (w <= 0) break;
                off += static_cast<std::size_t>(w);
            }
            ::close(fd);
        }
    }

    std::string m_Answer;
    int m_Listen = -1;
    int m_Port = 0;
    std::atomic<bool> m_Stop{false};
    std::thread m_Thread;
};

DocumentServer& Server() {
    static DocumentServer server;
    return server;
}

const std::string& Target() {
    static const std::string path =
        (std::filesystem::temp_directory_path() / "qv-bench-download.bin").string();
    return path;
}

void PrepareDownload() {
    Session.m_ServerAddress = net::MakeAddress(127, 0, 0, 1, Server().Port());
    Session.m_SessionID = 0;
    TransferKind = kTransferData;
    TransferFileName = "big.bin";
    CurrentApp.m_ID = 5;
    TransferLocalPath = Target();
}

// A download streams to disk: Execute leaves the whole body in the pending file and keeps
// only the header and the body's start in memory. The next Execute discards the file.
void BM_DownloadExecute(benchmark::State& state) {
    PrepareDownload();
    for (auto _ : state) {
        if (Session.Execute(kCmdDownloadFile) != 0 || !Session.DownloadPending())
            state.SkipWithError("the download failed");
        else if (Session.m_Response.m_Message.GetSize() >= Server().AnswerSize())
            state.SkipWithError("the download was held in memory");
    }
    state.SetBytesProcessed(state.iterations() * Server().AnswerSize());
}
BENCHMARK(BM_DownloadExecute)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DownloadExecuteParseWrite(benchmark::State& state) {
    PrepareDownload();
    for (auto _ : state) {
        if (Session.Execute(kCmdDownloadFile) != 0 || Session.ParseResponse(kCmdDownloadFile) != 0)
            state.SkipWithError("the download failed");
    }
    std::filesystem::remove(Target());
    state.SetBytesProcessed(state.iterations() * Server().AnswerSize());
}
BENCHMARK(BM_DownloadExecuteParseWrite)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor: connect, send the same request, read every byte into memory.
void BM_DownloadPlainSocket(benchmark::State& state) {
    PrepareDownload();
    std::string request;
    Vessel extra;
    std::string text;
    extra.Alloc(100, 100);
    Session.FormatCommand(kCmdDownloadFile, text, extra);
    request = "DEV \r\nContent-Length: " + std::to_string(text.size()) + "\r\n\r\n" + text;
    std::vector<char> block(65536);
    for (auto _ : state) {
        std::string got;
        got.reserve(static_cast<std::size_t>(Server().AnswerSize()));  // no copy on growth
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sa.sin_port = htons(static_cast<uint16_t>(Server().Port()));
        if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
            ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
                static_cast<ssize_t>(request.size())) {
            state.SkipWithError("connect or send failed");
        }
        for (;;) {
            ssize_t n = ::recv(fd, block.data(), block.size(), 0);
            if (n <= 0) break;
            got.append(block.data(), static_cast<std::size_t>(n));
        }
        ::close(fd);
        if (static_cast<long>(got.size()) != Server().AnswerSize())
            state.SkipWithError("short read");
        benchmark::DoNotOptimize(got.data());
    }
    state.SetBytesProcessed(state.iterations() * Server().AnswerSize());
}
BENCHMARK(BM_DownloadPlainSocket)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
