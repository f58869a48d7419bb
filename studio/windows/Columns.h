// Lines of text in columns under a fixed-pitch font. A column's width counts the cells
// its characters take on the screen (most take one, East Asian wide ones two, combining
// marks none), and a cut never falls inside a character, so a name that is not ASCII
// leaves the columns after it where the header puts them.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace qvw {

// Cells the UTF-8 text takes. A byte that starts no character counts one (it shows as
// one replacement mark); a character cut off at the very end counts none.
int DisplayWidth(std::string_view text);

// printf's "%s" conversions with the flag "-", a width and a precision ("%-25.25s",
// "%-6s", "%s"), and "%%": each conversion takes the next text. Width and precision
// count cells; a character that does not fit whole is left out, and a character cut off
// at the end of a text (by a fixed-width field) is dropped.
std::string FormatColumns(std::string_view format, std::initializer_list<std::string_view> texts);
// The same into buf of size bytes, zero-terminated, cut before a character that does not
// fit.
void FormatColumns(char* buf, std::size_t size, std::string_view format,
                   std::initializer_list<std::string_view> texts);

// The texts of a line that format made, one per conversion, without their padding: the
// cells a screen reader reads under the column headers.
std::vector<std::string> SplitColumns(std::string_view format, std::string_view line);

}  // namespace qvw
