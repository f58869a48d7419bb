#include "studio/session/ServerSession.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "platform/os/LocalFile.h"

ServerSession Session;

namespace {

constexpr const char* kEnd = "\r\n\r\n";
// A watched request is sent in slices of this size, each followed by a progress report.
constexpr long long kSendSlice = 256 * 1024;
constexpr long kLargestBuffer = 0x7ffffffeL;  // a buffer's sizes are 32-bit
// What a header's Content-Length may reserve ahead; a larger answer grows as it comes,
// so a lying header cannot make the studio claim gigabytes up front.
constexpr long kLargestReserve = 256L * 1024 * 1024;

bool HeaderHasLength(const Vessel& m, long headerLength) {
    long pos = 0;
    if (m.Contains("Content-Length: ", &pos, 0) && pos < headerLength) return true;
    return m.Contains("Content-length: ", &pos, 0) && pos < headerLength;
}

// Gives the buffer room for at least want characters, keeping its content. A
// re-allocated buffer is a new message to the reader, which rescans it from its start.
int Reserve(Vessel& m, long want) {
    const long size = m.GetSize();
    if (want <= m.GetCapacity()) return 0;
    std::string keep(m.GetContent(), static_cast<std::size_t>(size));
    const long step = m.GetGrowStep() > 0 ? m.GetGrowStep() : 5000;
    if (m.Alloc(want, step) != 0 && m.Alloc(size > 0 ? size : 1, step) != 0) return -1;
    if (size > 0 && m.AddContent(keep.data(), size) != 0) return -1;
    return want <= m.GetCapacity() ? 0 : -1;
}

// Appends a received block. The buffer's own growth adds a fixed step, which makes a
// large answer cost a reallocation per block (quadratic in its size); here the storage
// at least doubles instead, so reading an answer stays linear.
int AppendBlock(Vessel& m, const char* data, long n) {
    const long size = m.GetSize();
    if (n > m.GetCapacity() - size) {
        long want = m.GetCapacity() * 2;
        if (want < size + n || want > kLargestBuffer) want = size + n;
        Reserve(m, want);  // on failure the buffer's own growth still gets its chance
    }
    return m.AddContent(data, n);
}

// The header tells the whole answer's size: room for all of it at once, so the body is
// copied only once. Only while the answer is short, since finding the header rescans it.
void ReserveForAnswer(HttpProcessor& r, bool& done) {
    Vessel& m = r.m_Message;
    if (done || m.GetSize() > 4 * kReceiveBlock) {
        done = true;
        return;
    }
    const long h = r.GetHeaderLength();
    if (h <= 0) return;
    done = true;
    if (!HeaderHasLength(m, h)) return;
    const long length = r.GetContentLength();
    if (length > 0 && length <= kLargestReserve - h) Reserve(m, h + length);
}

}  // namespace

ServerSession::ServerSession() = default;

ServerSession::~ServerSession() {
    m_Response.m_Message.Free();
}

int ServerSession::Execute(int code) {
    return Execute(code, nullptr);
}

int ServerSession::Execute(int code, Observer* observer) {
    m_ErrorText.Clear();
    m_ErrorCode = 0;
    m_ExchangeResult = -1;
    // Unwatched, a failure goes to the report hook (or to the caller's own message);
    // watched, it is kept for the observer.
    auto fail = [observer](const std::string& text, bool report) {
        if (observer) {
            if (observer->failure.empty()) observer->failure = text;
        } else if (report) {
            Report(text.c_str());
        }
        return -1;
    };
    auto progress = [observer](long long done, long long total) {
        if (observer && observer->progress) observer->progress(done, total);
    };
    const char* const kNoMemory = "Not enough memory for the exchange!";

    Vessel& message = m_Response.m_Message;
    message.Free();
    m_Response.m_HttpType = 0;
    if (message.Alloc(50000, 5000) != 0) return fail(kNoMemory, false);

    // Everything that can be refused is refused before a connection is opened, so a
    // refused command never reaches the server.
    if ((code == kCmdDownloadFile || code == kCmdUploadFile) && TransferKind == kTransferFiles) {
        std::string name = std::string(FolderPath.view()) + "\\" + TransferFileName.str();
        if (name.size() > TransferFileName.kWidth)
            return fail("The file name with its folder is too long!", false);
        TransferFileName = name;
    }
    std::string text;
    Vessel extra;
    Vessel request;
    if (extra.Alloc(50000, 5000) != 0 || request.Alloc(50000, 5000) != 0)
        return fail(kNoMemory, false);
    if (FormatCommand(code, text, extra) != 0)
        return fail(code == kCmdUploadFile
                        ? std::string("The local file cannot be read: ") + TransferLocalPath.c_str()
                        : std::string("The command does not fit its storage!"),
                    false);

    const bool hasExtra = HasExtraBody(code);
    const char* extraData = code == kCmdSetReqScript ? ReqScript.GetContent() : extra.GetContent();
    const long extraSize = code == kCmdSetReqScript ? ReqScript.GetSize() : extra.GetSize();
    long long bodyLength = static_cast<long long>(text.size());
    if (hasExtra) bodyLength += extraSize + 4;
    if (bodyLength > 0x7ffffff0LL) return fail("The file is too large to send!", false);

    char line[96];
    int rc = request.AddContent("DEV \r\n", 6);
    if (m_SessionID != 0) {
        int n = std::snprintf(line, sizeof line, "Cookie: jsessionid=%ld\r\n", m_SessionID);
        rc |= request.AddContent(line, n);
    }
    int n = std::snprintf(line, sizeof line, "Content-Length: %lld\r\n\r\n", bodyLength);
    rc |= request.AddContent(line, n);
    rc |= request.AddContent(text.data(), static_cast<long>(text.size()));
    if (hasExtra) {
        if (extraSize > 0) rc |= request.AddContent(extraData, extraSize);
        rc |= request.AddContent(kEnd, 4);
    }
    extra.Free();
    if (rc != 0) return fail(kNoMemory, false);

    std::unique_ptr<char[]> block(new (std::nothrow) char[kReceiveBlock + 1]);
    if (!block) return fail(kNoMemory, false);

    net::TcpClient client;
    if (client.Open() != 0) {
        char msg[64];
        std::snprintf(msg, sizeof msg, "socket() INVALID_SOCKET rc = %i", client.LastError());
        return fail(msg, true);
    }
    m_Socket = client.Handle();
    int result = 0;
    long long expected = 0;  // header and body, once the header has told
    if (client.Connect(m_ServerAddress, m_ConnectTimeoutMs) != 0) {
        // Unwatched, the caller reports it ("Server not found").
        result =
            fail("Server not found! (error " + std::to_string(client.LastError()) + ")", false);
    } else {
        // Watched, the request goes in slices so that the progress moves while it is sent.
        const long long toSend = request.GetSize();
        const long long slice = observer && observer->progress ? kSendSlice : toSend;
        for (long long sent = 0; sent < toSend && result == 0;) {
            const long long chunk = std::min(slice, toSend - sent);
            if (client.SendAll(request.GetContent() + sent, static_cast<std::size_t>(chunk),
                               m_IdleTimeoutMs) != 0) {
                char msg[96];
                std::snprintf(msg, sizeof msg, "send() SOCKET_ERROR rc = %i, m_Socket = %i",
                              client.LastError(), m_Socket);
                if (observer)
                    fail("Sending to the server failed (error " +
                             std::to_string(client.LastError()) + ")!",
                         true);
                else
                    Report(msg);
                result = -1;
                break;
            }
            sent += chunk;
            progress(sent, toSend);
        }
    }
    if (result == 0) {
        request.Free();
        bool reserved = false;
        bool headerSeen = false;
        for (;;) {
            long got = client.Receive(block.get(), static_cast<std::size_t>(kReceiveBlock),
                                      m_IdleTimeoutMs);
            if (got < 0) {
                result = fail(client.LastError() == net::TcpClient::TimeoutError()
                                  ? std::string("The server did not answer in time!")
                                  : "Receiving from the server failed (error " +
                                        std::to_string(client.LastError()) + ")!",
                              false);
                break;
            }
            if (got == 0) break;
            if (AppendBlock(message, block.get(), got) != 0) {
                result = fail("The answer does not fit in memory!", false);
                break;
            }
            if (observer && !headerSeen) {
                const long h = m_Response.GetHeaderLength();
                if (h > 0) {
                    headerSeen = true;
                    if (HeaderHasLength(message, h)) expected = h + m_Response.GetContentLength();
                }
            }
            progress(message.GetSize(), expected);
            if (!m_Response.IsMoreData()) break;
            ReserveForAnswer(m_Response, reserved);
        }
    }
    client.Close();
    m_Socket = 0;

    if (result == 0 && observer) {
        if (message.GetSize() == 0)
            result = fail("The server closed the connection without an answer!", false);
        else if (expected > 0 && message.GetSize() < expected)
            result = fail("The server's answer broke off!", false);
    }
    if (result == 0) result = CheckServerError();
    m_ExchangeResult = result;
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

int ServerSession::TakeResponse(const char* data, long size) {
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
}

bool ServerSession::DocumentBody(const char** body, long* length) {
    // Only a whole answer is a document: after a failed exchange the bytes that came
    // may be any part of it.
    if (m_ExchangeResult < 0) return false;
    const Vessel& m = m_Response.m_Message;
    const long size = m.GetSize();
    const long h = m_Response.GetHeaderLength();
    if (size == 0 || h <= 0 || h > size) return false;
    long l;
    if (HeaderHasLength(m, h)) {
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
}
