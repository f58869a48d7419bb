// What the parts of quorvel-cli share: the exit statuses, usage errors, the two output
// forms' escaping, and one exchange with its failure told on standard error.
#pragma once

#include <string>
#include <string_view>

#include "common/FixedText.h"

namespace cli {

// Documented in --help, the README and the man page: a script tells the failures apart
// by them.
enum Exit : int {
    kExitOk = 0,
    kExitDiffer = 1,  // diff: the two servers differ
    kExitUsage = 2,
    kExitConnection = 3,
    kExitLoginRefused = 4,
    kExitLoginUnknown = 5,
    kExitServerRefused = 6,
    kExitLocalIO = 7,
};

struct UsageError {
    std::string text;
};
[[noreturn]] void Usage(const std::string& text);

// A text argument must fit its holder and must not change the argument list the server
// reads: no ",", ")" or line break.
template <std::size_t N>
inline void Text(FixedText<N>& holder, const std::string& s, const char* what) {
    if (s.find_first_of(",)\r\n") != std::string::npos)
        Usage(std::string(what) + " must not hold ',', ')' or a line break: '" + s + "'");
    if (s.size() > N)
        Usage(std::string(what) + " is longer than " + std::to_string(N) + " characters");
    if (s.find('\0') != std::string::npos) Usage(std::string(what) + " holds a zero byte");
    holder = s;
}

// A local file or standard output that cannot be read or written.
struct LocalError {
    std::string text;
};
[[noreturn]] void LocalFailure(const std::string& text);

// A JSON string, valid UTF-8 whatever the bytes: those that are not UTF-8 become U+FFFD.
void JsonString(std::string& out, std::string_view s);
// Bytes as a JSON document's text field: the key with a string when they are UTF-8,
// else with their base64 and "Base64":true, so no byte is lost.
void JsonBytes(std::string& out, std::string_view key, std::string_view bytes);
// A cell of a TAB-separated line: a TAB, CR, LF or backslash inside it is written as
// \t, \r, \n or \\, so a server's value cannot split a record or forge another.
void TabField(std::string& out, std::string_view s);
// Writes to standard output; a failed write ends the call with kExitLocalIO.
void Out(std::string_view bytes);

// A server to log in to: address, port and credentials.
struct ServerTarget {
    int octets[4] = {127, 0, 0, 1};
    long port = -1;
    std::string user;
    std::string password;
    std::string ssh;  // [user@]host[:port] of an SSH host to go through; empty: directly
};
// Points the session and the login's credentials at target (a usage error when the user
// name or password cannot be sent).
void Aim(const ServerTarget& target);

// One exchange of the session: 0, or the exit status of a failure whose reason is
// already on standard error. With whole, an answer cut short is a failure too.
int Exchange(int code, bool whole = false);
// The same for an exchange already run, whose Execute result was rc.
int Reported(int code, int rc, bool whole);
// Logs in to the server that the session and the credentials name: 0 or an exit status.
int LogIn();
// Logs out, whatever happened before; its own failure is only a warning.
void LogOut();

}  // namespace cli
