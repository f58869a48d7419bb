// Request kinds, request names with their arguments, and form values.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/NoThrow.h"
#include "platform/os/System.h"
#include "webproc/HttpProcessor.h"
#include "webproc/Scan.h"

using webproc_detail::CopyCut;

namespace {

constexpr char kUrlEncoded[] = "Content-Type: application/x-www-form-urlencoded";
constexpr char kMultipart[] = "Content-Type: multipart/form-data; boundary=";
constexpr char kServerRequest[] = "server_request";

long Len(const char* s) {
    return static_cast<long>(std::strlen(s));
}

bool Find(const Vessel& m, std::string_view needle, long* pos, long start = 0) {
    return m.ContainsN(needle.data(), static_cast<long>(needle.size()), pos, start);
}

// Converted straight into the buffer: a large value is never held twice in UTF-16.
void AppendUtf16(VesselU& out, std::string_view utf8) {
    if (utf8.empty()) return;
    const long at = out.GetSize();
    if (out.AddContentSize(static_cast<long>(utf8.size())) != 0) return;
    out.Truncate(at + static_cast<long>(os::Utf8ToUtf16(utf8, out.GetContent() + at)));
}

// The codes that form values decode; every other %XX stays as it is.
int DecodedChar(char hi, char lo) {
    static constexpr const char* kCodes[] = {"21", "22", "23", "24", "25", "26", "27", "28", "29",
                                             "2B", "2C", "2F", "3A", "3B", "3C", "3D", "3E", "3F",
                                             "5B", "5C", "5D", "5E", "60", "7B", "7C", "7D", "7E"};
    for (const char* code : kCodes)
        if (code[0] == hi && code[1] == lo)
            return (hi - '0') * 16 + (lo <= '9' ? lo - '0' : lo - 'A' + 10);
    return -1;
}

// Occurrences of "name=" count only where a field begins: after '&' or '?', at the
// start of a line (the body follows the header's blank line) or of the message. A bare
// substring search would take the field "max" for the field "x".
bool FindField(const Vessel& m, const std::string& pattern, long* pos, long start) {
    long at = start;
    while (Find(m, pattern, pos, at)) {
        const char before = *pos > 0 ? m.GetContent()[*pos - 1] : '\0';
        if (*pos == 0 || before == '&' || before == '?' || before == '\n') return true;
        at = *pos + 1;
    }
    return false;
}

}  // namespace

int HttpProcessor::GetFormType() {
    long pos = 0;
    if (Find(m_Message, kUrlEncoded, &pos)) return kFormUrlEncoded;
    if (Find(m_Message, kMultipart, &pos)) {
        const long start = pos + Len(kMultipart);
        const char* text = m_Message.GetContent() + start;
        const long avail = m_Message.GetSize() - start;
        // The boundary may be quoted, and parameters may follow it.
        long from = 0;
        const bool quoted = avail > 0 && text[0] == '"';
        if (quoted) from = 1;
        long n = from;
        while (n < avail && n - from < 98 && text[n] != '\r' && text[n] != '\n' &&
               (quoted ? text[n] != '"' : text[n] != ';' && text[n] != ' '))
            ++n;
        std::string boundary = "--";
        boundary.append(text + from, static_cast<size_t>(n - from));
        m_Boundary = boundary;
        m_BoundaryLength = static_cast<int>(m_Boundary.size());
        return kFormMultipart;
    }
    return kFormNone;
}

long HttpProcessor::FormSearchStart() {
    long pos = 0;
    if (Find(m_Message, "Content-Length:", &pos) || Find(m_Message, "Content-length:", &pos) ||
        Find(m_Message, "User-Agent:", &pos))
        return pos;
    return 0;
}

long HttpProcessor::FindCallInPath() {
    long lineEnd = 0;
    if (!Find(m_Message, "HTTP", &lineEnd)) return -1;
    long bracket = 0;
    const bool found = (Find(m_Message, "(", &bracket) && bracket < lineEnd) ||
                       (Find(m_Message, "%28", &bracket) && bracket < lineEnd);
    if (!found) return -1;
    const char* text = m_Message.GetContent();
    long i = bracket - 1;
    while (i >= 0 && text[i] != '/' && text[i] != ' ') --i;
    return i + 1;
}

long HttpProcessor::FindCallInBody() {
    long pos = 0;
    if (!Find(m_Message, kServerRequest, &pos, FormSearchStart())) return -1;
    // After "server_request=", or in a multipart part after the field name's closing
    // quote and the part header's blank line.
    return pos + (m_FormType == kFormMultipart ? 19 : 15);
}

int HttpProcessor::GetReqType() {
    return NoThrow(
        [&]() -> int {
            if (m_HttpType == kHttpUnknown) GetHttpType();
            m_PathName = nullptr;
            m_RequestInBody = true;
            int kind = kReqNone;
            long pos = 0;
            switch (m_HttpType) {
                case kHttpGet: {
                    m_FormType = kFormNone;
                    const long call = FindCallInPath();
                    if (call >= 0) {
                        m_PathName = m_Message.GetContent() + call;
                        kind = kReqGetCall;
                    } else {
                        kind = kReqPage;
                    }
                    break;
                }
                case kHttpPost: {
                    m_FormType = GetFormType();
                    if (m_FormType == kFormNone) break;
                    const char* field =
                        m_FormType == kFormUrlEncoded ? "server_request=" : kServerRequest;
                    if (Find(m_Message, field, &pos, FormSearchStart())) {
                        kind = kReqFormCall;
                        break;
                    }
                    const long call = FindCallInPath();
                    if (call >= 0) {
                        m_PathName = m_Message.GetContent() + call;
                        m_RequestInBody = false;
                        kind = kReqFormCall;
                    }
                    break;
                }
                case kHttpDev:
                    m_FormType = kFormNone;
                    if (Find(m_Message, "server_request=server_login", &pos))
                        kind = kReqDevLogin;
                    else if (Find(m_Message, "server_request=server_logout", &pos))
                        kind = kReqDevLogout;
                    else
                        kind = kReqDevCommand;
                    break;
                default:
                    break;
            }
            m_ReqType = kind;
            return kind;
        },
        static_cast<int>(kReqNone));
}

int HttpProcessor::GetRequestNameAndParams(char* name, ParamList<ParamListItem>& params) {
    return NoThrow(
        [&]() -> int {
            if (!name) return -1;
            name[0] = '\0';
            if (m_ReqType <= kReqPage) return -1;

            const char* base = m_Message.GetContent();
            const long size = m_Message.GetSize();
            long start = 0;
            if (m_HttpType == kHttpGet || (m_HttpType == kHttpPost && !m_RequestInBody)) {
                if (!m_PathName || m_PathName < base || m_PathName > base + size) return -1;
                start = m_PathName - base;
            } else {
                start = FindCallInBody();
                if (start < 0) return -1;
            }
            if (start > size) start = size;

            static constexpr long kWidth = 50;
            const char* text = base + start;
            const long avail = size - start;
            long n = 0;
            while (n < avail && !std::strchr("()%+\r\n", text[n]) && text[n] != '\0') ++n;
            if (n > kWidth) {
                std::memcpy(name, text, kWidth);
                name[kWidth] = '\0';
                params.SetError(kSyntaxError, "Request name too long!");
                return -1;
            }
            std::memcpy(name, text, static_cast<size_t>(n));
            name[n] = '\0';

            if (GetParams(text + n, params) != 0) return -1;
            if (m_ReqType == kReqGetCall || m_ReqType == kReqFormCall || m_ReqType == kReqDevLogin)
                FillUtf16Values(params);
            return params.m_ErrorCode != 0 ? -1 : 0;
        },
        -1);
}

namespace {

// The end of a text handed to the private steps: the message's end when the text lies
// in the message (which need not be terminated), else its terminator.
const char* EndOf(const Vessel& m, const char* text) {
    const char* base = m.GetContent();
    if (base && text >= base && text <= base + m.GetSize()) return base + m.GetSize();
    return text + std::strlen(text);
}

}  // namespace

int HttpProcessor::GetParams(const char* text, ParamList<ParamListItem>& params) {
    if (!text) return -1;
    const char* end = EndOf(m_Message, text);
    const bool keepBlanks = m_HttpType == kHttpDev;
    std::string copy;
    const char* p = text;
    for (;;) {
        if (p >= end || *p == '\0' || *p == '\r' || *p == '\n') {
            params.SetError(kSyntaxError, "No brackets!");
            return -1;
        }
        const long left = end - p;
        if (*p == ')' || (left >= 3 && std::memcmp(p, "%29", 3) == 0)) break;
        if (left >= 3 && std::memcmp(p, "%28", 3) == 0) {
            copy += '(';
            p += 3;
        } else if (left >= 3 && (std::memcmp(p, "%2C", 3) == 0 || std::memcmp(p, "%2c", 3) == 0)) {
            copy += ',';
            p += 3;
        } else {
            if (keepBlanks || (*p != ' ' && *p != '+')) copy += *p;
            ++p;
        }
    }
    copy += ')';
    if (copy[0] != '(') return -1;
    if (copy == "()") return 0;

    // No quoting and no nesting: every ',' separates, the first ')' ends.
    const std::string_view inner(copy.data() + 1, copy.size() - 2);
    size_t from = 0;
    long number = 0;
    for (;;) {
        const size_t comma = inner.find(',', from);
        const std::string_view arg = inner.substr(
            from, comma == std::string_view::npos ? std::string_view::npos : comma - from);
        // Each argument is a record of a few hundred bytes: a call of two-byte arguments
        // would cost a hundred times its text.
        if (number >= kMaxArguments) {
            params.SetError(kSyntaxError, "Too many arguments!");
            return -1;
        }
        ParamListItem* item = nullptr;
        if (params.Add(&item) != kListOk || !item) return -1;
        item->m_Number = number++;
        if (!arg.empty()) item->m_Value.AddContent(arg.data(), static_cast<long>(arg.size()));
        if (comma == std::string_view::npos) break;
        from = comma + 1;
    }
    return 0;
}

int HttpProcessor::GetDecodedParamValue(const char* text, Vessel& out) {
    if (!text) return 0;
    std::string value;
    DecodeParamValue(text, value);
    if (!value.empty()) out.AddContent(value.data(), static_cast<long>(value.size()));
    return 0;
}

void HttpProcessor::DecodeParamValue(const char* text, std::string& value) {
    const char* end = EndOf(m_Message, text);
    const char* stop = text;
    while (stop < end && *stop != '&' && *stop != '\r' && *stop != '\n' && *stop != '\0') ++stop;
    end = stop;
    value.reserve(value.size() + static_cast<std::size_t>(end - text));  // decoding only shrinks
    for (const char* p = text; p < end;) {
        if (*p == '+') {
            value += ' ';
            ++p;
            continue;
        }
        if (*p == '%' && end - p >= 3) {
            const int c = DecodedChar(p[1], p[2]);
            if (c >= 0) {
                value += static_cast<char>(c);
                p += 3;
                continue;
            }
        }
        value += *p++;
    }
}

namespace {

// The form fields of one message, found in one pass, so that each argument's lookup
// costs its own fields and not a search of the whole message.
class FormIndex {
public:
    FormIndex(const Vessel& m, int formType, const char* boundary, long boundaryLength)
        : m_Message(m),
          m_Text(m.GetContent() ? m.GetContent() : ""),
          m_Size(m.GetSize()),
          m_Multipart(formType == HttpProcessor::kFormMultipart) {
        if (m_Multipart)
            IndexMultipart(boundary, boundaryLength);
        else
            IndexUrlEncoded();
    }

    // Where the values of the field name begin, in message order. A name holding a
    // character that ends names in the index is searched for directly (rare).
    std::vector<long> Values(std::string_view name) const {
        std::vector<long> out;
        if (name.find_first_of(m_Multipart ? "\"" : "=&?\n") == name.npos) {
            auto it = m_Fields.find(name);
            if (it != m_Fields.end()) out = it->second;
            return out;
        }
        const std::string pattern =
            m_Multipart ? std::string(kPart) + std::string(name) + "\"" : std::string(name) + "=";
        long pos = 0, at = 0;
        while (m_Multipart ? Find(m_Message, pattern, &pos, at)
                           : FindField(m_Message, pattern, &pos, at)) {
            at = pos + 1;
            const long end = pos + static_cast<long>(pattern.size());
            if (!m_Multipart)
                out.push_back(end);
            else if (end < m_Size && m_Text[end] == '\r')
                out.push_back(std::min(end + 4, m_Size));
        }
        return out;
    }
    // The end of a multipart value that begins at from: the first CR LF followed by the
    // boundary, else the message's end.
    long PartEnd(long from) const {
        auto it = std::lower_bound(m_Borders.begin(), m_Borders.end(), from);
        return it == m_Borders.end() ? m_Size : *it;
    }

private:
    // A field begins at the message's start, after '&' or '?', or at a line's start; its
    // name runs to '='. A '&', '?' or line end before the '=' means no field there.
    void IndexUrlEncoded() {
        long start = 0;
        while (start <= m_Size) {
            long i = start;
            while (i < m_Size && m_Text[i] != '=' && m_Text[i] != '&' && m_Text[i] != '?' &&
                   m_Text[i] != '\n')
                ++i;
            if (i < m_Size && m_Text[i] == '=') {
                m_Fields[std::string_view(m_Text + start, static_cast<size_t>(i - start))]
                    .push_back(i + 1);
                while (i < m_Size && m_Text[i] != '&' && m_Text[i] != '?' && m_Text[i] != '\n') ++i;
            }
            start = i + 1;
        }
    }

    // Every part header 'form-data; name="<name>"' that ends its line (a file part goes
    // on with its file name and is no field), and every boundary.
    void IndexMultipart(const char* boundary, long boundaryLength) {
        const std::string_view all(m_Text, static_cast<size_t>(m_Size));
        for (size_t at = all.find(kPart); at != all.npos; at = all.find(kPart, at + 1)) {
            const size_t name = at + kPart.size();
            const size_t quote = all.find('"', name);
            if (quote == all.npos) break;
            if (quote + 1 >= all.size() || all[quote + 1] != '\r') continue;
            const long from = std::min(static_cast<long>(quote) + 5, m_Size);
            m_Fields[all.substr(name, quote - name)].push_back(from);
        }
        const std::string border =
            "\r\n" + std::string(boundary, static_cast<size_t>(boundaryLength));
        for (size_t at = all.find(border); at != all.npos; at = all.find(border, at + 1))
            m_Borders.push_back(static_cast<long>(at));
    }

    static constexpr std::string_view kPart = "form-data; name=\"";
    const Vessel& m_Message;
    const char* m_Text;
    long m_Size;
    bool m_Multipart;
    std::unordered_map<std::string_view, std::vector<long>> m_Fields;
    std::vector<long> m_Borders;
};

}  // namespace

void HttpProcessor::FillUtf16Values(ParamList<ParamListItem>& params) {
    const bool lookUp = m_FormType != kFormNone && m_RequestInBody;
    std::unique_ptr<FormIndex> index;
    // The joined values of each field, made once however many arguments name it.
    std::unordered_map<std::string, std::string> joinedOf;
    const char* base = m_Message.GetContent();
    const long count = params.Count();
    // Every argument holds its own copy of its field's value, so a call that names one
    // large field many times would cost the square of the request: the copies together
    // may come to a few times the message, no more.
    const long long budget = 4ll * m_Message.GetSize() + 65536;
    long long spent = 0;
    for (long i = 0; i < count; ++i) {
        ParamListItem* item = nullptr;
        if (params.GetAt(i, &item) != kListOk || !item) continue;
        if (spent > budget) {
            params.SetError(kSyntaxError, "The arguments repeat more of the form than it holds");
            return;
        }
        const std::string_view v(item->m_Value.GetContent() ? item->m_Value.GetContent() : "",
                                 static_cast<size_t>(item->m_Value.GetSize()));
        if (!lookUp) {
            AppendUtf16(item->m_ValueU, v);
            continue;
        }
        if (v.empty()) continue;
        auto known = joinedOf.find(std::string(v));
        if (known != joinedOf.end()) {
            spent += static_cast<long long>(known->second.size());
            if (spent <= budget) AppendUtf16(item->m_ValueU, known->second);
            continue;
        }
        if (!index)
            index = std::make_unique<FormIndex>(m_Message, m_FormType, m_Boundary.c_str(),
                                                m_BoundaryLength);

        // Each argument names a form field: its submitted values, in order, joined by ','.
        std::string joined;
        bool found = false;
        auto add = [&](const char* text, size_t n) {
            if (found) joined += ',';
            joined.append(text, n);
            found = true;
        };
        for (long from : index->Values(v)) {
            if (m_FormType == kFormUrlEncoded) {
                if (found) joined += ',';
                DecodeParamValue(base + from, joined);
                found = true;
            } else {
                add(base + from, static_cast<size_t>(index->PartEnd(from) - from));
            }
        }
        const std::string& value =
            joinedOf.emplace(std::string(v), found ? std::move(joined) : std::string(v))
                .first->second;
        spent += static_cast<long long>(value.size());
        AppendUtf16(item->m_ValueU, value);
    }
}

void HttpProcessor::GetParameter(const char* fieldName, Vessel& out) {
    NoThrowVoid([&] {
        if (!fieldName || std::strlen(fieldName) > 50 || m_FormType != kFormUrlEncoded) return;
        long body = 0;
        if (!Find(m_Message, "\r\n\r\n", &body)) return;
        body += 4;
        const std::string pattern = std::string(fieldName) + "=";
        long pos = 0;
        if (!FindField(m_Message, pattern, &pos, body)) return;
        const char* p = m_Message.GetContent() + pos + pattern.size();
        const char* end = m_Message.GetContent() + m_Message.GetSize();
        std::string value;
        while (p < end && *p != '&' && *p != '\r' && *p != '\n' && *p != '\0') {
            if (end - p >= 3 && std::memcmp(p, "%2B", 3) == 0) {
                value += '+';
                p += 3;
            } else if (end - p >= 3 && std::memcmp(p, "%2F", 3) == 0) {
                value += '/';
                p += 3;
            } else {
                value += *p++;
            }
        }
        if (!value.empty()) out.AddContent(value.data(), static_cast<long>(value.size()));
    });
}

int HttpProcessor::GetRequestNameAndParams(char* name, std::size_t size,
                                           ParamList<ParamListItem>& params) {
    if (!name || size == 0) return -1;
    char whole[51];
    const int rc = GetRequestNameAndParams(whole, params);
    return CopyCut(whole, name, size) ? rc : -1;
}

int HttpProcessor::GetAppName(char* name, std::size_t size) {
    if (!name || size == 0) return -1;
    char whole[50];
    const int rc = GetAppName(whole);
    return CopyCut(whole, name, size) ? rc : -1;
}

int HttpProcessor::GetAppName(char* name) {
    if (!name) return -1;
    name[0] = '\0';
    long lineEnd = 0;
    if (!Find(m_Message, "HTTP", &lineEnd)) return -1;
    const char* text = m_Message.GetContent();
    const void* first = std::memchr(text, '/', static_cast<size_t>(lineEnd));
    if (!first) return -1;
    const char* from = static_cast<const char*>(first) + 1;
    const void* second = std::memchr(from, '/', static_cast<size_t>(text + lineEnd - from));
    if (!second) return -1;
    long n = static_cast<const char*>(second) - from;
    if (n > 49) n = 49;
    std::memcpy(name, from, static_cast<size_t>(n));
    name[n] = '\0';
    return 0;
}
