// The rule for the names of requests, parameters, data sources and users, shared by the
// studio, which checks a name before it sends anything, and the server, which refuses
// what breaks it: with one rule the studio never sends what the server will refuse.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace names {

// "," and ")" would split or end the command text's argument list, "(" opens one, and
// < > & would break the HTML tables that list the names.
inline constexpr std::string_view kRefusedCharacters = ",)(<>&";

inline bool HoldsControl(std::string_view value) {
    for (unsigned char c : value)
        if (c < 0x20 || c == 0x7f) return true;
    return false;
}

// Empty when value is a good name of at most width bytes, otherwise the reason,
// beginning with what ("Parameter name holds one of , ) ( < > &").
inline std::string CheckName(std::string_view what, std::string_view value, std::size_t width) {
    std::string why(what);
    if (value.empty()) return why + " is empty";
    if (value.size() > width)
        return why + " is longer than " + std::to_string(width) + " characters";
    if (HoldsControl(value)) return why + " holds a control character";
    if (value.find_first_of(kRefusedCharacters) != std::string_view::npos)
        return why + " holds one of , ) ( < > &";
    return {};
}

}  // namespace names
