#include "devserver/Answers.h"

#include <algorithm>
#include <cstdio>

#include "platform/os/Files.h"
#include "platform/os/System.h"
#include "roster/Roster.h"
#include "webproc/TableResult.h"

namespace devserver {

namespace {

// Every list answer is the table alone; the studio reads its rows.
constexpr std::string_view kTableTemplate = "<table>#TABLE(0)</table>";

std::string Header(std::string_view contentType, std::string_view extraHeader,
                   long long bodyLength) {
    return StatusHeader(200, contentType, extraHeader, bodyLength);
}

std::string Response(std::string_view contentType, std::string_view extraHeader,
                     std::string_view body) {
    return Header(contentType, extraHeader, static_cast<long long>(body.size())) +
           std::string(body);
}

}  // namespace

std::string StatusHeader(int status, std::string_view contentType, std::string_view extraHeader,
                         long long bodyLength) {
    const char* reason = status == 200   ? "OK"
                         : status == 301 ? "Moved Permanently"
                         : status == 400 ? "Bad Request"
                         : status == 403 ? "Forbidden"
                         : status == 404 ? "Not Found"
                         : status == 405 ? "Method Not Allowed"
                         : status == 409 ? "Conflict"
                         : status == 411 ? "Length Required"
                         : status == 413 ? "Content Too Large"
                         : status == 431 ? "Request Header Fields Too Large"
                         : status == 500 ? "Internal Server Error"
                         : status == 501 ? "Not Implemented"
                         : status == 503 ? "Service Unavailable"
                                         : "Error";
    std::string r = "HTTP/1.1 " + std::to_string(status) + " " + reason +
                    "\r\nServer: Quorvel/2.1\r\nConnection: close\r\nContent-Type: ";
    r += contentType;
    r += extraHeader;
    r += "\r\nContent-Length: ";
    r += std::to_string(bodyLength);
    r += "\r\n\r\n";
    return r;
}

std::string EscapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

void EscapeCell(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= ' ' || u == 127 || c == '=' || c == '`' || c == '&' || c == '<' || c == '>' ||
            c == '"' || c == '\'') {
            // "&#" and up to three digits, as cells are escaped everywhere.
            char entity[6] = {'&', '#'};
            std::size_t n = 2;
            if (u >= 100) entity[n++] = static_cast<char>('0' + u / 100);
            if (u >= 10) entity[n++] = static_cast<char>('0' + u / 10 % 10);
            entity[n++] = static_cast<char>('0' + u % 10);
            entity[n++] = ';';
            out.append(entity, n);
        } else {
            out += c;
        }
    }
}

std::string TraceSafe(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < ' ' || u == 127) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        } else {
            out += c;
        }
    }
    for (std::size_t p; (p = out.find("SERVER_ERROR")) != std::string::npos;) out[p + 6] = '-';
    return out;
}

std::string TableAnswer(const Table& table) {
    TableList<TableListItem> tables;
    RosterU* roster = AddTable(tables);
    if (!roster) return ErrorAnswer("Out of memory");
    for (long w : table.widths) roster->CreateField(w);
    long r = 0;
    std::u16string cell;  // one buffer for every cell
    std::size_t bytes = 0;
    for (const auto& row : table.rows) {
        roster->CreateRecord();
        for (std::size_t f = 0; f < table.widths.size(); ++f) {
            const std::string_view text = f < row.size() ? std::string_view(row[f]) : "";
            cell.resize(text.size() + 1);
            cell.resize(os::Utf8ToUtf16(text, cell.data()));
            roster->SetField(r, static_cast<long>(f), cell.c_str());
            bytes += text.size() + 9;  // and its <td></td>
        }
        ++r;
    }
    RunItem run;
    run.m_RequestName = "devserver";
    Vessel out;
    // Room for the page as it will be, near enough: a larger buffer is zeroed for nothing.
    out.Alloc(static_cast<long>(std::min<std::size_t>(bytes + 1024, 1 << 20)), 65536);
    f_TableListToHttpResultFromText(tables, &run, out, kTableTemplate);
    return std::string(out.GetContent(), static_cast<std::size_t>(out.GetSize()));
}

std::string DocumentAnswer(std::string_view bytes, const char* contentType) {
    return Response(contentType, "", bytes);
}

std::string DocumentHeader(long long size, const char* contentType) {
    return Header(contentType, "", size);
}

std::string ErrorAnswer(std::string_view reason) {
    std::string body = "SERVER_ERROR: ";
    body += reason;
    return Response("text/plain", "", body);
}

std::string LoginOkAnswer(long sessionId, long userId) {
    char cookie[64];
    std::snprintf(cookie, sizeof cookie, "\r\nSet-Cookie: jsessionid=%ld; Path=/;", sessionId);
    std::string body =
        "<html><body>Login OK!\r\nserver_userid=" + std::to_string(userId) + "\r\n</body></html>";
    return Response("text/html", cookie, body);
}

std::string LoginFailedAnswer() {
    return Response("text/html", "", "<html><body>Login failed!</body></html>");
}

bool ParseSentTable(std::string_view t, std::vector<std::vector<std::string>>& rows) {
    rows.clear();
    auto skipBlanks = [&](std::size_t& i) {
        while (i < t.size() && (t[i] == ' ' || t[i] == '\r' || t[i] == '\n' || t[i] == '\t')) ++i;
    };
    auto eat = [&](std::size_t& i, std::string_view tag) {
        skipBlanks(i);
        if (t.substr(i, tag.size()) != tag) return false;
        i += tag.size();
        return true;
    };
    std::size_t i = 0;
    if (!eat(i, "<table>")) return false;
    for (;;) {
        if (eat(i, "</table>")) break;
        if (!eat(i, "<tr>")) return false;
        std::vector<std::string> row;
        for (;;) {
            if (eat(i, "</tr>")) break;
            if (!eat(i, "<td>")) return false;
            std::size_t end = t.find("</td>", i);
            if (end == std::string_view::npos) return false;
            row.emplace_back(t.substr(i, end - i));
            i = end + 5;
        }
        rows.push_back(std::move(row));
    }
    skipBlanks(i);
    return i == t.size();
}

}  // namespace devserver
