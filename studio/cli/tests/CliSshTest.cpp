// quorvel-cli and the session core through an SSH tunnel, end to end: a real sshd of the
// test's own on loopback, a quorvel-devserver bound to 127.0.0.1 behind it, and the
// real program. Skipped only when OpenSSH is not installed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/net/tests/SshServer.h"
#include "studio/session/ServerSession.h"

extern char** environ;

namespace {

using testing_ssh::SlurpFile;

// A quorvel-devserver on 127.0.0.1 for the whole program.
struct Devserver {
    pid_t pid = -1;
    int port = 0;
    std::string dir;
};
Devserver& Server() {
    static Devserver s;
    return s;
}

void StartDevserver() {
    Devserver& s = Server();
    const char* bin = std::getenv("QV_DEVSERVER");
    if (s.pid > 0 || !bin) return;
    char tmpl[] = "/tmp/qv-cli-ssh-XXXXXX";
    if (!::mkdtemp(tmpl)) return;
    s.dir = tmpl;
    std::FILE* pw = std::fopen((s.dir + "/pw").c_str(), "w");
    std::fputs("pw\n", pw);
    std::fclose(pw);
    const std::string root = s.dir + "/root", pwFile = s.dir + "/pw", log = s.dir + "/log";
    s.pid = ::fork();
    if (s.pid == 0) {
        if (!std::freopen(log.c_str(), "w", stderr)) ::_exit(127);
        ::execl(bin, bin, "--root", root.c_str(), "--port", "0", "--bind", "127.0.0.1",
                "--admin-password-file", pwFile.c_str(), "--seed-demo", "--fast-hash",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 200 && s.port == 0; ++i) {
        const std::string text = SlurpFile(log);
        const std::size_t at = text.find("listening on 127.0.0.1 port ");
        if (at != std::string::npos) s.port = std::atoi(text.c_str() + at + 28);
        if (s.port == 0) ::usleep(25000);
    }
}

struct Stopper : ::testing::Environment {
    void TearDown() override {
        Devserver& s = Server();
        if (s.pid > 0) {
            ::kill(s.pid, SIGTERM);
            ::waitpid(s.pid, nullptr, 0);
        }
        std::error_code ignored;
        if (!s.dir.empty()) std::filesystem::remove_all(s.dir, ignored);
    }
};
::testing::Environment* const g_Stopper = ::testing::AddGlobalTestEnvironment(new Stopper);

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class CliSshTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_Ssh.Error().empty()) GTEST_SKIP() << "OpenSSH is needed: " << m_Ssh.Error();
        StartDevserver();
        ASSERT_GT(Server().port, 0) << "quorvel-devserver did not start (QV_DEVSERVER)";
    }
    void TearDown() override {
        // Whatever happened, no tunnel outlives its program.
        if (m_Ssh.Error().empty()) {
            EXPECT_TRUE(NoSshWithin(3000));
        }
    }

    bool NoSshWithin(int ms) const {
        for (int waited = 0; m_Ssh.SshProcesses() > 0; waited += 20) {
            if (waited >= ms) return false;
            ::usleep(20000);
        }
        return true;
    }

    // quorvel-cli through the test's sshd: the port, the user "admin", ssh options
    // (known hosts, key), then args. With path, PATH is that; with wait false the
    // program is left running and its pid is in status.
    Outcome Run(std::vector<std::string> args, const std::vector<std::string>& sshOptions,
                const char* path = nullptr, bool wait = true) {
        std::vector<std::string> words{std::getenv("QV_CLI") ? std::getenv("QV_CLI") : "", "--user",
                                       "admin"};
        for (const std::string& o : sshOptions) words.insert(words.end(), {"--ssh-option", o});
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        std::vector<std::string> env{"QUORVEL_PASSWORD=pw"};
        for (char** e = environ; *e; ++e) {
            const std::string v(*e);
            if (!v.starts_with("QUORVEL_PASSWORD=") && !(path && v.starts_with("PATH=")))
                env.push_back(v);
        }
        if (path) env.push_back(std::string("PATH=") + path);
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);

        const std::string out = m_Ssh.File("cli.out"), err = m_Ssh.File("cli.err");
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        Outcome o;
        // setsid: without a terminal, as in batch use.
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
        if (posix_spawn(&pid, argv[0], &fa, &attr, argv.data(), envp.data()) == 0) {
            int ws = 0;
            if (!wait)
                o.status = pid;
            else if (::waitpid(pid, &ws, 0) == pid && WIFEXITED(ws))
                o.status = WEXITSTATUS(ws);
        }
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&fa);
        o.out = SlurpFile(out);
        o.err = SlurpFile(err);
        return o;
    }
    // The folder of the standing tunnel, from its ssh's forward ("-L FOLDER/fwd:...").
    std::string TunnelFolder() const {
        for (const auto& e : std::filesystem::directory_iterator("/proc")) {
            const std::string cmd = SlurpFile(e.path().string() + "/cmdline");
            if (cmd.find(m_Ssh.Dir()) == std::string::npos) continue;
            const std::size_t at = cmd.find(std::string("-L") + '\0');
            if (cmd.compare(0, 4, std::string("ssh") + '\0') != 0 || at == std::string::npos)
                continue;
            const std::string forward = cmd.substr(at + 3, cmd.find('\0', at + 3) - at - 3);
            return forward.substr(0, forward.find("/fwd:"));
        }
        return "";
    }
    std::vector<std::string> Through(int serverPort) const {
        return {"--ssh", m_Ssh.Destination(), "--port", std::to_string(serverPort)};
    }

    testing_ssh::SshServer m_Ssh;
};

}  // namespace

TEST_F(CliSshTest, CommandsGoThroughTheTunnelFromOptionsOrProfile) {
    const int port = Server().port;
    auto args = Through(port);
    args.push_back("GetApps");
    Outcome o = Run(args, m_Ssh.Options());
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "demo\t1\tDemo shop\t30\n");
    // sshd forwarded each of login, command and logout to the devserver's port (its
    // session process logs through its monitor process, a moment later).
    const std::string channel = "target 127.0.0.1 port " + std::to_string(port);
    std::size_t count = 0;
    for (int i = 0; i < 100 && count < 3; ++i) {
        if (i > 0) ::usleep(20000);
        const std::string log = m_Ssh.Log();
        count = 0;
        for (std::size_t at = log.find(channel); at != std::string::npos;
             at = log.find(channel, at + 1))
            ++count;
    }
    EXPECT_EQ(count, 3u) << m_Ssh.Log();

    // The profile's SshHost does the same; --ssh would override it.
    const std::string profile = m_Ssh.File("remote.con");
    std::FILE* f = std::fopen(profile.c_str(), "w");
    std::fprintf(f,
                 "Name=remote\r\nIP1=127\r\nIP2=0\r\nIP3=0\r\nIP4=1\r\nPort=%d\r\n"
                 "UserName=admin\r\nUserPwd=\r\nSshHost=%s\r\n",
                 port, m_Ssh.Destination().c_str());
    std::fclose(f);
    o = Run({"--profile", profile, "GetUsers"}, m_Ssh.Options());
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("admin"), std::string::npos) << o.out;
}

TEST_F(CliSshTest, EachRefusalSaysWhichItWas) {
    const int port = Server().port;
    const int nobody = testing_ssh::FreePort();
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::vector<std::string> options;
        const char* path;
        std::string expected;
    } cases[] = {
        {"unknown host key", Through(port), m_Ssh.Options("empty_known_hosts"), nullptr,
         "The host key of " + m_Ssh.Destination() + " is not known (ED25519 key " +
             m_Ssh.HostKeyFingerprint() + ")"},
        {"changed host key", Through(port), m_Ssh.Options("changed_known_hosts"), nullptr,
         "The host key of " + m_Ssh.Destination() + " has changed (ED25519 key " +
             m_Ssh.HostKeyFingerprint() + ")"},
        {"wrong key", Through(port), m_Ssh.Options("known_hosts", "otherkey"), nullptr,
         "The SSH host " + m_Ssh.Destination() + " refused the authentication"},
        {"forward refused", Through(port), m_Ssh.Options("known_hosts", "restrictedkey"), nullptr,
         "The SSH host " + m_Ssh.Destination() + " refused to forward the connection to " +
             "127.0.0.1:" + std::to_string(port)},
        {"nothing behind", Through(nobody), m_Ssh.Options(), nullptr,
         "No application server listens at 127.0.0.1:" + std::to_string(nobody) +
             " behind the SSH host " + m_Ssh.Destination()},
        {"host unreachable",
         {"--ssh", "127.0.0.1:" + std::to_string(nobody), "--port", std::to_string(port)},
         m_Ssh.Options(),
         nullptr,
         "The SSH host 127.0.0.1:" + std::to_string(nobody) + " cannot be reached"},
        {"no ssh", Through(port), m_Ssh.Options(), "/nonexistent", "ssh is not installed"},
        {"passphrase without a terminal", Through(port), m_Ssh.Options("known_hosts", "phrasekey"),
         nullptr, "there is no terminal to ask it on"},
    };
    for (Case& c : cases) {
        c.args.push_back("GetApps");
        const Outcome o = Run(c.args, c.options, c.path);
        EXPECT_EQ(o.status, 3) << c.what;
        EXPECT_NE(o.err.find(c.expected), std::string::npos) << c.what << ": " << o.err;
        EXPECT_EQ(o.out, "") << c.what;
        EXPECT_TRUE(NoSshWithin(3000)) << c.what;
    }
    // The refused keys were never written into known_hosts.
    EXPECT_EQ(SlurpFile(m_Ssh.File("empty_known_hosts")), "");
}

TEST_F(CliSshTest, APassphraseIsAskedOnTheTerminalWithoutEcho) {
    auto args = Through(Server().port);
    args.push_back("GetApps");
    std::vector<std::string> words{std::getenv("QV_CLI"), "--user", "admin"};
    for (const std::string& o : m_Ssh.Options("known_hosts", "phrasekey"))
        words.insert(words.end(), {"--ssh-option", o});
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    int terminal = -1;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) {
        ::setenv("QUORVEL_PASSWORD", "pw", 1);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ASSERT_GT(pid, 0);
    std::string seen;
    bool answered = false;
    char buf[512];
    // Until the program ends (the terminal hangs up), or for 30 s at most.
    pollfd readable{terminal, POLLIN, 0};
    for (ssize_t n;
         ::poll(&readable, 1, 30000) > 0 && (n = ::read(terminal, buf, sizeof buf)) > 0;) {
        seen.append(buf, static_cast<std::size_t>(n));
        if (!answered && seen.find("Enter passphrase for key") != std::string::npos) {
            const std::string line = std::string(testing_ssh::SshServer::kPassphrase) + "\n";
            ASSERT_EQ(::write(terminal, line.data(), line.size()),
                      static_cast<ssize_t>(line.size()));
            answered = true;
        }
    }
    ::kill(pid, SIGKILL);  // should it still wait, the test fails, not hangs
    int status = -1;
    ::waitpid(pid, &status, 0);
    ::close(terminal);
    EXPECT_TRUE(answered) << seen;
    EXPECT_EQ(status, 0) << seen;
    EXPECT_NE(seen.find("demo\t1\tDemo shop\t30"), std::string::npos) << seen;
    EXPECT_EQ(seen.find(testing_ssh::SshServer::kPassphrase), std::string::npos) << "echoed";
}

TEST_F(CliSshTest, KilledProgramLeavesNoSsh) {
    // A server that takes the connection and never answers keeps the program waiting
    // with its tunnel standing.
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(silent, 4), 0);
    ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&a), &len), 0);
    const int silentPort = ntohs(a.sin_port);
    auto args = Through(silentPort);
    args.insert(args.end(), {"--timeout", "30", "GetApps"});
    const pid_t cli = Run(args, m_Ssh.Options(), nullptr, false).status;
    ASSERT_GT(cli, 0);
    const std::string channel = "target 127.0.0.1 port " + std::to_string(silentPort);
    for (int i = 0; i < 250 && m_Ssh.Log().find(channel) == std::string::npos; ++i) ::usleep(20000);
    ASSERT_NE(m_Ssh.Log().find(channel), std::string::npos) << m_Ssh.Log();
    EXPECT_EQ(m_Ssh.SshProcesses(), 1);
    const std::string folder = TunnelFolder();
    ::kill(cli, SIGKILL);
    ::waitpid(cli, nullptr, 0);
    EXPECT_TRUE(NoSshWithin(3000)) << "ssh outlived the killed program";
    ::close(silent);
    // The next tunnel clears the folder the killed one left.
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(std::filesystem::exists(folder));
    args = Through(Server().port);
    args.push_back("GetApps");
    EXPECT_EQ(Run(args, m_Ssh.Options()).status, 0);
    EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST_F(CliSshTest, ACommandCostsLittleMoreThroughAStandingTunnel) {
    // In this process, on the session core: one tunnel for all commands.
    Session.m_ServerAddress = net::MakeAddress(127, 0, 0, 1, Server().port);
    Credentials.m_UserName = "admin";
    Credentials.m_Password = "pw";
    constexpr int kRounds = 40;
    auto timeCommands = [&] {
        Session.m_SessionID = 0;
        EXPECT_EQ(Session.Execute(kCmdLogin), 0) << Session.GetErrorText();
        EXPECT_EQ(Session.ParseResponse(kCmdLogin), kLoginOk);
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kRounds; ++i) EXPECT_EQ(Session.Execute(kCmdGetApps), 0);
        const auto took = std::chrono::steady_clock::now() - start;
        Session.Execute(kCmdLogout);
        return std::chrono::duration<double, std::milli>(took).count() / kRounds;
    };
    Session.SetSshHost("");
    const double direct = timeCommands();
    Session.SetSshHost(m_Ssh.Destination());
    Session.SetSshOptions(m_Ssh.Options());
    const double tunnel = timeCommands();
    EXPECT_EQ(m_Ssh.SshProcesses(), 1) << "one tunnel for every command";
    std::printf("GetApps: %.2f ms direct, %.2f ms through the SSH tunnel (%.2f ms more)\n", direct,
                tunnel, tunnel - direct);
    EXPECT_LE(tunnel - direct, 20.0);
    Session.CloseTunnel();
    Session.SetSshHost("");
    Session.SetSshOptions({});
}
