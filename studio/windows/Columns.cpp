#include "studio/windows/Columns.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace qvw {

namespace {

struct Range {
    char32_t first, last;
};

// Characters that take no cell of their own: combining marks, joiners, variation
// selectors.
constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F},   {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x05BF, 0x05BF}, {0x05C1, 0x05C2},
    {0x05C4, 0x05C5},   {0x05C7, 0x05C7}, {0x0610, 0x061A}, {0x064B, 0x065F}, {0x0670, 0x0670},
    {0x06D6, 0x06DC},   {0x06DF, 0x06E4}, {0x06E7, 0x06E8}, {0x06EA, 0x06ED}, {0x0900, 0x0902},
    {0x093C, 0x093C},   {0x0941, 0x0948}, {0x094D, 0x094D}, {0x0E31, 0x0E31}, {0x0E34, 0x0E3A},
    {0x0E47, 0x0E4E},   {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F}, {0x202A, 0x202E},
    {0x2060, 0x2064},   {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF},
    {0xE0100, 0xE01EF},
};

// Characters that take two cells: East Asian wide and full-width forms, and emoji.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x23F0, 0x23F0},   {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},
    {0x2648, 0x2653},   {0x267F, 0x267F},   {0x2693, 0x2693},   {0x26A1, 0x26A1},
    {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},   {0x26CE, 0x26CE},
    {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},
    {0x2728, 0x2728},   {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},
    {0x2757, 0x2757},   {0x2795, 0x2797},   {0x27B0, 0x27B0},   {0x27BF, 0x27BF},
    {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},   {0x2E80, 0x303E},
    {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
    {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},
    {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F004, 0x1F004},
    {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F251},
    {0x1F300, 0x1F64F}, {0x1F680, 0x1F6FF}, {0x1F900, 0x1F9FF}, {0x1FA70, 0x1FAFF},
    {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

template <std::size_t N>
bool In(const Range (&table)[N], char32_t c) {
    const Range* r = std::upper_bound(std::begin(table), std::end(table), c,
                                      [](char32_t v, const Range& x) { return v < x.first; });
    return r != std::begin(table) && c <= (r - 1)->last;
}

// One character of the text: its bytes and cells. A byte that starts no well-formed
// character is one byte of one cell; a character cut off by the end of the text is the
// rest of the text with no cell (cut: it is dropped).
struct Char {
    std::size_t bytes = 1;
    int cells = 1;
    bool cut = false;
};

Char Next(std::string_view s, std::size_t at) {
    const auto b0 = static_cast<unsigned char>(s[at]);
    Char ch;
    if (b0 < 0x80) return ch;
    std::size_t len = 0;
    char32_t c = 0, min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2, c = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3, c = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4, c = b0 & 0x07, min = 0x10000;
    } else {
        return ch;  // a continuation byte or a byte no character starts with
    }
    std::size_t i = 1;
    for (; i < len && at + i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[at + i]);
        if ((b & 0xC0) != 0x80) return ch;
        c = (c << 6) | (b & 0x3F);
    }
    if (i < len) {
        ch.bytes = s.size() - at;
        ch.cells = 0;
        ch.cut = true;
        return ch;
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return ch;
    ch.bytes = len;
    ch.cells = In(kZeroWidth, c) ? 0 : In(kWide, c) ? 2 : 1;
    return ch;
}

// The text's characters that fit into cells (all when cells < 0), appended to out; the
// cells they take.
int Append(std::string& out, std::string_view text, int cells) {
    int used = 0;
    for (std::size_t at = 0; at < text.size();) {
        const Char ch = Next(text, at);
        if (ch.cut) break;
        if (cells >= 0 && used + ch.cells > cells) break;
        out.append(text.substr(at, ch.bytes));
        used += ch.cells;
        at += ch.bytes;
    }
    return used;
}

}  // namespace

int DisplayWidth(std::string_view text) {
    int cells = 0;
    for (std::size_t at = 0; at < text.size();) {
        const Char ch = Next(text, at);
        cells += ch.cells;
        at += ch.bytes;
    }
    return cells;
}

std::string FormatColumns(std::string_view format, std::initializer_list<std::string_view> texts) {
    std::string out;
    const std::string_view* arg = texts.begin();
    auto number = [&format](std::size_t& i) {
        int n = 0;
        while (i < format.size() && format[i] >= '0' && format[i] <= '9')
            n = std::min(n * 10 + (format[i++] - '0'), 10000);
        return n;
    };
    for (std::size_t i = 0; i < format.size();) {
        if (format[i] != '%') {
            out += format[i++];
            continue;
        }
        if (++i < format.size() && format[i] == '%') {
            out += format[i++];
            continue;
        }
        bool left = false;
        while (i < format.size() && format[i] == '-') left = true, ++i;
        const int width = number(i);
        int precision = -1;
        if (i < format.size() && format[i] == '.') precision = number(++i);
        if (i < format.size()) ++i;  // the conversion: every one is "s" here
        const std::string_view text = arg != texts.end() ? *arg++ : std::string_view();
        std::string cell;
        const int used = Append(cell, text, precision);
        const std::string pad(static_cast<std::size_t>(std::max(0, width - used)), ' ');
        out += left ? cell + pad : pad + cell;
    }
    return out;
}

void FormatColumns(char* buf, std::size_t size, std::string_view format,
                   std::initializer_list<std::string_view> texts) {
    if (!buf || size == 0) return;
    const std::string line = FormatColumns(format, texts);
    std::size_t n = std::min(line.size(), size - 1);
    // Back to the start of a character when the buffer ends inside one.
    if (n < line.size())
        while (n > 0 && (static_cast<unsigned char>(line[n]) & 0xC0) == 0x80) --n;
    std::memcpy(buf, line.data(), n);
    buf[n] = '\0';
}

std::vector<std::string> SplitColumns(std::string_view format, std::string_view line) {
    std::vector<std::string> cells;
    std::size_t at = 0;
    // Takes up to width cells of the line (the rest of it when width is negative).
    auto take = [&line, &at](int width) {
        std::string out;
        int used = 0;
        while (at < line.size()) {
            const Char ch = Next(line, at);
            if (width >= 0 && used + ch.cells > width) break;
            out.append(line.substr(at, ch.bytes));
            used += ch.cells;
            at += ch.bytes;
        }
        return out;
    };
    for (std::size_t i = 0; i < format.size();) {
        if (format[i] != '%' || (i + 1 < format.size() && format[i + 1] == '%')) {
            i += format[i] == '%' ? 2 : 1;
            take(1);
            continue;
        }
        ++i;
        while (i < format.size() && format[i] == '-') ++i;
        int width = 0;
        while (i < format.size() && format[i] >= '0' && format[i] <= '9')
            width = std::min(width * 10 + (format[i++] - '0'), 10000);
        while (i < format.size() && format[i] != 's') ++i;  // the precision
        if (i < format.size()) ++i;
        const bool last = format.find('%', i) == std::string_view::npos;
        std::string cell = take(last || width == 0 ? -1 : width);
        while (!cell.empty() && cell.back() == ' ') cell.pop_back();
        while (!cell.empty() && cell.front() == ' ') cell.erase(cell.begin());
        cells.push_back(std::move(cell));
    }
    return cells;
}

}  // namespace qvw
