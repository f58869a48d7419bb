#include "platform/net/SshTunnel.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

extern char** environ;

namespace net {
namespace {

// How ssh finds its askpass helper's way back to the tunnel's maker.
constexpr const char* kAskpassVariable = "QUORVEL_SSH_ASKPASS";

long long Now() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool IsSocket(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

int Listen(const std::string& path) {
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    if (path.size() >= sizeof sa.sun_path) return -1;
    std::memcpy(sa.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(fd, 4) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads until the peer closes or waitMs pass without a byte.
std::string ReadAll(int fd, int waitMs) {
    std::string out;
    char buf[1024];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0) break;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
        if (out.size() > 65536) break;
    }
    return out;
}

void WriteAll(int fd, const std::string& s) {
    std::size_t done = 0;
    while (done < s.size()) {
        const ssize_t n = ::write(fd, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (!line.empty()) lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

const std::string* LineWith(const std::vector<std::string>& lines, const char* part) {
    for (const std::string& l : lines)
        if (l.find(part) != std::string::npos) return &l;
    return nullptr;
}

// "SHA256:..." in text, without the full stop that may end it.
std::string Fingerprint(const std::string& text) {
    const std::size_t at = text.find("SHA256:");
    if (at == std::string::npos) return "";
    std::size_t end = at;
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
    std::string fp = text.substr(at, end - at);
    if (!fp.empty() && fp.back() == '.') fp.pop_back();
    return fp;
}

// The key type in "ED25519 key fingerprint is" or "for the ED25519 key sent".
std::string KeyType(const std::string& text) {
    for (const char* marker : {" key fingerprint is", " key sent by"}) {
        const std::size_t at = text.find(marker);
        if (at == std::string::npos) continue;
        std::size_t begin = at;
        while (begin > 0 && !std::isspace(static_cast<unsigned char>(text[begin - 1]))) --begin;
        if (begin < at) return text.substr(begin, at - begin) + " ";
    }
    return "";
}

constexpr const char* kFolderPrefix = "qv-ssh-";
constexpr const char* kFolderFiles[] = {"/fwd", "/ask", "/log", "/pid"};

// Whether pid is a running ssh: not ended (an orphan's zombie may wait long for its
// reaper), and not another program that has the number now.
bool SshRuns(pid_t pid) {
    if (pid <= 0 || (::kill(pid, 0) != 0 && errno != EPERM)) return false;
    std::string stat;
    if (const int fd =
            ::open(("/proc/" + std::to_string(pid) + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
        fd >= 0) {
        stat = ReadAll(fd, 100);
        ::close(fd);
    }
    const std::size_t open = stat.find(" ("), close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close + 2 >= stat.size())
        return true;  // no /proc: trust kill
    return stat.substr(open + 2, close - open - 2) == "ssh" && stat[close + 2] != 'Z';
}

void RemoveFolder(const std::string& dir) {
    for (const char* name : kFolderFiles) ::unlink((dir + name).c_str());
    ::rmdir(dir.c_str());
}

// The folders of tunnels whose program was killed: ssh ended with the program, the
// folder stayed. One is stale when the ssh it names has ended (or, without a pid file,
// when it is old); only this user's folders, and only the files a tunnel makes.
void RemoveStaleFolders(const std::string& base) {
    DIR* d = ::opendir(base.c_str());
    if (!d) return;
    const time_t now = ::time(nullptr);
    while (dirent* e = ::readdir(d)) {
        if (std::strncmp(e->d_name, kFolderPrefix, std::strlen(kFolderPrefix)) != 0) continue;
        const std::string dir = base + "/" + e->d_name;
        struct stat st {};
        if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        std::string pidText;
        if (const int fd = ::open((dir + "/pid").c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
            pidText = ReadAll(fd, 100);
            ::close(fd);
        }
        const pid_t pid = static_cast<pid_t>(std::atol(pidText.c_str()));
        if (pid > 0 ? SshRuns(pid) : now - st.st_mtime < 600) continue;
        RemoveFolder(dir);
    }
    ::closedir(d);
}

}  // namespace

bool ParseSshDestination(const std::string& text, SshDestination& out) {
    out = SshDestination{};
    std::string rest = text;
    const std::size_t at = rest.rfind('@');
    if (at != std::string::npos) {
        out.user = rest.substr(0, at);
        rest = rest.substr(at + 1);
        if (out.user.empty()) return false;
    }
    std::string port;
    bool hasPort = false;
    if (!rest.empty() && rest[0] == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos) return false;
        out.host = rest.substr(1, close - 1);
        rest = rest.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':') return false;
            port = rest.substr(1);
            hasPort = true;
        }
    } else {
        const std::size_t colon = rest.find(':');
        out.host = rest.substr(0, colon);
        if (colon != std::string::npos) {
            port = rest.substr(colon + 1);
            hasPort = true;
        }
    }
    if (out.host.empty() || out.host[0] == '-' || (!out.user.empty() && out.user[0] == '-'))
        return false;
    for (char c : text)
        if (static_cast<unsigned char>(c) <= ' ') return false;
    if (hasPort) {
        if (port.empty() || port.size() > 5 ||
            port.find_first_not_of("0123456789") != std::string::npos)
            return false;
        out.port = std::atoi(port.c_str());
        if (out.port < 1 || out.port > 65535) return false;
    }
    return true;
}

int SshTunnel::Fail(const std::string& text) {
    m_Error = text;
    Close();
    return -1;
}

int SshTunnel::Open(const std::string& sshHost, const std::vector<std::string>& options,
                    const std::string& targetHost, int targetPort, int timeoutMs,
                    const SshAsker& ask) {
    Close();
    m_Error.clear();
    m_UnknownKey.clear();
    m_Unanswered.clear();
    m_Host = sshHost;
    m_Target = targetHost + ":" + std::to_string(targetPort);
    SshDestination dest;
    if (!ParseSshDestination(sshHost, dest))
        return Fail("'" + sshHost + "' is no SSH host: write [user@]host[:port]");
    for (const std::string& o : options)
        if (o.empty() || o[0] == '-' || o.find('=') == std::string::npos ||
            o.find_first_of("\r\n") != std::string::npos)
            return Fail("An SSH option is written KEY=VALUE, not '" + o + "'");

    // A folder only this user can enter holds the forwarded socket, the askpass socket
    // and ssh's error output. A socket's name is short, so not every base folder will do.
    std::string base = "/tmp";
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime && *runtime && std::strlen(runtime) < 60)
        base = runtime;
    RemoveStaleFolders(base);
    std::string tmpl = base + "/" + kFolderPrefix + "XXXXXX";
    if (!::mkdtemp(tmpl.data())) return Fail("No folder for the SSH tunnel: " + base);
    m_Dir = tmpl;
    m_Socket = m_Dir + "/fwd";
    m_Log = m_Dir + "/log";
    m_LogRead = 0;
    const std::string askSocket = m_Dir + "/ask";
    const int listener = Listen(askSocket);
    if (listener < 0) return Fail("No socket for SSH's questions in " + m_Dir);
    struct CloseOnReturn {
        int fd;
        ~CloseOnReturn() { ::close(fd); }
    } closeListener{listener};

    char self[4096];
    const ssize_t selfLength = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (selfLength <= 0) return Fail("This program cannot find itself to answer SSH's questions");
    self[selfLength] = '\0';

    const int waitMs = timeoutMs > 0 ? timeoutMs : 60000;
    std::vector<std::string> args = {"ssh", "-N", "-T"};
    auto option = [&args](const std::string& o) {
        args.push_back("-o");
        args.push_back(o);
    };
    // ssh keeps the first value it reads of an option: the host key check stays strict
    // whatever is passed after it; the user's options come before the other defaults.
    option("StrictHostKeyChecking=ask");
    option("ControlMaster=no");
    option("ControlPath=none");
    option("ExitOnForwardFailure=yes");
    option("LogLevel=INFO");  // INFO says why a channel failed
    for (const std::string& o : options) option(o);
    option("ConnectTimeout=" + std::to_string((waitMs + 999) / 1000));
    option("ServerAliveInterval=15");
    args.push_back("-L");
    args.push_back(m_Socket + ":" + targetHost + ":" + std::to_string(targetPort));
    if (dest.port > 0) {
        args.push_back("-p");
        args.push_back(std::to_string(dest.port));
    }
    if (!dest.user.empty()) {
        args.push_back("-l");
        args.push_back(dest.user);
    }
    args.push_back("--");
    args.push_back(dest.host);

    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        const std::string_view v(*e);
        if (v.starts_with("SSH_ASKPASS") || v.starts_with(kAskpassVariable)) continue;
        env.emplace_back(v);
    }
    env.push_back(std::string("SSH_ASKPASS=") + self);
    env.push_back("SSH_ASKPASS_REQUIRE=force");
    env.push_back(std::string(kAskpassVariable) + "=" + askSocket);
    // Everything the child needs is made before fork: after it only plain system calls.
    std::vector<char*> argv, envp;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    const int logFd = ::open(m_Log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int nullFd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    int execPipe[2];
    if (logFd < 0 || nullFd < 0 || ::pipe2(execPipe, O_CLOEXEC) != 0) {
        if (logFd >= 0) ::close(logFd);
        if (nullFd >= 0) ::close(nullFd);
        return Fail("The SSH tunnel cannot be prepared in " + m_Dir);
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // ssh ends with this program, however it ends (kill -9 included), and never
        // reads this program's terminal: its questions come through the askpass helper.
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        ::signal(SIGPIPE, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::dup2(nullFd, 0);
        ::dup2(nullFd, 1);
        ::dup2(logFd, 2);
        ::execvpe("ssh", argv.data(), envp.data());
        const int err = errno;
        [[maybe_unused]] ssize_t w = ::write(execPipe[1], &err, sizeof err);
        ::_exit(127);
    }
    ::close(execPipe[1]);
    ::close(logFd);
    ::close(nullFd);
    if (pid < 0) {
        ::close(execPipe[0]);
        return Fail("ssh cannot be started: " + std::string(std::strerror(errno)));
    }
    m_Pid = pid;
    if (const int fd = ::open((m_Dir + "/pid").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        fd >= 0) {
        WriteAll(fd, std::to_string(pid));
        ::close(fd);
    }
    int execError = 0;
    ssize_t n;
    do {
        n = ::read(execPipe[0], &execError, sizeof execError);
    } while (n < 0 && errno == EINTR);
    ::close(execPipe[0]);
    if (n == static_cast<ssize_t>(sizeof execError)) {
        if (execError == ENOENT)
            return Fail(
                "ssh is not installed: no program ssh (OpenSSH's client) was found on this "
                "system");
        return Fail("ssh cannot be started: " + std::string(std::strerror(execError)));
    }

    long long askedMs = 0;
    const long long start = Now();
    for (;;) {
        if (IsSocket(m_Socket)) return 0;
        int status = 0;
        if (::waitpid(m_Pid, &status, WNOHANG) == m_Pid) {
            m_Pid = -1;
            return Fail(Explain(NewLog()));
        }
        if (Now() - start - askedMs > waitMs) {
            const std::string log = NewLog();
            return Fail("The SSH host " + m_Host + " did not let the tunnel stand within " +
                        std::to_string(waitMs / 1000) + " seconds" +
                        (log.empty() ? std::string() : ": " + Lines(log).back()));
        }
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, 10) > 0) AnswerAsker(listener, ask, askedMs);
    }
}

void SshTunnel::AnswerAsker(int listener, const SshAsker& ask, long long& askedMs) {
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    const long long began = Now();
    const std::string prompt = ReadAll(fd, 2000);
    const bool hostKey = prompt.find("authenticity of host") != std::string::npos ||
                         prompt.find("key fingerprint is") != std::string::npos;
    std::string answer;
    const bool given = ask && ask(prompt, hostKey, answer);
    if (!given) {
        if (hostKey) m_UnknownKey = prompt;
        if (!answer.empty())
            m_Unanswered = answer;
        else if (!ask)
            m_Unanswered = "Nobody was there to answer: " + Lines(prompt + " ").back();
    }
    WriteAll(fd, given ? "1" + answer : std::string("0"));
    ::close(fd);
    askedMs += Now() - began;
}

std::string SshTunnel::NewLog() {
    std::string text;
    const int fd = ::open(m_Log.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    if (::lseek(fd, m_LogRead, SEEK_SET) == m_LogRead) {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    m_LogRead += static_cast<long long>(text.size());
    return text;
}

std::string SshTunnel::Explain(const std::string& log) const {
    const std::vector<std::string> lines = Lines(log);
    if (log.find("IDENTIFICATION HAS CHANGED") != std::string::npos) {
        const std::string* typeLine = LineWith(lines, "key sent by");
        return "The host key of " + m_Host + " has changed (" +
               (typeLine ? KeyType(*typeLine) : std::string()) + "key " + Fingerprint(log) +
               "): the connection is refused. If the host's key was really replaced, remove "
               "the old one from known_hosts (ssh-keygen -R).";
    }
    if (!m_UnknownKey.empty() || log.find("Host key verification failed") != std::string::npos) {
        const std::string& about = m_UnknownKey.empty() ? log : m_UnknownKey;
        const std::string fp = Fingerprint(about);
        return "The host key of " + m_Host + " is not known" +
               (fp.empty() ? std::string() : " (" + KeyType(about) + "key " + fp + ")") +
               ": the connection is refused. Check the fingerprint with the host's "
               "administrator, then accept the key once with ssh.";
    }
    if (const std::string* l = LineWith(lines, "Permission denied"))
        return "The SSH host " + m_Host + " refused the authentication (" +
               l->substr(0, l->find_last_not_of('.') + 1) + ")" +
               (m_Unanswered.empty() ? std::string() : ". " + m_Unanswered);
    for (const char* unreachable :
         {"Could not resolve hostname", "Connection refused", "No route to host", "timed out",
          "Network is unreachable", "Connection closed", "Connection reset",
          "kex_exchange_identification"}) {
        if (const std::string* l = LineWith(lines, unreachable))
            return "The SSH host " + m_Host + " cannot be reached: " + *l;
    }
    if (const std::string* l = LineWith(lines, "forwarding"))
        return "ssh could not set up the forward to " + m_Target + ": " + *l;
    if (!m_Unanswered.empty()) return "ssh to " + m_Host + " gave up: " + m_Unanswered;
    return "ssh to " + m_Host + " ended" +
           (lines.empty() ? std::string(" without saying why") : ": " + lines.back());
}

std::string SshTunnel::ChannelFailure() {
    std::string log = NewLog();
    // ssh writes why before it closes the connection; give it a moment all the same.
    if (log.empty() && IsOpen()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        log = NewLog();
    }
    if (!IsOpen()) return "The SSH connection to " + m_Host + " ended: " + Explain(log);
    const std::vector<std::string> lines = Lines(log);
    const std::string* l = LineWith(lines, "open failed");
    if (!l) return "";
    if (l->find("administratively prohibited") != std::string::npos)
        return "The SSH host " + m_Host + " refused to forward the connection to " + m_Target +
               " (" + *l + ")";
    if (l->find("Connection refused") != std::string::npos)
        return "No application server listens at " + m_Target + " behind the SSH host " + m_Host;
    return "The SSH host " + m_Host + " could not connect to " + m_Target + ": " + *l;
}

bool SshTunnel::IsOpen() {
    if (m_Pid <= 0) return false;
    int status = 0;
    if (::waitpid(m_Pid, &status, WNOHANG) == 0) return true;
    m_Pid = -1;
    return false;
}

void SshTunnel::Close() {
    if (m_Pid > 0) {
        ::kill(m_Pid, SIGTERM);
        int status = 0;
        pid_t done = 0;
        for (int i = 0; i < 200 && (done = ::waitpid(m_Pid, &status, WNOHANG)) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (done == 0) {
            ::kill(m_Pid, SIGKILL);
            ::waitpid(m_Pid, &status, 0);
        }
        m_Pid = -1;
    }
    if (!m_Dir.empty()) {
        RemoveFolder(m_Dir);
        m_Dir.clear();
    }
}

bool AskOnTerminal(const std::string& prompt, bool hostKey, std::string& answer) {
    answer.clear();
    if (hostKey) return false;  // the tunnel's refusal names the key and its fingerprint
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (tty < 0) {
        answer = "ssh asked \"" + Lines(prompt + " ").back() +
                 "\" and there is no terminal to ask it on: use a key without a passphrase, or an "
                 "agent (ssh-add)";
        return false;
    }
    // Echo off before the prompt shows: what was typed before it is dropped, nothing after.
    termios saved{};
    const bool echoOff = ::tcgetattr(tty, &saved) == 0;
    if (echoOff) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    WriteAll(tty, prompt);
    std::string line;
    char c;
    ssize_t n;
    while ((n = ::read(tty, &c, 1)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) {
            if (c == '\n') break;
            line += c;
        }
    if (echoOff) ::tcsetattr(tty, TCSAFLUSH, &saved);
    WriteAll(tty, "\n");
    ::close(tty);
    if (n == 0 && line.empty()) return false;
    answer = line;
    return true;
}

namespace {

// ssh runs its askpass helper with the question as the only argument. The helper is the
// program that made the tunnel (/proc/self/exe: the studio, quorvel-cli, a test), so
// every program that can make a tunnel answers as the helper, before its main begins:
// it hands the question to the tunnel's maker over the socket named in the variable
// and prints the answer. Returns the exit status, or -1 when not started as the helper.
int RunSshAskpass() {
    const char* path = std::getenv(kAskpassVariable);
    if (!path || !*path) return -1;
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof sa.sun_path) return 1;
    std::strcpy(sa.sun_path, path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) return 1;
    std::string cmdline;
    if (const int self = ::open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC); self >= 0) {
        cmdline = ReadAll(self, 1000);
        ::close(self);
    }
    const std::size_t first = cmdline.find('\0');
    std::string prompt = first == std::string::npos ? "" : cmdline.substr(first + 1);
    prompt = prompt.substr(0, prompt.find('\0'));
    WriteAll(fd, prompt);
    ::shutdown(fd, SHUT_WR);
    // The person asked may take their time.
    const std::string reply = ReadAll(fd, 24 * 3600 * 1000);
    ::close(fd);
    if (reply.empty() || reply[0] != '1') return 1;
    WriteAll(1, reply.substr(1) + "\n");
    return 0;
}

[[maybe_unused]] const int kAskpassAnswered = [] {
    const int rc = RunSshAskpass();
    if (rc >= 0) ::_exit(rc);
    return 0;
}();

}  // namespace

}  // namespace net
