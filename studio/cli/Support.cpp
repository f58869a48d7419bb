#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/os/System.h"
#include "studio/cli/Cli.h"
#include "studio/session/ServerSession.h"

namespace cli {

void Usage(const std::string& text) {
    throw UsageError{text};
}

void LocalFailure(const std::string& text) {
    throw LocalError{text};
}

void JsonString(std::string& out, std::string_view s) {
    const std::string valid = os::Utf16ToUtf8(os::Utf8ToUtf16(s));
    out += '"';
    for (unsigned char c : valid) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char esc[8];
                    std::snprintf(esc, sizeof esc, "\\u%04x", c);
                    out += esc;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

void JsonBytes(std::string& out, std::string_view key, std::string_view bytes) {
    JsonString(out, key);
    out += ':';
    if (os::IsUtf8(bytes)) {
        JsonString(out, bytes);
        out += ",\"Base64\":false";
        return;
    }
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    out += '"';
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
                           static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        for (int shift : {18, 12, 6, 0}) out += kDigits[(v >> shift) & 63];
    }
    if (i < bytes.size()) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kDigits[(v >> 6) & 63] : '=';
        out += '=';
    }
    out += "\",\"Base64\":true";
}

void TabField(std::string& out, std::string_view s) {
    for (const char c : s) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
}

void Out(std::string_view bytes) {
    if (bytes.empty()) return;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
        LocalFailure(std::string("cannot write to standard output: ") + std::strerror(errno));
}

namespace {

std::string AddressText() {
    const net::Ipv4Address& a = Session.m_ServerAddress;
    return std::to_string(a.addr[0]) + "." + std::to_string(a.addr[1]) + "." +
           std::to_string(a.addr[2]) + "." + std::to_string(a.addr[3]) + ":" +
           std::to_string(net::NetworkToHost(a.port));
}

}  // namespace

void Aim(const ServerTarget& t) {
    Text(Credentials.m_UserName, t.user, "the user name");
    Text(Credentials.m_Password, t.password, "the password");
    Session.m_ServerAddress = net::MakeAddress(t.octets[0], t.octets[1], t.octets[2], t.octets[3],
                                               static_cast<int>(t.port));
    Session.m_SessionID = 0;
    Session.SetSshHost(t.ssh);
}

int Exchange(int code, bool whole) {
    return Reported(code, Session.Execute(code), whole);
}

int Reported(int code, int rc, bool whole) {
    if (rc == 0 && whole && !Session.AnswerArrivedWhole()) {
        std::fprintf(stderr, "quorvel-cli: %s: the answer from %s did not arrive whole\n",
                     CommandName(code), AddressText().c_str());
        return kExitConnection;
    }
    if (rc == 0) return kExitOk;
    if (rc == 1) {
        std::fprintf(stderr, "quorvel-cli: %s: %s\n", CommandName(code),
                     Session.GetErrorReason().c_str());
        return kExitServerRefused;
    }
    if (!Session.GetTransportError().empty()) {
        std::fprintf(stderr, "quorvel-cli: %s\n", Session.GetTransportError().c_str());
        return kExitConnection;
    }
    // Refused here, with its reason: a local file that cannot be read or written.
    if (Session.GetErrorText()[0] != '\0') {
        std::fprintf(stderr, "quorvel-cli: %s: %s\n", CommandName(code),
                     Session.GetErrorReason().c_str());
        return kExitLocalIO;
    }
    std::fprintf(stderr, "quorvel-cli: %s: no usable answer from %s\n", CommandName(code),
                 AddressText().c_str());
    return kExitConnection;
}

int LogIn() {
    Session.m_SessionID = 0;
    if (int rc = Exchange(kCmdLogin); rc != 0) return rc;
    switch (Session.ParseResponse(kCmdLogin)) {
        case kLoginOk:
            Session.m_Connected = 1;
            return kExitOk;
        case kLoginFailed:
            std::fprintf(stderr, "quorvel-cli: %s: Login failed!\n", AddressText().c_str());
            return kExitLoginRefused;
        default:
            std::fprintf(stderr, "quorvel-cli: %s: the login answer was not understood\n",
                         AddressText().c_str());
            return kExitLoginUnknown;
    }
}

void LogOut() {
    if (Session.Execute(kCmdLogout) != 0)
        std::fputs("quorvel-cli: warning: the logout did not complete\n", stderr);
    Session.m_Connected = 0;
}

}  // namespace cli
