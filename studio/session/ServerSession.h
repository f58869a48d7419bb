// The one session with the application server: one command per TCP connection, the
// command catalogue, and the parsing of answers into the shared lists and records.
#pragma once

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/FixedText.h"
#include "platform/net/SshTunnel.h"
#include "platform/net/TcpClient.h"
#include "platform/os/Files.h"
#include "studio/session/Records.h"
#include "vessel/Vessel.h"
#include "webproc/HttpProcessor.h"

// Command codes.
enum CommandCode : int {
    kCmdLogin = 1,
    kCmdLogout = 2,
    kCmdGetApps = 3,
    kCmdNewApp = 4,
    kCmdEditApp = 5,
    kCmdDeleteApp = 6,
    kCmdGetReqs = 7,
    kCmdNewReq = 8,
    kCmdEditReq = 9,
    kCmdDeleteReq = 10,
    kCmdGetReqParams = 11,
    kCmdSetReqParams = 12,
    kCmdGetReqUsers = 13,
    kCmdSetReqUsers = 14,
    kCmdGetReqScript = 15,
    kCmdSetReqScript = 16,
    kCmdGetDSs = 17,
    kCmdNewDS = 18,
    kCmdEditDS = 19,
    kCmdDeleteDS = 20,
    kCmdGetUsers = 21,
    kCmdNewUser = 22,
    kCmdEditUser = 23,
    kCmdDeleteUser = 24,
    kCmdGetHtmls = 25,
    kCmdGetImages = 26,
    kCmdGetData = 27,
    kCmdGetConfig = 28,
    kCmdSetConfig = 29,
    kCmdDownloadFile = 30,
    kCmdUploadFile = 31,
    kCmdDeleteFile = 32,
    kCmdRenameFile = 33,
    kCmdGetTrace = 34,
    kCmdCleanTrace = 35,
    kCmdGetConfigApps = 36,
    kCmdUnused = 37,
    kCmdUserPwd = 38,
    kCmdDSPwd = 39,
    kCmdGetFiles = 40,
    kCmdGetAppUsers = 41,
    kCmdSetAppUsers = 42,
};

// Result codes beyond 0 and -1.
inline constexpr int kServerErrorCode = 123;
inline constexpr int kLoginOk = 0;
inline constexpr int kLoginFailed = 111;
inline constexpr int kLoginUnknown = 999;

// Sizes of one exchange's working storage.
inline constexpr long kCommandTextSize = 10001;
inline constexpr long kReceiveBlock = 10000;
inline constexpr long kErrorTextWidth = 1023;
inline constexpr int kDefaultTimeoutMs = 60000;

// The catalogue's name of a command code ("GetApps", "server_login", ...); empty for
// 37 and codes outside 1 to 42.
const char* CommandName(int code);
// The code of a catalogue name, or 0.
int CommandCodeOf(const char* name);
// The codes whose answer is a table, and those whose answer is a document.
bool IsTableCode(int code);
bool IsDocumentCode(int code);
bool HasExtraBody(int code);

// The login's user name and password: the studio's connection settings hand them over
// before the login exchange.
struct LoginCredentials {
    FixedText<20> m_UserName;
    FixedText<20> m_Password;
};
extern LoginCredentials Credentials;

class ServerSession {
public:
    ServerSession();
    ~ServerSession();
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;

    // 0 the response is in m_Response; -1 no usable response; 1 the server reported an
    // error (m_ErrorText, m_ErrorCode).
    int Execute(int code);
    // The same exchange, watched: progress after every block sent and received (the
    // total once known, else 0), and what failed written into failure instead of being
    // reported, so a worker thread can run it and say afterwards what went wrong. A
    // document answer cut short is a failure here (-1).
    struct Observer {
        std::function<void(long long done, long long total)> progress;
        std::string failure;
    };
    int Execute(int code, Observer* observer);
    int ParseResponse(int code);
    // 0 after reading the table; -1 when the response holds no row (nothing touched).
    int ParseTable(int code);
    const char* GetErrorText() const { return m_ErrorText; }
    // What a person is told of the last error: the server's reason, the text after
    // "SERVER_ERROR" without the answer's header and markup; the whole error text when it
    // holds no such mark (a command refused here, before anything was sent).
    std::string GetErrorReason() const;
    // What failed and where when the last exchange got no usable response from the
    // network ("cannot connect to 127.0.0.1:8090: Connection refused"); empty otherwise.
    const std::string& GetTransportError() const { return m_TransportError; }
    // True when the last exchange's answer arrived whole: a header, and as many body
    // bytes as its Content-Length promises (without one, the server's close ended it).
    bool AnswerArrivedWhole() {
        const char* body = nullptr;
        long length = 0;
        return DocumentBody(&body, &length);
    }

    // Puts bytes into m_Response as though an exchange had received them whole, with the
    // same server-error check (tests, fuzzing, replaying a saved answer). Execute's result.
    int TakeResponse(const char* data, long size);

    // Formats the command text of code and its extra body, exactly as Execute sends
    // them. -1 when the text would not fit its storage or the upload's local file
    // cannot be read.
    int FormatCommand(int code, std::string& text, Vessel& extraBody);

    // Whether a document answer's file is waiting for ParseResponse (tests).
    bool DownloadPending() const { return m_Download.IsOpen(); }

    // Connect and idle receive time-outs in milliseconds (<= 0: wait as the system does).
    void SetTimeouts(int connectMs, int idleMs) {
        m_ConnectTimeoutMs = connectMs;
        m_IdleTimeoutMs = idleMs;
    }
    int GetConnectTimeout() const { return m_ConnectTimeoutMs; }
    int GetIdleTimeout() const { return m_IdleTimeoutMs; }

    // Reach the server through an SSH host ("[user@]host[:port]"; empty: straight to
    // m_ServerAddress), with ssh options "KEY=VALUE". m_ServerAddress is then the
    // server's address as that host sees it. One tunnel carries every command until the
    // host, the options or the address change, or CloseTunnel.
    void SetSshHost(const std::string& host);
    void SetSshOptions(const std::vector<std::string>& options) { m_SshOptions = options; }
    const std::string& GetSshHost() const { return m_SshHost; }
    // Who answers what ssh asks (passwords, passphrases, unknown host keys).
    void SetSshAsker(net::SshAsker ask) { m_SshAsker = std::move(ask); }
    void CloseTunnel() { m_Tunnel.Close(); }
    net::SshTunnel& Tunnel() { return m_Tunnel; }

    int m_Connected = 0;
    FixedText<99> m_Status;
    HttpProcessor m_Response;
    net::Ipv4Address m_ServerAddress;
    int m_Socket = 0;
    long m_SessionID = 0;
    FixedText<kErrorTextWidth> m_ErrorText;
    int m_ErrorCode = 0;

private:
    // Execute's work; Execute keeps every exception inside the session. Its steps:
    // refuse what cannot be sent and assemble the request, connect, send, receive a
    // list (any answer held in memory) or a document into its file, and look for the
    // server's error mark.
    struct Run;
    int Exchange(int code, Observer* observer);
    int Prepare(Run& run);
    // 0 connected, -1 not, 1 no socket could be made.
    int Connect(Run& run);
    int Send(Run& run);
    long ReceiveBlock(Run& run);
    void FindHeader(Run& run, long got);
    int ReceiveList(Run& run);
    int ReceiveDocument(Run& run);
    int FinishDownload(Run& run, int result);
    // The body of a document answer: false when it did not arrive whole.
    bool DocumentBody(const char** body, long* length);
    int CheckServerError();
    // FormatCommand; an upload's file is read into the extra body only with readUpload.
    int FormatText(int code, std::string& text, Vessel& extraBody, bool readUpload);
    // The file of a DownloadFile answer, written as it arrives; it replaces the target in
    // ParseResponse when the answer came whole without an error, and is removed otherwise.
    os::ReplacementFile m_Download;
    bool m_Streamed = false;   // the last answer was a download written to m_Download
    int m_ExchangeResult = 0;  // what the last Execute returned
    std::string m_TransportError;
    int m_ConnectTimeoutMs = kDefaultTimeoutMs;
    int m_IdleTimeoutMs = kDefaultTimeoutMs;
    // The tunnel stands for m_TunnelFor: host, options and address it was made for.
    int OpenTunnel();
    std::string m_SshHost;
    std::vector<std::string> m_SshOptions;
    net::SshAsker m_SshAsker;
    net::SshTunnel m_Tunnel;
    std::string m_TunnelFor;
    // The thread that made the first tunnel (the user interface's): ssh ends when it
    // does, and only it may ask the user something.
    std::thread::id m_TunnelThread;
};

// The studio's one session.
extern ServerSession Session;
