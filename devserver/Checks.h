// Checks for everything that arrives on the wire: names, texts, numbers, file names
// and folders. Each check answers an empty string when the value is acceptable, or a
// short reason a person understands.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace devserver {

// Field widths of the studio's records; longer values would be cut on its side.
inline constexpr std::size_t kNameWidth = 50;      // applications, requests, data sources
inline constexpr std::size_t kUserNameWidth = 20;  // users, database user names
inline constexpr std::size_t kPasswordWidth = 20;  // user and database passwords
inline constexpr std::size_t kDescriptionWidth = 50;
inline constexpr std::size_t kFileNameWidth = 99;
inline constexpr std::size_t kFolderWidth = 1023;

// A name of a request, parameter, data source or user: the rule the studio checks too
// (common/NameRule.h): not empty, at most width bytes, none of , ) ( < > & and no control
// character.
std::string CheckName(std::string_view what, std::string_view value, std::size_t width);
// A description: may be empty; at most width bytes; no < > & and no control character.
std::string CheckText(std::string_view what, std::string_view value, std::size_t width);
// A password: not empty, at most width bytes, no control character.
std::string CheckPassword(std::string_view what, std::string_view value, std::size_t width);

// A decimal number: optional '-', digits only, within [low, high].
bool ParseNumber(std::string_view text, long low, long high, long& out);

// The one rule for every name that becomes a path (an application's folder, a file, a
// folder's part): not empty, at most width bytes, not "." or "..", no slash of either
// kind, no ':' (drive letters), no control character (NUL too), valid UTF-8, no leading
// dot (the server's own temporaries) and no leading or trailing blank, none of
// , ) ( < > & and none of %28 %29 %2C in any case (the command text decodes those).
std::string CheckPathName(std::string_view what, std::string_view value, std::size_t width);
// Whether text holds %28, %29 or %2C in any case: the command text decodes them to
// ( ) , so an argument holding one would be split differently than it was sent.
bool HoldsArgumentEscape(std::string_view text);
// An application's name: CheckPathName at the name width.
inline std::string CheckAppName(std::string_view value) {
    return CheckPathName("Application name", value, kNameWidth);
}
// One component of a path inside an application's area: CheckPathName at kFileNameWidth.
std::string CheckFileName(std::string_view name);
// A folder as the Files window sends it: empty (the top) or components separated by
// single backslashes, each passing CheckFileName. Fills parts.
std::string CheckFolder(std::string_view folder, std::vector<std::string>& parts);

// "dd/mm/yyyy hh:mm:ss" in local time, the display text of modification times.
std::string DisplayTime(long long secondsSinceEpoch);

}  // namespace devserver
