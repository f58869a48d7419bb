// End-to-end harness: a real quorvel-devserver process on a free loopback port with a
// temporary root, driven by quorvel-cli and by a raw DEV client for what the CLI
// cannot send (malformed requests, many clients at once).
#pragma once

#include <sys/types.h>

#include <csignal>

#include <string>
#include <string_view>
#include <vector>

namespace dstest {

// Sizes shrink under sanitizers, which slow the server many times over.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr int kSanitized = 1;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr int kSanitized = 1;
#else
inline constexpr int kSanitized = 0;
#endif
#else
inline constexpr int kSanitized = 0;
#endif

inline constexpr const char* kAdminPassword = "Adm1n-secret";

// A fresh temporary folder, removed by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_Path; }
    std::string operator/(std::string_view name) const { return m_Path + "/" + std::string(name); }

private:
    std::string m_Path;
};

// One devserver process. The root and the administrator's password file live in dir.
class Server {
public:
    // Without a password file the administrator's password comes from the environment
    // or is made up by the server.
    explicit Server(std::vector<std::string> extra = {"--seed-demo"}, bool passwordFile = true);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Starts (again) on the same root; true when it said where it listens.
    bool Start();
    // SIGTERM (or the given signal) and wait: the exit status (0 clean; sanitizer reports make it
    // non-zero).
    int Stop(int signal = SIGTERM);
    void Kill9();
    int Port() const { return m_Port; }
    pid_t Pid() const { return m_Pid; }
    std::string Root() const { return m_Dir / "root"; }
    std::string PasswordFile() const { return m_Dir / "admin.pw"; }
    std::string Stderr() const;
    const TempDir& Dir() const { return m_Dir; }

private:
    TempDir m_Dir;
    std::vector<std::string> m_Extra;
    bool m_PasswordFile = true;
    pid_t m_Pid = -1;
    int m_Port = 0;
    int m_Starts = 0;
};

struct CliResult {
    int rc = -1;
    std::string out;
    std::string err;
    // The output's lines, each split at TAB.
    std::vector<std::vector<std::string>> Rows() const;
    // The first column of every line.
    std::vector<std::string> Column(std::size_t c = 0) const;
};

// quorvel-cli against the server as admin (or user with password), with args after
// the connection options.
CliResult Cli(const Server& s, const std::vector<std::string>& args);
CliResult CliAs(const Server& s, const std::string& user, const std::string& password,
                const std::vector<std::string>& args);

// Runs a program to its end: its exit status and standard output; standard error goes
// through errPath (a file of the test's), removed afterwards.
CliResult RunProgram(const std::vector<std::string>& argv, const std::string& errPath);
// The full path of a program found on PATH; empty when there is none.
std::string FindProgram(const std::string& name);

// Raw exchange: sends bytes on a fresh connection and reads until the server closes.
std::string Exchange(int port, std::string_view bytes, int timeoutMs = 10000);
// A DEV request with a session cookie (0: none) around a command text.
std::string DevRequest(std::string_view body, long sessionId);
// Logs in over the raw client; the session id, or 0.
long Login(int port, const std::string& user, const std::string& password);
// One command with the session; text is e.g. "GetApps()"; body, when given, follows "&&&".
std::string Command(int port, long sessionId, std::string_view text,
                    const std::string* body = nullptr);
// The rows of a table answer.
std::vector<std::vector<std::string>> TableRows(std::string_view answer);
// The body of a document answer (after the header).
std::string Body(std::string_view answer);
bool IsError(std::string_view answer);

std::string ReadFile(const std::string& path);
// The peak resident memory of a process (VmHWM), in KB.
long PeakMemoryKb(pid_t pid);
void WriteFile(const std::string& path, std::string_view bytes);

}  // namespace dstest
