#include "studio/session/ServerSession.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "common/NoThrow.h"
#include "platform/os/LocalFile.h"

ServerSession Session;

namespace {

constexpr const char* kEnd = "\r\n\r\n";
// A watched request is sent in slices of this size, each followed by a progress report;
// an uploaded file is read and sent in blocks of this size.
constexpr long long kSendSlice = 256 * 1024;
// What a streamed download keeps of its answer in memory: the header and the start of
// the body, enough for the error text and for every question asked of the header.
constexpr long kKeptBody = 64 * 1024;
constexpr long kLongestHeader = 64 * 1024;
constexpr char kErrorMark[] = "SERVER_ERROR";
constexpr std::size_t kErrorMarkLength = sizeof kErrorMark - 1;

// Finds the server's error mark in an answer that passes in blocks, also where it is
// split across two of them.
class ErrorMarkScanner {
public:
    void Feed(const char* data, std::size_t n) {
        if (m_Found || n == 0) return;
        const std::string_view block(data, n);
        const std::string border = m_Tail + std::string(block.substr(0, kErrorMarkLength - 1));
        if (border.find(kErrorMark) != std::string::npos ||
            block.find(kErrorMark) != std::string_view::npos) {
            m_Found = true;
            return;
        }
        m_Tail += block.substr(n > kErrorMarkLength ? n - kErrorMarkLength : 0);
        if (m_Tail.size() > kErrorMarkLength - 1)
            m_Tail.erase(0, m_Tail.size() - (kErrorMarkLength - 1));
    }
    bool Found() const { return m_Found; }

private:
    std::string m_Tail;  // the last bytes fed, too few to hold the mark
    bool m_Found = false;
};

// "cannot connect to 127.0.0.1:8090: Connection refused": the step, the address and the
// system's words for the error.
std::string TransportError(const char* step, const net::Ipv4Address& a, int error) {
    char text[160];
    std::snprintf(text, sizeof text, "cannot %s %d.%d.%d.%d:%d: %s", step, a.addr[0], a.addr[1],
                  a.addr[2], a.addr[3], net::NetworkToHost(a.port), std::strerror(error));
    return text;
}

}  // namespace

ServerSession::ServerSession() = default;

ServerSession::~ServerSession() {
    m_Tunnel.Close();
    m_Response.m_Message.Free();
}

void ServerSession::SetSshHost(const std::string& host) {
    // Another way to the server: the old tunnel has no more use.
    if (host != m_SshHost) m_Tunnel.Close();
    m_SshHost = host;
}

int ServerSession::OpenTunnel() {
    char target[24];
    std::snprintf(target, sizeof target, "%u.%u.%u.%u", m_ServerAddress.addr[0],
                  m_ServerAddress.addr[1], m_ServerAddress.addr[2], m_ServerAddress.addr[3]);
    const int port = net::NetworkToHost(m_ServerAddress.port);
    std::string key = m_SshHost + '\n' + target + ':' + std::to_string(port);
    for (const std::string& o : m_SshOptions) key += '\n' + o;
    if (key == m_TunnelFor && m_Tunnel.IsOpen()) return 0;
    m_TunnelFor.clear();
    // A worker (a transfer) does not make the tunnel again: ssh would end with the
    // worker, and ssh's questions would be asked off the user interface's thread.
    if (m_TunnelThread != std::thread::id() && m_TunnelThread != std::this_thread::get_id()) {
        m_Tunnel.Close();
        m_Tunnel.SetError("The SSH connection to " + m_SshHost + " has ended: connect again");
        return -1;
    }
    m_TunnelThread = std::this_thread::get_id();
    if (m_Tunnel.Open(m_SshHost, m_SshOptions, target, port, m_ConnectTimeoutMs, m_SshAsker) != 0)
        return -1;
    m_TunnelFor = key;
    return 0;
}

int ServerSession::Execute(int code) {
    return Execute(code, nullptr);
}

int ServerSession::Execute(int code, Observer* observer) {
    const int rc = NoThrow(
        [&] {
            const int result = Exchange(code, observer);
            m_ExchangeResult = result;
            return result;
        },
        -1);
    m_Socket = 0;
    if (rc != 0) m_Download.Discard();
    return rc;
}

// One exchange's working state, shared by its steps: what it sends, the connection, and
// how far sending and receiving have come.
struct ServerSession::Run {
    Run(int c, Observer* o)
        : code(c),
          observer(o),
          uploadFile(c == kCmdUploadFile),
          downloadFile(c == kCmdDownloadFile) {}

    // Unwatched, a failure goes to the report hook (or to the caller's own message);
    // watched, it is kept for the observer.
    int Fail(const std::string& text, bool report) {
        if (observer) {
            if (observer->failure.empty()) observer->failure = text;
        } else if (report) {
            Report(text.c_str());
        }
        return -1;
    }
    void Progress(long long done, long long total) {
        if (observer && observer->progress) observer->progress(done, total);
    }

    const int code;
    Observer* const observer;
    const bool uploadFile;
    const bool downloadFile;
    Vessel request;  // everything sent but an upload's file and its final CR LF CR LF
    os::FileReader upload;
    long long requestSize = 0;  // with the upload's file
    std::unique_ptr<char[]> block;
    net::TcpClient client;
    long long sent = 0;
    long long fileSent = 0;
    long long received = 0;
    long long expected = 0;  // header and body, once the header has told
    long headerLength = 0;
    bool viaTunnel = false;
    // Of a streamed download: whether its header gives a length, the length, what of
    // the body went to the file, and the server's error mark anywhere in the answer.
    bool hasLength = false;
    long long documentLength = 0;
    long long bodyWritten = 0;
    ErrorMarkScanner marks;
};

int ServerSession::Exchange(int code, Observer* observer) {
    m_ErrorText.Clear();
    m_ErrorCode = 0;
    m_ExchangeResult = -1;
    m_TransportError.clear();
    m_Download.Discard();
    m_Streamed = false;
    Run run(code, observer);
    int result = Prepare(run);
    if (result != 0) return result;
    result = Connect(run);
    if (result == 1) return -1;  // no socket: nothing to close
    if (result == 0) result = Send(run);
    if (result == 0) {
        run.request.Free();
        result = run.downloadFile ? ReceiveDocument(run) : ReceiveList(run);
    }
    run.client.Close();
    m_Socket = 0;
    // The tunnel takes every connection and closes it when the SSH host could not reach
    // the server: ssh's own words say which it was.
    if (result <= 0 && run.viaTunnel && run.received == 0) {
        const std::string why = m_Tunnel.ChannelFailure();
        if (!why.empty()) {
            m_ErrorText = why;
            m_TransportError = why;
            result = run.Fail(why, false);
        }
    }

    if (result == 0 && observer) {
        if (run.received == 0)
            result = run.Fail("The server closed the connection without an answer!", false);
        else if (run.expected > 0 && run.received < run.expected)
            result = run.Fail("The server's answer broke off!", false);
    }
    if (!run.downloadFile) {
        if (result == 0) result = CheckServerError();
        return result;
    }
    return FinishDownload(run, result);
}

int ServerSession::Prepare(Run& run) {
    // A command refused before connecting says why in the error text as well, so every
    // caller can show it.
    auto refuse = [this, &run](const std::string& text) {
        m_ErrorText = text;
        return run.Fail(text, false);
    };
    const char* const kNoMemory = "Not enough memory for the exchange!";
    const int code = run.code;

    Vessel& message = m_Response.m_Message;
    message.Free();
    m_Response.m_HttpType = 0;
    if (message.Alloc(50000, 5000) != 0) return refuse(kNoMemory);

    // Everything that can be refused is refused before a connection is opened, so a
    // refused command never reaches the server. A file goes from disk to the socket and
    // from the socket to disk in blocks, so memory does not grow with its size.
    std::string text;
    Vessel extra;
    Vessel& request = run.request;
    if (extra.Alloc(50000, 5000) != 0 || request.Alloc(50000, 5000) != 0) return refuse(kNoMemory);
    if (FormatText(code, text, extra, !run.uploadFile) != 0) return refuse(m_ErrorText.str());
    if (run.uploadFile && run.upload.Open(TransferLocalPath.c_str()) != 0)
        return refuse(std::string("The local file cannot be read: ") + TransferLocalPath.c_str());
    if (run.downloadFile && m_Download.Open(TransferLocalPath.c_str()) != 0)
        return refuse(std::string("The local file cannot be written: ") +
                      TransferLocalPath.c_str());

    const bool hasExtra = HasExtraBody(code);
    const char* extraData = code == kCmdSetReqScript ? ReqScript.GetContent() : extra.GetContent();
    const long long extraSize = run.uploadFile             ? run.upload.Size()
                                : code == kCmdSetReqScript ? ReqScript.GetSize()
                                                           : extra.GetSize();
    long long bodyLength = static_cast<long long>(text.size());
    if (hasExtra) bodyLength += extraSize + 4;

    char line[96];
    int rc = request.AddContent("DEV \r\n", 6);
    if (m_SessionID != 0) {
        int n = std::snprintf(line, sizeof line, "Cookie: jsessionid=%ld\r\n", m_SessionID);
        rc |= request.AddContent(line, n);
    }
    int n = std::snprintf(line, sizeof line, "Content-Length: %lld\r\n\r\n", bodyLength);
    rc |= request.AddContent(line, n);
    rc |= request.AddContent(text.data(), static_cast<long>(text.size()));
    if (hasExtra && !run.uploadFile) {
        if (extraSize > 0) rc |= request.AddContent(extraData, static_cast<long>(extraSize));
        rc |= request.AddContent(kEnd, 4);
    }
    extra.Free();
    if (rc != 0) return refuse(kNoMemory);
    run.requestSize = request.GetSize() + (run.uploadFile ? run.upload.Size() + 4 : 0);

    run.block.reset(new (std::nothrow) char[kReceiveBlock + 1]);
    if (!run.block) return refuse(kNoMemory);
    return 0;
}

int ServerSession::Connect(Run& run) {
    net::TcpClient& client = run.client;
    if (!m_SshHost.empty()) {
        // Through the SSH host: the tunnel's near end is a socket of this machine.
        if (OpenTunnel() != 0) {
            m_ErrorText = m_Tunnel.Error();
            m_TransportError = m_Tunnel.Error();
            return run.Fail(m_Tunnel.Error(), false);
        }
        run.viaTunnel = true;
        // ssh names its socket a moment before it listens on it.
        int tries = 0;
        while (client.ConnectLocal(m_Tunnel.SocketPath().c_str()) != 0 &&
               client.LastError() == ECONNREFUSED && ++tries < 20 && m_Tunnel.IsOpen())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!client.IsOpen()) {
            m_ErrorText = "The SSH tunnel to " + m_SshHost + " does not take connections (error " +
                          std::to_string(client.LastError()) + ")";
            m_TransportError = m_ErrorText.str();
            return run.Fail(m_ErrorText.str(), false);
        }
        m_Socket = client.Handle();
        return 0;
    }
    if (client.Open() != 0) {
        char msg[64];
        std::snprintf(msg, sizeof msg, "socket() INVALID_SOCKET rc = %i", client.LastError());
        run.Fail(msg, true);
        return 1;
    }
    m_Socket = client.Handle();
    if (client.Connect(m_ServerAddress, m_ConnectTimeoutMs) != 0) {
        m_TransportError = TransportError("connect to", m_ServerAddress, client.LastError());
        // Unwatched, the caller reports it ("Server not found").
        return run.Fail("Server not found! (error " + std::to_string(client.LastError()) + ")",
                        false);
    }
    return 0;
}

int ServerSession::Send(Run& run) {
    net::TcpClient& client = run.client;
    auto sendFailed = [&] {
        m_TransportError = TransportError("send to", m_ServerAddress, client.LastError());
        char msg[96];
        std::snprintf(msg, sizeof msg, "send() SOCKET_ERROR rc = %i, m_Socket = %i",
                      client.LastError(), m_Socket);
        if (run.observer)
            run.Fail(
                "Sending to the server failed (error " + std::to_string(client.LastError()) + ")!",
                true);
        else
            Report(msg);
        return -1;
    };
    // Watched, the request goes in slices so that the progress moves while it is sent.
    // sendSlice sends the next n bytes. An upload's progress counts the file's bytes
    // alone, not the command around them.
    auto sendInSlices = [&](long long size,
                            const std::function<int(long long, long long)>& sendSlice,
                            bool fileBytes = false) {
        const long long slice = run.observer && run.observer->progress ? kSendSlice : size;
        for (long long done = 0; done < size;) {
            const long long chunk = std::min(slice, size - done);
            if (sendSlice(done, chunk) != 0) return -1;
            done += chunk;
            run.sent += chunk;
            if (fileBytes) run.fileSent += chunk;
            if (fileBytes)
                run.Progress(run.fileSent, run.upload.Size());
            else if (!run.uploadFile)
                run.Progress(run.sent, run.requestSize);
        }
        return 0;
    };
    auto sendBytes = [&](const char* data, long long size) {
        return sendInSlices(size, [&](long long at, long long n) {
            return client.SendAll(data + at, static_cast<std::size_t>(n), m_IdleTimeoutMs) == 0
                       ? 0
                       : sendFailed();
        });
    };
    int result = sendBytes(run.request.GetContent(), run.request.GetSize());
    if (result != 0 || !run.uploadFile) return result;
    // The file goes from disk to the socket without passing through memory.
    result = sendInSlices(
        run.upload.Size(),
        [&](long long, long long n) {
            if (client.SendFile(run.upload.Handle(), n, m_IdleTimeoutMs) == 0) return 0;
            // A file that became shorter: the connection closes before the request is
            // complete, so the server never takes a part for the whole.
            if (client.LastError() == EIO)
                return run.Fail("The local file changed while it was sent!", false);
            return sendFailed();
        },
        true);
    if (result == 0) result = sendBytes(kEnd, 4);
    return result;
}

long ServerSession::ReceiveBlock(Run& run) {
    const long got = run.client.Receive(run.block.get(), static_cast<std::size_t>(kReceiveBlock),
                                        m_IdleTimeoutMs);
    if (got < 0) {
        m_TransportError = TransportError("receive from", m_ServerAddress, run.client.LastError());
        return run.Fail(run.client.LastError() == net::TcpClient::TimeoutError()
                            ? std::string("The server did not answer in time!")
                            : "Receiving from the server failed (error " +
                                  std::to_string(run.client.LastError()) + ")!",
                        false);
    }
    run.received += got;
    return got;
}

// Looks for the end of the header in what arrived so far; a header that has not ended
// within its longest size is not looked for again (each look rescans the answer).
void ServerSession::FindHeader(Run& run, long got) {
    if (run.headerLength != 0 || m_Response.m_Message.GetSize() - got >= kLongestHeader) return;
    run.headerLength = m_Response.GetHeaderLength();
    if (run.headerLength > 0 && m_Response.HasContentLength()) {
        run.hasLength = true;
        run.documentLength = m_Response.GetContentLength();
        run.expected = run.headerLength + run.documentLength;
    }
}

int ServerSession::ReceiveList(Run& run) {
    Vessel& message = m_Response.m_Message;
    for (;;) {
        const long got = ReceiveBlock(run);
        if (got < 0) return -1;
        if (got == 0) return 0;
        if (message.AddContent(run.block.get(), got) != 0)
            return run.Fail("The answer does not fit in memory!", false);
        FindHeader(run, got);
        // An upload's answer is no part of its file.
        if (!run.uploadFile) run.Progress(run.received, run.expected);
        if (!m_Response.IsMoreData()) return 0;
    }
}

int ServerSession::ReceiveDocument(Run& run) {
    Vessel& message = m_Response.m_Message;
    // What a streamed download keeps in memory: the header and the start of the body.
    for (;;) {
        const long got = ReceiveBlock(run);
        if (got < 0) return -1;
        if (got == 0) return 0;
        const char* data = run.block.get();
        long bodyBytes = 0;  // of this block
        if (run.headerLength == 0) {
            if (message.AddContent(data, got) != 0)
                return run.Fail("The answer does not fit in memory!", false);
            if (message.GetSize() - got < kLongestHeader) {
                FindHeader(run, got);
                if (run.headerLength > 0) bodyBytes = message.GetSize() - run.headerLength;
                if (run.headerLength == 0 && message.GetSize() > kLongestHeader)
                    return run.Fail("The server's answer has no end of its header!", false);
            }
        } else {
            bodyBytes = got;
            const long room = run.headerLength + kKeptBody - message.GetSize();
            if (room > 0 && message.AddContent(data, std::min(room, got)) != 0)
                return run.Fail("The answer does not fit in memory!", false);
        }
        run.marks.Feed(data, static_cast<std::size_t>(got));
        // Bytes after the announced length are no part of the file.
        long long keep = bodyBytes;
        if (run.hasLength)
            keep = std::max(0LL, std::min(keep, run.documentLength - run.bodyWritten));
        if (keep > 0 && !run.marks.Found() &&
            m_Download.Write(data + (got - bodyBytes), static_cast<std::size_t>(keep)) != 0) {
            m_ErrorText = std::string("The local file cannot be written: ") + TransferLocalPath.c_str();
            return run.Fail(m_ErrorText.str(), false);
        }
        run.bodyWritten += keep;
        // The progress counts the file's bytes, not the answer's header.
        if (run.headerLength > 0)
            run.Progress(run.bodyWritten, run.hasLength ? run.documentLength : 0);
        // The same rule as IsMoreData's: a length of 0 reads until the server closes.
        if (run.hasLength && run.documentLength != 0 && run.bodyWritten >= run.documentLength)
            return 0;
    }
}

int ServerSession::FinishDownload(Run& run, int result) {
    // A streamed download: the file becomes the target only in ParseResponse, and only
    // when the answer came whole and is no error.
    m_Streamed = true;
    const Vessel& message = m_Response.m_Message;
    if (result == 0 && run.marks.Found()) {
        const long n = std::min(message.GetSize(), kErrorTextWidth);
        m_ErrorText = std::string_view(message.GetContent(), static_cast<std::size_t>(n));
        m_ErrorCode = kServerErrorCode;
        result = 1;
    }
    const bool whole =
        run.headerLength > 0 &&
        (!run.hasLength || (run.documentLength >= 0 && run.bodyWritten == run.documentLength));
    if (result != 0 || !whole) m_Download.Discard();
    return result;
}

int ServerSession::CheckServerError() {
    const Vessel& message = m_Response.m_Message;
    if (message.GetSize() == 0 || !message.Contains("SERVER_ERROR", nullptr, 0)) return 0;
    long n = message.GetSize() < kErrorTextWidth ? message.GetSize() : kErrorTextWidth;
    m_ErrorText = std::string_view(message.GetContent(), static_cast<std::size_t>(n));
    m_ErrorCode = kServerErrorCode;
    return 1;
}

std::string ServerSession::GetErrorReason() const {
    const std::string_view text = m_ErrorText.view();
    const std::size_t mark = text.find(kErrorMark);
    if (mark == std::string_view::npos) return std::string(text);
    std::string_view rest = text.substr(mark + kErrorMarkLength);
    // Tags are a "<" before a letter, "/" or "!"; a reason may well hold a lone "<".
    std::string reason;
    bool blank = false;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const char c = rest[i];
        if (c == '<' && i + 1 < rest.size() &&
            (std::isalpha(static_cast<unsigned char>(rest[i + 1])) || rest[i + 1] == '/' ||
             rest[i + 1] == '!')) {
            const std::size_t close = rest.find('>', i);
            if (close != std::string_view::npos) {
                i = close;
                blank = true;
                continue;
            }
        }
        if (std::isspace(static_cast<unsigned char>(c))) {
            blank = true;
            continue;
        }
        if (reason.empty() && c == ':') continue;
        if (blank && !reason.empty()) reason += ' ';
        blank = false;
        reason += c;
    }
    return reason.empty() ? std::string(text) : reason;
}

int ServerSession::TakeResponse(const char* data, long size) {
    return NoThrow(
        [&]() -> int {
            m_ErrorText.Clear();
            m_ErrorCode = 0;
            m_ExchangeResult = -1;
            Vessel& message = m_Response.m_Message;
            message.Free();
            m_Response.m_HttpType = 0;
            if (message.Alloc(size > 50000 ? size : 50000, 5000) != 0) return -1;
            if (size > 0 && message.AddContent(data, size) != 0) return -1;
            m_ExchangeResult = CheckServerError();
            return m_ExchangeResult;
        },
        -1);
}

bool ServerSession::DocumentBody(const char** body, long* length) {
    // Only a whole answer is a document: after a failed exchange the bytes that came
    // may be any part of it. A streamed download is whole when its file is.
    if (m_ExchangeResult < 0) return false;
    if (m_Streamed) {
        *body = nullptr;
        *length = 0;
        return m_Download.IsOpen();
    }
    const Vessel& m = m_Response.m_Message;
    const long size = m.GetSize();
    const long h = m_Response.GetHeaderLength();
    if (size == 0 || h <= 0 || h > size) return false;
    long l;
    if (m_Response.HasContentLength()) {
        l = m_Response.GetContentLength();
        // A negative length, or one that promises more than arrived (the server
        // closed early), is no document.
        if (l < 0 || l > size - h) return false;
    } else {
        // Without Content-Length the server's close ended the answer.
        l = size - h;
    }
    *body = m.GetContent() + h;
    *length = l;
    return true;
}

int ServerSession::ParseResponse(int code) {
    return NoThrow(
        [&]() -> int {
            Vessel& m = m_Response.m_Message;
            if (code == kCmdLogin) {
                m_SessionID = m_Response.GetSessionID();
                LoginUserID = m_Response.GetUserID();
                if (m.GetSize() > 0 && m.Contains("Login OK!", nullptr, 0)) return kLoginOk;
                if (m.GetSize() > 0 && m.Contains("Login failed!", nullptr, 0)) return kLoginFailed;
                return kLoginUnknown;
            }
            if (IsTableCode(code)) {
                if (m_ErrorCode != 0) return m_ErrorCode;
                ParseTable(code);
                return 0;
            }
            if (!IsDocumentCode(code)) return 0;
            if (m_ErrorCode != 0) return m_ErrorCode;
            if (code == kCmdDownloadFile && m_Streamed) {
                // Execute kept the file only when it came whole: now it replaces the target.
                return m_Download.IsOpen() ? m_Download.Commit() : -1;
            }

            const char* body = nullptr;
            long length = 0;
            if (!DocumentBody(&body, &length)) return -1;
            if (code == kCmdGetReqScript || code == kCmdGetTrace) {
                Vessel& target = code == kCmdGetReqScript ? ReqScript : TraceText;
                if (target.Alloc(length > 0 ? length : 1, 5000) != 0) return -1;
                if (length > 0 && target.AddContent(body, length) != 0) {
                    target.Free();
                    return -1;
                }
                return 0;
            }
            Vessel work;
            if (work.Alloc(length > 0 ? length : 1, 5000) != 0) return -1;
            if (length > 0 && work.AddContent(body, length) != 0) return -1;
            int rc = WriteLocalFile(TransferLocalPath.c_str(), work);
            work.Free();
            return rc;
        },
        -1);
}
