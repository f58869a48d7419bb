#include "devserver/Checks.h"

#include <cctype>
#include <cstdio>
#include <ctime>

#include "common/NameRule.h"
#include "platform/os/System.h"

namespace devserver {

namespace {

std::string Reason(std::string_view what, const char* why) {
    std::string r(what);
    r += ' ';
    r += why;
    return r;
}

}  // namespace

std::string CheckName(std::string_view what, std::string_view value, std::size_t width) {
    return names::CheckName(what, value, width);
}

std::string CheckText(std::string_view what, std::string_view value, std::size_t width) {
    if (value.size() > width)
        return Reason(what, ("is longer than " + std::to_string(width) + " characters").c_str());
    if (names::HoldsControl(value)) return Reason(what, "holds a control character");
    if (value.find_first_of("<>&") != std::string_view::npos)
        return Reason(what, "holds one of < > &");
    return {};
}

std::string CheckPassword(std::string_view what, std::string_view value, std::size_t width) {
    if (value.empty()) return Reason(what, "is empty");
    if (value.size() > width)
        return Reason(what, ("is longer than " + std::to_string(width) + " characters").c_str());
    if (names::HoldsControl(value)) return Reason(what, "holds a control character");
    return {};
}

bool ParseNumber(std::string_view text, long low, long high, long& out) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    if (i == text.size() || text.size() - i > 12) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    if (negative) v = -v;
    if (v < low || v > high) return false;
    out = static_cast<long>(v);
    return true;
}

bool HoldsNoCase(std::string_view v, std::string_view what) {
    for (std::size_t i = 0; i + what.size() <= v.size(); ++i) {
        std::size_t k = 0;
        while (k < what.size() && std::tolower(static_cast<unsigned char>(v[i + k])) ==
                                      std::tolower(static_cast<unsigned char>(what[k])))
            ++k;
        if (k == what.size()) return true;
    }
    return false;
}

bool HoldsArgumentEscape(std::string_view text) {
    for (std::string_view esc : {"%28", "%29", "%2c"})
        if (HoldsNoCase(text, esc)) return true;
    return false;
}

std::string CheckPathName(std::string_view what, std::string_view value, std::size_t width) {
    if (value.empty()) return Reason(what, "is empty");
    if (value.size() > width)
        return Reason(what, ("is longer than " + std::to_string(width) + " characters").c_str());
    if (value == "." || value == "..") return Reason(what, "leaves the application's area");
    if (value.find_first_of("/\\:") != std::string_view::npos)
        return Reason(what, "holds a slash or a drive letter");
    if (names::HoldsControl(value)) return Reason(what, "holds a control character");
    if (!os::IsUtf8(value)) return Reason(what, "is not valid UTF-8");
    // Dot names are kept for the server's own temporaries (atomic writes, staging).
    if (value[0] == '.') return Reason(what, "starts with a dot");
    if (value.front() == ' ' || value.back() == ' ')
        return Reason(what, "starts or ends with a blank");
    // The command text cannot carry these, and the list answers cannot show them.
    if (value.find_first_of(names::kRefusedCharacters) != std::string_view::npos)
        return Reason(what, "holds one of , ) ( < > &");
    // The command text decodes these to ( ) , : a name holding them means another name.
    if (HoldsArgumentEscape(value)) return Reason(what, "holds one of %28 %29 %2C");
    return {};
}

std::string CheckFileName(std::string_view name) {
    return CheckPathName("File name", name, kFileNameWidth);
}

std::string CheckFolder(std::string_view folder, std::vector<std::string>& parts) {
    parts.clear();
    if (folder.empty()) return {};
    if (folder.size() > kFolderWidth) return "Folder is longer than 1023 characters";
    std::size_t start = 0;
    for (;;) {
        std::size_t end = folder.find('\\', start);
        std::string_view part = folder.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        std::string why = CheckFileName(part);
        if (!why.empty()) {
            if (part.empty()) return "Folder has an empty part or a leading or trailing backslash";
            return "Folder " + why.substr(5);  // "File name ..." -> "Folder name ..."
        }
        parts.emplace_back(part);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return {};
}

std::string DisplayTime(long long secondsSinceEpoch) {
    std::time_t t = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", tm.tm_mday, tm.tm_mon + 1,
                  tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

}  // namespace devserver
