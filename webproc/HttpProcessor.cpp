#include "webproc/HttpProcessor.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "common/NoThrow.h"
#include "webproc/Scan.h"

using webproc_detail::CopyCut;
using webproc_detail::ParseLong;
using webproc_detail::SpanUntil;

namespace {

constexpr char kHeaderEnd[] = "\r\n\r\n";
constexpr char kContentLength[] = "content-length: ";  // compared without regard to case
constexpr long kHeaderEndLen = 4;
constexpr long kPatternLen = 16;

bool StartsWith(const Vessel& v, const char* word) {
    const long n = static_cast<long>(std::strlen(word));
    return v.GetSize() >= n && std::memcmp(v.GetContent(), word, static_cast<size_t>(n)) == 0;
}

}  // namespace

int HttpProcessor::GetHttpType() {
    int type = kHttpUnknown;
    if (StartsWith(m_Message, "GET"))
        type = kHttpGet;
    else if (StartsWith(m_Message, "POST"))
        type = kHttpPost;
    else if (StartsWith(m_Message, "DEV"))
        type = kHttpDev;
    else if (StartsWith(m_Message, "HTTP"))
        type = kHttpResponse;
    else if (StartsWith(m_Message, "OPTIONS"))
        type = kHttpOptions;
    else if (StartsWith(m_Message, "HEAD"))
        type = kHttpHead;
    m_HttpType = type;
    return type;
}

long HttpProcessor::GetHeaderLength() {
    long pos = 0;
    if (!m_Message.ContainsN(kHeaderEnd, kHeaderEndLen, &pos, 0)) return 0;
    return pos + kHeaderEndLen;
}

namespace {

// The number after the Content-Length name found at pos: up to CR, LF or a zero
// character, at most 19 characters.
long ContentLengthAt(const Vessel& m, long pos) {
    const long start = pos + kPatternLen;
    const char* text = m.GetContent() + start;
    const long n = SpanUntil(text, m.GetSize() - start, 19, "\r\n");
    return ParseLong(text, n);
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Where the first header line named Content-Length (any case) begins, or -1. Only the
// header counts: the lines before the first blank line (before headerLength, or the
// whole message while the blank line has not arrived), so a body that holds such a
// line cannot give the message a length.
long FindContentLength(const Vessel& m, long headerLength) {
    const char* text = m.GetContent();
    const long end = headerLength > 0 ? headerLength - 2 : m.GetSize();
    for (long i = 0; i + 1 + kPatternLen <= end;) {
        const void* lf = std::memchr(text + i, '\n', static_cast<size_t>(end - i));
        if (!lf) break;
        const long line = static_cast<const char*>(lf) - text + 1;
        if (line + kPatternLen > end) break;
        long k = 0;
        while (k < kPatternLen && Lower(text[line + k]) == kContentLength[k]) ++k;
        if (k == kPatternLen) return line;
        i = line;
    }
    return -1;
}

}  // namespace

long HttpProcessor::GetContentLength() {
    const long pos = FindContentLength(m_Message, GetHeaderLength());
    return pos >= 0 ? ContentLengthAt(m_Message, pos) : 0;
}

bool HttpProcessor::HasContentLength() {
    return FindContentLength(m_Message, GetHeaderLength()) >= 0;
}

void HttpProcessor::SyncScanState() {
    const long size = m_Message.GetSize();
    const unsigned generation = m_Message.GetGeneration();
    if (m_Scan.seen >= 0 && generation == m_Scan.generation && size >= m_Scan.seen) return;
    // A new message: the caller emptied or re-allocated the buffer (or, against the
    // rules, shrank it). Nothing found in the old one holds, its kind included.
    if (m_Scan.seen >= 0) m_HttpType = kHttpUnknown;
    m_Scan = ScanState();
    m_Scan.generation = generation;
}

namespace {

// One incremental search step: looks at the bytes not yet searched (and the overlap a
// split pattern needs); pos is set once found and never changes after, because the
// message only grows and the first occurrence stays the first.
void Advance(const Vessel& m, const char* pattern, long len, long& from, long& pos) {
    if (pos >= 0) return;
    long hit = 0;
    if (m.ContainsN(pattern, len, &hit, from)) {
        pos = hit;
        return;
    }
    const long next = m.GetSize() - (len - 1);
    if (next > from) from = next;
}

}  // namespace

bool HttpProcessor::IsMoreData() {
    const long size = m_Message.GetSize();
    if (size == 0) return false;
    SyncScanState();
    m_Scan.seen = size;
    if (m_HttpType == kHttpUnknown) GetHttpType();

    switch (m_HttpType) {
        case kHttpGet:
        case kHttpOptions:
        case kHttpHead: {
            // The body of these is never awaited.
            long pos = m_Scan.headerLength > 0 ? m_Scan.headerLength - kHeaderEndLen : -1;
            Advance(m_Message, kHeaderEnd, kHeaderEndLen, m_Scan.headerFrom, pos);
            if (pos >= 0) m_Scan.headerLength = pos + kHeaderEndLen;
            return m_Scan.headerLength == 0;
        }
        case kHttpPost:
        case kHttpDev:
        case kHttpResponse: {
            long pos = m_Scan.headerLength > 0 ? m_Scan.headerLength - kHeaderEndLen : -1;
            Advance(m_Message, kHeaderEnd, kHeaderEndLen, m_Scan.headerFrom, pos);
            if (pos >= 0 && m_Scan.headerLength == 0) {
                m_Scan.headerLength = pos + kHeaderEndLen;
                // The header is whole: its length is read once, from it alone.
                const long at = FindContentLength(m_Message, m_Scan.headerLength);
                m_Scan.contentLength = at >= 0 ? ContentLengthAt(m_Message, at) : 0;
            }
            // A header that arrives in pieces is never complete before its blank line,
            // whatever the Content-Length already says.
            if (m_Scan.headerLength == 0) return true;
            const long length = m_Scan.contentLength;
            // Without a length the body ends when the peer closes the connection.
            if (length == 0) return true;
            return size - m_Scan.headerLength < length;
        }
        default:
            return true;
    }
}

bool HttpProcessor::ContainsCookie(const char* name, long* outPosition) {
    if (!name || !outPosition || m_Message.GetSize() == 0) return false;
    *outPosition = 0;
    const long n = static_cast<long>(std::strlen(name));
    // Only the request or status line and the header lines count: a match must begin
    // before the first blank line.
    long end = 0;
    if (!m_Message.ContainsN(kHeaderEnd, kHeaderEndLen, &end, 0)) end = m_Message.GetSize();
    long pos = 0;
    if (!m_Message.ContainsN(name, n, &pos, 0) || pos >= end) return false;
    *outPosition = pos;
    return true;
}

long HttpProcessor::GetSessionID() {
    static constexpr char kPattern[] = "jsessionid=";
    long pos = 0;
    if (!ContainsCookie(kPattern, &pos)) return 0;
    const long start = pos + static_cast<long>(sizeof kPattern - 1);
    const char* text = m_Message.GetContent() + start;
    return ParseLong(text, SpanUntil(text, m_Message.GetSize() - start, 55, "&\r\n ;"));
}

long HttpProcessor::GetUserID() {
    static constexpr char kPattern[] = "server_userid=";
    long pos = 0;
    if (!m_Message.ContainsN(kPattern, sizeof kPattern - 1, &pos, 0)) return -1;
    const long start = pos + static_cast<long>(sizeof kPattern - 1);
    const char* text = m_Message.GetContent() + start;
    return ParseLong(text, SpanUntil(text, m_Message.GetSize() - start, 11, "\r\n "));
}

int HttpProcessor::GetCookie(const char* name, char* value) {
    return NoThrow(
        [&]() -> int {
            static constexpr long kWidth = 50;
            if (value) value[0] = '\0';
            if (!name || !value) return 0;
            const std::string pattern = std::string(name) + "=";
            long pos = 0;
            if (!ContainsCookie(pattern.c_str(), &pos)) return 0;
            const long start = pos + static_cast<long>(pattern.size());
            const char* text = m_Message.GetContent() + start;
            const long n = SpanUntil(text, m_Message.GetSize() - start, LONG_MAX, "&\r\n ;");
            const long copied = n > kWidth ? kWidth : n;
            std::memcpy(value, text, static_cast<size_t>(copied));
            value[copied] = '\0';
            return n > kWidth ? -1 : 0;
        },
        -1);
}

int HttpProcessor::GetPathFileName(char* out, int size) {
    if (!out || size <= 0) return -1;
    out[0] = '\0';
    long pos = 0;
    if (!m_Message.ContainsN("HTTP", 4, &pos, 0)) return 0;
    // From after "POST " up to the blank before "HTTP".
    const long n = pos - 6;
    if (n < 0 || n > 1023) return 0;
    const long fits = std::min<long>(n, size - 1);
    std::memcpy(out, m_Message.GetContent() + 5, static_cast<size_t>(fits));
    out[fits] = '\0';
    return fits < n ? -1 : 0;
}

int HttpProcessor::GetCookie(const char* name, char* value, std::size_t size) {
    if (!value || size == 0) return -1;
    char whole[51];
    int rc = GetCookie(name, whole);
    return CopyCut(whole, value, size) ? rc : -1;
}
