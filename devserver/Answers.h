// The answers the server writes: HTML tables (from RosterU tables), documents, error
// pages and the login answer. Every answer is a whole HTTP response with a
// Content-Length, so the studio's reader knows when it is complete.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace devserver {

// A table answer in the making: column widths (characters) and rows of UTF-8 cells.
struct Table {
    std::vector<long> widths;
    std::vector<std::vector<std::string>> rows;
    void Row(std::vector<std::string> cells) { rows.push_back(std::move(cells)); }
};

// The whole HTTP response for a table: a RosterU table rendered through the built-in
// template "<table>#TABLE(0)</table>".
std::string TableAnswer(const Table& table);
std::string DocumentAnswer(std::string_view bytes,
                           const char* contentType = "application/octet-stream");
// The header of a document whose size bytes follow it (sent from a file).
std::string DocumentHeader(long long size, const char* contentType = "application/octet-stream");
// A response header with the given status (200, 301, 400, 403 ... 503); extraHeader lines
// begin with CR LF.
std::string StatusHeader(int status, std::string_view contentType, std::string_view extraHeader,
                         long long bodyLength);
// Text made safe inside HTML: & < > " ' as entities.
std::string EscapeHtml(std::string_view text);
// A stored value made safe wherever a page template puts it, also in an unquoted
// attribute: what EscapeHtml escapes, and blanks, control characters, '=' and '`'. Into
// out, whose room is reused from cell to cell.
void EscapeCell(std::string_view text, std::string& out);
// A text as it may go into a trace line: control characters as \xNN, so that no client
// text can end the line and forge another, and the error marker defused, since the studio
// takes any answer holding it (a trace is sent as a document) for an error.
std::string TraceSafe(std::string_view text);
// "SERVER_ERROR: " and the reason.
std::string ErrorAnswer(std::string_view reason);
std::string LoginOkAnswer(long sessionId, long userId);
std::string LoginFailedAnswer();

// Reads a table the studio sent ("<table><tr><td>..</td></tr></table>", compact, no
// header row). false when the text is not such a table.
bool ParseSentTable(std::string_view text, std::vector<std::vector<std::string>>& rows);

}  // namespace devserver
