#include "devserver/tests/Harness.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/net/TcpClient.h"

extern char** environ;

namespace dstest {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string t = (fs::temp_directory_path() / "qv-devserver-XXXXXX").string();
    if (::mkdtemp(t.data()) == nullptr) std::abort();
    m_Path = t;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(m_Path, ec);
}

long PeakMemoryKb(pid_t pid) {
    const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
    const std::size_t at = status.find("VmHWM:");
    return at == std::string::npos ? 0L : std::atol(status.c_str() + at + 6);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

namespace {

// Runs a program; its standard output goes to outFd (-1: /dev/null), its standard
// error to errPath (empty: /dev/null).
pid_t Spawn(const std::vector<std::string>& argv, int outFd, const std::string& errPath) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (outFd >= 0)
        posix_spawn_file_actions_adddup2(&fa, outFd, 1);
    else
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, errPath.empty() ? "/dev/null" : errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

int WaitStatus(pid_t pid) {
    int st = 0;
    while (::waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(st)) return WEXITSTATUS(st);
    return 128 + (WIFSIGNALED(st) ? WTERMSIG(st) : 0);
}

std::atomic<int> g_Counter{0};

}  // namespace

Server::Server(std::vector<std::string> extra, bool passwordFile)
    : m_Extra(std::move(extra)), m_PasswordFile(passwordFile) {
    WriteFile(PasswordFile(), std::string(kAdminPassword) + "\n");
    Start();
}

Server::~Server() {
    if (m_Pid > 0) Stop();
}

std::string Server::Stderr() const {
    return ReadFile(m_Dir / "server.err");
}

bool Server::Start() {
    std::vector<std::string> argv = {QV_DEVSERVER_BIN, "--root", Root(),
                                     "--port",         "0",      "--fast-hash"};
    if (m_PasswordFile) {
        argv.push_back("--admin-password-file");
        argv.push_back(PasswordFile());
    }
    // --seed-demo only on the first start: a restart must not add anything.
    for (const auto& e : m_Extra)
        if (m_Starts == 0 || e != "--seed-demo") argv.push_back(e);
    ++m_Starts;
    std::string err = m_Dir / "server.err";
    std::size_t before = ReadFile(err).size();
    m_Port = 0;
    m_Pid = Spawn(argv, -1, err);
    if (m_Pid < 0) return false;
    const char* mark = "listening on 127.0.0.1 port ";
    for (int i = 0; i < 3000; ++i) {
        std::string e = ReadFile(err);
        std::size_t p = e.find(mark, before);
        if (p != std::string::npos && e.find('\n', p) != std::string::npos) {
            m_Port = std::atoi(e.c_str() + p + std::strlen(mark));
            return m_Port > 0;
        }
        int st = 0;
        if (::waitpid(m_Pid, &st, WNOHANG) == m_Pid) {
            m_Pid = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

int Server::Stop(int signal) {
    if (m_Pid <= 0) return -1;
    ::kill(m_Pid, signal);
    int rc = WaitStatus(m_Pid);
    m_Pid = -1;
    return rc;
}

void Server::Kill9() {
    if (m_Pid <= 0) return;
    ::kill(m_Pid, SIGKILL);
    WaitStatus(m_Pid);
    m_Pid = -1;
}

std::vector<std::vector<std::string>> CliResult::Rows() const {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::size_t start = 0;
        for (;;) {
            std::size_t tab = line.find('\t', start);
            cells.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        rows.push_back(std::move(cells));
    }
    return rows;
}

std::vector<std::string> CliResult::Column(std::size_t c) const {
    std::vector<std::string> col;
    for (const auto& r : Rows()) col.push_back(c < r.size() ? r[c] : "");
    return col;
}

CliResult CliAs(const Server& s, const std::string& user, const std::string& password,
                const std::vector<std::string>& args) {
    std::string pw = s.Dir() / ("cli" + std::to_string(++g_Counter) + ".pw");
    WriteFile(pw, password + "\n");
    std::vector<std::string> argv = {QV_CLI_BIN, "--port",    std::to_string(s.Port()),
                                     "--user",   user,        "--password-file",
                                     pw,         "--timeout", "30"};
    argv.insert(argv.end(), args.begin(), args.end());
    CliResult r = RunProgram(argv, pw + ".err");
    ::unlink(pw.c_str());
    return r;
}

CliResult RunProgram(const std::vector<std::string>& argv, const std::string& errPath) {
    CliResult r;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return r;
    pid_t pid = Spawn(argv, fds[1], errPath);
    ::close(fds[1]);
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) r.out.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    r.rc = pid < 0 ? -1 : WaitStatus(pid);
    r.err = ReadFile(errPath);
    ::unlink(errPath.c_str());
    return r;
}

std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string d; std::getline(dirs, d, ':');) {
        const std::string p = d + "/" + name;
        if (!d.empty() && ::access(p.c_str(), X_OK) == 0) return p;
    }
    return {};
}

CliResult Cli(const Server& s, const std::vector<std::string>& args) {
    return CliAs(s, "admin", kAdminPassword, args);
}

std::string Exchange(int port, std::string_view bytes, int timeoutMs) {
    net::TcpClient c;
    if (c.Open() != 0 || c.Connect(net::MakeAddress(127, 0, 0, 1, port), timeoutMs) != 0) return {};
    if (c.SendAll(bytes.data(), bytes.size(), timeoutMs) != 0) return {};
    std::string got;
    char buf[65536];
    long n;
    // Up to the close, or as a browser reads: to the end the Content-Length gives (a
    // browser's connection may stay open for its next request).
    const bool head = bytes.substr(0, 5) == "HEAD ";
    while ((n = c.Receive(buf, sizeof buf, timeoutMs)) > 0) {
        got.append(buf, static_cast<std::size_t>(n));
        const std::size_t end = got.find("\r\n\r\n");
        const std::size_t length = got.find("\r\nContent-Length: ");
        if (end == std::string::npos || length == std::string::npos || length > end) continue;
        const std::size_t body = head ? 0 : std::strtoul(got.c_str() + length + 18, nullptr, 10);
        if (got.size() >= end + 4 + body) break;
    }
    return got;
}

std::string DevRequest(std::string_view body, long sessionId) {
    std::string r = "DEV \r\n";
    if (sessionId != 0) r += "Cookie: jsessionid=" + std::to_string(sessionId) + "\r\n";
    r += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    r += body;
    return r;
}

long Login(int port, const std::string& user, const std::string& password) {
    std::string a = Exchange(
        port, DevRequest("server_request=server_login(" + user + "," + password + ")\r\n\r\n", 0));
    if (a.find("Login OK!") == std::string::npos) return 0;
    std::size_t p = a.find("jsessionid=");
    return p == std::string::npos ? 0 : std::atol(a.c_str() + p + 11);
}

std::string Command(int port, long sessionId, std::string_view text, const std::string* body) {
    std::string b = "server_request=" + std::string(text);
    if (body)
        b += "&&&" + *body + "\r\n\r\n";
    else
        b += "\r\n\r\n";
    return Exchange(port, DevRequest(b, sessionId));
}

std::vector<std::vector<std::string>> TableRows(std::string_view a) {
    std::vector<std::vector<std::string>> rows;
    std::size_t p = a.find("<tr>");
    while (p != std::string_view::npos) {
        std::size_t end = a.find("</tr>", p);
        if (end == std::string_view::npos) break;
        std::vector<std::string> cells;
        std::size_t c = a.find("<td>", p);
        while (c != std::string_view::npos && c < end) {
            std::size_t ce = a.find("</td>", c);
            cells.emplace_back(a.substr(c + 4, ce - c - 4));
            c = a.find("<td>", ce);
        }
        rows.push_back(std::move(cells));
        p = a.find("<tr>", end);
    }
    return rows;
}

std::string Body(std::string_view a) {
    std::size_t p = a.find("\r\n\r\n");
    return p == std::string_view::npos ? std::string() : std::string(a.substr(p + 4));
}

bool IsError(std::string_view a) {
    return a.find("SERVER_ERROR") != std::string_view::npos;
}

}  // namespace dstest
