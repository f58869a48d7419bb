// OpenSSH's sshd for tests: started on a free loopback port as the user running the
// tests, with a host key, a configuration and authorised keys of its own, all made in a
// temporary folder (never the system's). Also the known_hosts files and client keys
// the tests connect with, and a look at which ssh processes are left.
#pragma once

#include <dirent.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testing_ssh {

inline std::string SlurpFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline bool OnPath(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

inline const char* SshdProgram() {
    return "/usr/sbin/sshd";
}

// What the SSH tests need and this machine lacks; empty when all is there.
inline std::string Missing() {
    if (!OnPath("ssh")) return "ssh (openssh-client)";
    if (!OnPath("ssh-keygen")) return "ssh-keygen (openssh-client)";
    if (::access(SshdProgram(), X_OK) != 0) return "sshd (openssh-server)";
    return "";
}

// A loopback port nobody listens on right now.
inline int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

// The ssh processes whose command line names folder: the tunnels of a test.
inline int SshProcessesFor(const std::string& folder) {
    int count = 0;
    DIR* proc = ::opendir("/proc");
    if (!proc) return 0;
    while (dirent* e = ::readdir(proc)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        const std::string cmd = SlurpFile(std::string("/proc/") + e->d_name + "/cmdline");
        const std::string argv0 = cmd.substr(0, cmd.find('\0'));
        if ((argv0 == "ssh" || argv0.ends_with("/ssh")) && cmd.find(folder) != std::string::npos) {
            // A process that has ended but is not yet reaped is gone for this purpose.
            const std::string stat = SlurpFile(std::string("/proc/") + e->d_name + "/stat");
            const std::size_t close = stat.rfind(')');
            if (close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z')
                continue;
            ++count;
        }
    }
    ::closedir(proc);
    return count;
}

class SshServer {
public:
    // Of the authorised key "phrasekey".
    static constexpr const char* kPassphrase = "open sesame";

    SshServer() {
        if (!(m_Error = Missing()).empty()) {
            m_Error = "not installed: " + m_Error;
            return;
        }
        char tmpl[] = "/tmp/qv-sshd-XXXXXX";
        if (!::mkdtemp(tmpl)) {
            m_Error = "no temporary folder";
            return;
        }
        m_Dir = tmpl;
        if (const passwd* pw = ::getpwuid(::geteuid())) m_User = pw->pw_name;
        // sshd run by root wants its privilege separation folder.
        if (::geteuid() == 0) ::mkdir("/run/sshd", 0755);
        for (const char* key : {"hostkey", "userkey", "otherkey", "restrictedkey"})
            if (!Run("ssh-keygen -q -t ed25519 -N '' -C test -f '" + File(key) + "'")) {
                m_Error = "ssh-keygen failed";
                return;
            }
        if (!Run("ssh-keygen -q -t ed25519 -N '" + std::string(kPassphrase) + "' -C test -f '" +
                 File("phrasekey") + "'")) {
            m_Error = "ssh-keygen failed";
            return;
        }
        const std::string hostKey = PublicKey("hostkey");
        Write("authorized_keys", PublicKey("userkey") + "\nrestrict " + PublicKey("restrictedkey") +
                                     "\n" + PublicKey("phrasekey") + "\n");
        m_Port = FreePort();
        const std::string hostName = "[127.0.0.1]:" + std::to_string(m_Port);
        Write("known_hosts", hostName + " " + hostKey + "\n");
        Write("changed_known_hosts", hostName + " " + PublicKey("otherkey") + "\n");
        Write("empty_known_hosts", "");
        Write("sshd_config", "Port " + std::to_string(m_Port) +
                                 "\nListenAddress 127.0.0.1\nHostKey " + File("hostkey") +
                                 "\nAuthorizedKeysFile " + File("authorized_keys") +
                                 "\nPidFile none\nStrictModes no\nUsePAM no\n"
                                 "PasswordAuthentication no\nKbdInteractiveAuthentication no\n"
                                 "PermitRootLogin prohibit-password\nAllowTcpForwarding yes\n"
                                 "LogLevel DEBUG1\n");
        m_Pid = ::fork();
        if (m_Pid == 0) {
            const std::string config = File("sshd_config"), log = File("sshd.log");
            ::execl(SshdProgram(), SshdProgram(), "-D", "-f", config.c_str(), "-E", log.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 200; ++i) {
            if (Log().find("Server listening") != std::string::npos) return;
            int status = 0;
            if (::waitpid(m_Pid, &status, WNOHANG) == m_Pid) {
                m_Pid = -1;
                break;
            }
            ::usleep(25000);
        }
        m_Error = "sshd did not start: " + Log();
    }
    ~SshServer() {
        if (m_Pid > 0) {
            ::kill(m_Pid, SIGTERM);
            int status = 0;
            ::waitpid(m_Pid, &status, 0);
        }
        if (!m_Dir.empty()) Run("rm -rf '" + m_Dir + "'");
    }
    SshServer(const SshServer&) = delete;
    SshServer& operator=(const SshServer&) = delete;

    // Empty when sshd listens.
    const std::string& Error() const { return m_Error; }
    int Port() const { return m_Port; }
    // The destination the tests give: "user@127.0.0.1:port".
    std::string Destination() const { return m_User + "@127.0.0.1:" + std::to_string(m_Port); }
    std::string File(const std::string& name) const { return m_Dir + "/" + name; }
    const std::string& Dir() const { return m_Dir; }
    // ssh options that take the known hosts and the key from this folder, and nothing of
    // the user's own (agent, default keys).
    std::vector<std::string> Options(const std::string& knownHosts = "known_hosts",
                                     const std::string& key = "userkey") const {
        return {"UserKnownHostsFile=" + File(knownHosts), "IdentityFile=" + File(key),
                "IdentitiesOnly=yes", "IdentityAgent=none"};
    }
    std::string Log() const { return SlurpFile(File("sshd.log")); }
    // "SHA256:..." of the host key, as ssh shows it.
    std::string HostKeyFingerprint() const {
        const std::string out = File("fingerprint");
        Run("ssh-keygen -l -f '" + File("hostkey.pub") + "' > '" + out + "'");
        const std::string text = SlurpFile(out);
        const std::size_t at = text.find("SHA256:");
        return at == std::string::npos ? "" : text.substr(at, text.find(' ', at) - at);
    }
    int SshProcesses() const { return SshProcessesFor(m_Dir); }

private:
    static bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(File(name), std::ios::binary | std::ios::trunc) << text;
        ::chmod(File(name).c_str(), 0600);
    }
    // "ssh-ed25519 AAAA..." without the comment.
    std::string PublicKey(const std::string& key) const {
        std::string text = SlurpFile(File(key + ".pub"));
        const std::size_t second = text.find(' ', text.find(' ') + 1);
        return text.substr(0, second);
    }

    std::string m_Error;
    std::string m_Dir;
    std::string m_User = "root";
    int m_Port = 0;
    pid_t m_Pid = -1;
};

}  // namespace testing_ssh
