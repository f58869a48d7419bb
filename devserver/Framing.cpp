#include "devserver/Framing.h"

#include <strings.h>

#include <cctype>

namespace devserver {

namespace {

constexpr const char* kAllow = "\r\nAllow: GET, HEAD, POST";

Verdict Refused(int status, std::string reason, std::string extra = {}) {
    return Verdict{status, std::move(reason), std::move(extra)};
}

}  // namespace

std::string_view MethodOf(std::string_view message) {
    return message.substr(0, message.find_first_of(" \r\n"));
}

std::vector<std::string_view> HeaderValues(std::string_view message, std::string_view name) {
    const std::string_view header = message.substr(0, message.find("\r\n\r\n"));
    std::vector<std::string_view> values;
    for (std::size_t at = header.find("\r\n"); at != std::string_view::npos;) {
        const std::size_t next = header.find("\r\n", at + 2);
        std::string_view line =
            header.substr(at + 2, next == header.npos ? header.npos : next - at - 2);
        at = next;
        if (line.size() <= name.size() || line[name.size()] != ':' ||
            strncasecmp(line.data(), name.data(), name.size()) != 0)
            continue;
        line.remove_prefix(name.size() + 1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        values.push_back(line);
    }
    return values;
}

bool WantsKeepAlive(std::string_view message) {
    const std::string_view line = message.substr(0, message.find("\r\n"));
    const bool http11 = line.size() >= 8 && line.substr(line.size() - 8) == "HTTP/1.1";
    bool close = false, keep = false;
    for (std::string_view value : HeaderValues(message, "Connection")) {
        // A list of tokens: "keep-alive, Upgrade".
        for (std::size_t at = 0; at <= value.size();) {
            std::size_t comma = value.find(',', at);
            if (comma == std::string_view::npos) comma = value.size();
            std::string_view token = value.substr(at, comma - at);
            while (!token.empty() && token.front() == ' ') token.remove_prefix(1);
            while (!token.empty() && token.back() == ' ') token.remove_suffix(1);
            if (token.size() == 5 && strncasecmp(token.data(), "close", 5) == 0) close = true;
            if (token.size() == 10 && strncasecmp(token.data(), "keep-alive", 10) == 0) keep = true;
            at = comma + 1;
        }
    }
    return !close && (http11 || keep);
}

Verdict EarlyVerdict(std::string_view received, std::size_t maxHeader) {
    const std::size_t lf = received.find('\n');
    if (lf != std::string_view::npos) {
        if (lf == 0 || received[lf - 1] != '\r')
            return Refused(400, "Lines of a request end in CR LF");
        const std::string_view method = MethodOf(received);
        if (method != "GET" && method != "POST" && method != "HEAD" && method != "DEV") {
            for (const char* known : {"OPTIONS", "PUT", "DELETE", "PATCH", "TRACE", "CONNECT"})
                if (method == known)
                    return Refused(405, std::string(method) + " is not served here", kAllow);
            return Refused(501, "Unknown method");
        }
        // A header line ending in LF alone would leave the header without its end.
        const std::size_t end = received.find("\r\n\r\n");
        for (std::size_t at = received.find('\n', lf + 1);
             at != std::string_view::npos && (end == std::string_view::npos || at < end);
             at = received.find('\n', at + 1))
            if (received[at - 1] != '\r') return Refused(400, "Lines of a request end in CR LF");
        if (end != std::string_view::npos)
            return end + 4 > maxHeader ? Refused(431, "The request header is too long") : Verdict{};
    }
    if (received.find("\r\n\r\n") == std::string_view::npos && received.size() > maxHeader)
        return Refused(431, "The request header is too long");
    return {};
}

Verdict HeaderVerdict(std::string_view header, long long maxBody, long long& length) {
    length = -1;
    for (std::string_view coding : HeaderValues(header, "Transfer-Encoding"))
        if (strcasecmp(std::string(coding).c_str(), "identity") != 0)
            return Refused(501, "Bodies in chunks are not taken: send a Content-Length");
    for (std::string_view value : HeaderValues(header, "Content-Length")) {
        long long n = 0;
        bool digits = !value.empty() && value.size() <= 18;
        for (char c : value) {
            if (!std::isdigit(static_cast<unsigned char>(c))) digits = false;
            n = n * 10 + (c - '0');
        }
        if (!digits) return Refused(400, "The Content-Length is no number");
        if (length >= 0 && n != length) return Refused(400, "Two Content-Length lines disagree");
        length = n;
    }
    if (length > maxBody)
        return Refused(413, "The request is larger than " + std::to_string(maxBody) + " bytes");
    if (length < 0) {
        const std::string_view method = MethodOf(header);
        if (method == "POST" || method == "DEV")
            return Refused(411, "The request has no Content-Length");
        length = 0;
    }
    return {};
}

}  // namespace devserver
