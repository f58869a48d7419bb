// What the connection code decides about a request before anything handles it: the HTTP
// status that refuses it (0: go on), as HTTP gives it, at the first byte that shows it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace devserver {

struct Verdict {
    int status = 0;           // 0: no objection (yet)
    std::string reason;       // for the client
    std::string extraHeader;  // lines beginning with CR LF (Allow for 405)
};

// On the bytes received so far, the header not yet whole: a verdict as soon as the
// request line or the line endings show that the request cannot be served (an unknown
// or unserved method, lines ending in LF alone, a header past maxHeader bytes).
Verdict EarlyVerdict(std::string_view received, std::size_t maxHeader);

// On a whole header (up to and without its blank line): the transfer coding and the
// Content-Length lines. Fills length with the body's length.
Verdict HeaderVerdict(std::string_view header, long long maxBody, long long& length);

// The request line's method ("GET" of "GET / HTTP/1.1").
std::string_view MethodOf(std::string_view message);

// The values of the header lines called name (any case) up to the header's blank line,
// blanks around them trimmed.
std::vector<std::string_view> HeaderValues(std::string_view message, std::string_view name);

// Whether the client asks to keep the connection for another request: HTTP/1.1 unless
// it says "Connection: close", HTTP/1.0 only when it says "Connection: keep-alive".
bool WantsKeepAlive(std::string_view message);

}  // namespace devserver
