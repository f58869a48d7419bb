// Small scanning helpers shared by the webproc sources (not installed).
#pragma once

#include <climits>
#include <cstring>

namespace webproc_detail {

// Characters of text before the first zero or stop character, at most max and never
// beyond avail (the bytes that really belong to the message).
inline long SpanUntil(const char* text, long avail, long max, const char* stops) {
    const long limit = avail < max ? avail : max;
    long n = 0;
    while (n < limit && text[n] != '\0' && !std::strchr(stops, text[n])) ++n;
    return n;
}

inline bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A decimal number read as atol reads it from the first n characters: leading blanks,
// an optional sign, digits up to the first other character; 0 when there are none.
// Out-of-range values saturate instead of overflowing.
inline long ParseLong(const char* text, long n) {
    long i = 0;
    while (i < n && IsSpace(text[i])) ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    unsigned long value = 0;
    const unsigned long limit = negative ? static_cast<unsigned long>(LONG_MAX) + 1UL
                                         : static_cast<unsigned long>(LONG_MAX);
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
        const unsigned digit = static_cast<unsigned>(text[i] - '0');
        if (value > (limit - digit) / 10) {
            value = limit;
        } else {
            value = value * 10 + digit;
        }
    }
    if (negative) return value == limit ? LONG_MIN : -static_cast<long>(value);
    return static_cast<long>(value);
}

// The same for the int-sized numbers of template markers, as atoi reads them.
inline int ParseInt(const char* text, long n) {
    const long v = ParseLong(text, n);
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
}

// Copies the zero-terminated from into to, which has room for size bytes (size > 0),
// cutting it to fit; whether it fitted whole.
inline bool CopyCut(const char* from, char* to, std::size_t size) {
    const std::size_t n = std::strlen(from);
    const std::size_t fits = n < size ? n : size - 1;
    std::memcpy(to, from, fits);
    to[fits] = '\0';
    return fits == n;
}

}  // namespace webproc_detail
