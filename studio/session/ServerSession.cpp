#include "studio/session/ServerSession.h"

#include <algorithm>
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
// A watched request is sent in slices of this size, each followed by a progress report.
constexpr long long kSendSlice = 256 * 1024;

}  // namespace

ServerSession::ServerSession() = default;

ServerSession::~ServerSession() {
    m_Response.m_Message.Free();
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
    return rc;
}

int ServerSession::Exchange(int code, Observer* observer) {
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
    // A command refused before connecting says why in the error text as well, so every
    // caller can show it.
    auto refuse = [this, &fail](const std::string& text) {
        m_ErrorText = text;
        return fail(text, false);
    };
    const char* const kNoMemory = "Not enough memory for the exchange!";

    Vessel& message = m_Response.m_Message;
    message.Free();
    m_Response.m_HttpType = 0;
    if (message.Alloc(50000, 5000) != 0) return refuse(kNoMemory);

    // Everything that can be refused is refused before a connection is opened, so a
    // refused command never reaches the server.
    std::string text;
    Vessel extra;
    Vessel request;
    if (extra.Alloc(50000, 5000) != 0 || request.Alloc(50000, 5000) != 0) return refuse(kNoMemory);
    if (FormatCommand(code, text, extra) != 0) return refuse(m_ErrorText.str());

    const bool hasExtra = HasExtraBody(code);
    const char* extraData = code == kCmdSetReqScript ? ReqScript.GetContent() : extra.GetContent();
    const long extraSize = code == kCmdSetReqScript ? ReqScript.GetSize() : extra.GetSize();
    long long bodyLength = static_cast<long long>(text.size());
    if (hasExtra) bodyLength += extraSize + 4;
    if (bodyLength > 0x7ffffff0LL) return refuse("The file is too large to send!");

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
    if (rc != 0) return refuse(kNoMemory);

    std::unique_ptr<char[]> block(new (std::nothrow) char[kReceiveBlock + 1]);
    if (!block) return refuse(kNoMemory);

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
            if (message.AddContent(block.get(), got) != 0) {
                result = fail("The answer does not fit in memory!", false);
                break;
            }
            if (observer && !headerSeen) {
                const long h = m_Response.GetHeaderLength();
                if (h > 0) {
                    headerSeen = true;
                    if (m_Response.HasContentLength()) expected = h + m_Response.GetContentLength();
                }
            }
            progress(message.GetSize(), expected);
            if (!m_Response.IsMoreData()) break;
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
    // may be any part of it.
    if (m_ExchangeResult < 0) return false;
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
