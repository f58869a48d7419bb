// A bounded text field: N characters and a terminator. Assignment cuts to the width,
// so no field can overrun and the cut rule lives in one place.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

template <std::size_t N>
class FixedText {
public:
    static constexpr std::size_t kWidth = N;

    FixedText() { m_Text[0] = '\0'; }
    FixedText(std::string_view s) { Set(s); }  // NOLINT: implicit, like the char array it replaces
    FixedText& operator=(std::string_view s) {
        Set(s);
        return *this;
    }
    FixedText& operator=(const char* s) {
        Set(s ? std::string_view(s) : std::string_view());
        return *this;
    }

    // Cuts at N characters; also stops at an embedded zero, as a C string would.
    void Set(std::string_view s) {
        std::size_t n = s.size() < N ? s.size() : N;
        if (n) {
            const void* zero = std::memchr(s.data(), '\0', n);
            if (zero) n = static_cast<std::size_t>(static_cast<const char*>(zero) - s.data());
            std::memmove(m_Text, s.data(), n);
        }
        m_Text[n] = '\0';
    }
    void Clear() { m_Text[0] = '\0'; }

    const char* c_str() const { return m_Text; }
    operator const char*() const { return m_Text; }  // NOLINT: reads like the char array
    std::string_view view() const { return std::string_view(m_Text); }
    std::string str() const { return std::string(m_Text); }
    std::size_t size() const { return std::strlen(m_Text); }
    bool empty() const { return m_Text[0] == '\0'; }
    // Raw storage for bounded formatting (snprintf into data(), capacity()).
    char* data() { return m_Text; }
    static constexpr std::size_t capacity() { return N + 1; }

    bool operator==(const char* other) const { return other && view() == other; }
    bool operator==(std::string_view other) const { return view() == other; }

private:
    char m_Text[N + 1];
};
