// A tunnel to a server behind an SSH host, made by the system's OpenSSH client, so that
// everything the user set up for ssh holds (~/.ssh/config, the agent, known_hosts).
// One ssh process per tunnel forwards a Unix socket in a folder only this user can
// enter to the server's address as the SSH host sees it; each connection to that
// socket is one channel of the same SSH connection. What ssh asks (passwords, host keys)
// comes back to the tunnel's maker: ssh runs this very program as its askpass helper,
// which relays the question before main starts (see SshTunnel.cpp).
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace net {

// What ssh asks while the tunnel is made: a password, a passphrase, or (hostKey) whether
// to trust a host key it does not know. true with the answer, or false to refuse;
// refusing may say why in answer (for example "no terminal to ask on").
using SshAsker = std::function<bool(const std::string& prompt, bool hostKey, std::string& answer)>;

struct SshDestination {
    std::string user;  // empty: as ssh's configuration says
    std::string host;
    int port = 0;  // 0: as ssh's configuration says
};
// Reads "[user@]host[:port]" (an IPv6 host in brackets). false when it is no such text,
// or would read as an option of ssh.
bool ParseSshDestination(const std::string& text, SshDestination& out);

class SshTunnel {
public:
    SshTunnel() = default;
    ~SshTunnel() { Close(); }
    SshTunnel(const SshTunnel&) = delete;
    SshTunnel& operator=(const SshTunnel&) = delete;

    // Starts ssh to sshHost ("[user@]host[:port]") with options ("KEY=VALUE", each passed
    // as -o), forwarding to targetHost:targetPort, and waits until the forward stands or
    // ssh gives up. The wait is bounded by timeoutMs (<= 0: 60 s), not counting the time
    // the asker takes. 0, or -1 with Error() saying why in words a user understands.
    int Open(const std::string& sshHost, const std::vector<std::string>& options,
             const std::string& targetHost, int targetPort, int timeoutMs, const SshAsker& ask);
    // true while the ssh process runs.
    bool IsOpen();
    // Ends ssh and removes the socket's folder.
    void Close();

    // The socket a connection to the server goes to.
    const std::string& SocketPath() const { return m_Socket; }
    const std::string& Error() const { return m_Error; }
    void SetError(const std::string& text) { m_Error = text; }
    pid_t Pid() const { return m_Pid; }
    // After a connection through the tunnel brought nothing back: why, as ssh said it
    // since the last call (the SSH host refused the forward, nothing listens behind it,
    // the SSH connection ended); "" when ssh said nothing about it.
    std::string ChannelFailure();

private:
    int Fail(const std::string& text);
    // ssh's words since the last look, from its error output.
    std::string NewLog();
    // ssh ended before the forward stood: why.
    std::string Explain(const std::string& log) const;
    void AnswerAsker(int listener, const SshAsker& ask, long long& askedMs);

    pid_t m_Pid = -1;
    std::string m_Dir;
    std::string m_Socket;
    std::string m_Log;
    long long m_LogRead = 0;
    std::string m_Host;    // as the user wrote it, for messages
    std::string m_Target;  // host:port behind it
    std::string m_Error;
    std::string m_UnknownKey;  // the prompt for a host key that was not accepted
    std::string m_Unanswered;  // why a question of ssh went unanswered
};

// An asker for programs run in a terminal: asks on the terminal (without echo for a
// password), refuses unknown host keys, and refuses with a reason when there is no
// terminal (batch use).
bool AskOnTerminal(const std::string& prompt, bool hostKey, std::string& answer);

}  // namespace net
