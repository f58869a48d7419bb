// Process-level services: the single-instance lock, local time, text conversion.
#pragma once

#include <string>
#include <string_view>

namespace os {

// A per-user lock that stands for one running instance. The kernel releases it when
// the process ends, however it ends, so a crash never leaves a stale lock behind.
class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock() { Release(); }
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // true when this object now holds the lock named name; false when another holder
    // (this process or another) has it, or the lock file cannot be made.
    bool Acquire(std::string_view name);
    void Release();
    bool Held() const { return m_Fd >= 0; }
    // Where the lock files live: $XDG_RUNTIME_DIR, else a per-user folder in /tmp.
    static std::string LockDirectory();

private:
    int m_Fd = -1;
};

struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    int dayOfWeek = 0;  // 0 Sunday
};
LocalTime GetLocalTime();

// UTF-8 <-> UTF-16. Invalid input (bad bytes, overlong forms, surrogates encoded in
// UTF-8, lone surrogates in UTF-16) becomes U+FFFD; nothing is read or written out of bounds.
std::u16string Utf8ToUtf16(std::string_view utf8);
// The same into out, which has room for utf8.size() units (never more are needed):
// the number of units written.
std::size_t Utf8ToUtf16(std::string_view utf8, char16_t* out);
std::string Utf16ToUtf8(std::u16string_view utf16);
// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view text);
// Latin-1 bytes as UTF-8, and back: false (out untouched) when the text holds a
// character above U+00FF or is not UTF-8.
std::string Latin1ToUtf8(std::string_view latin1);
bool Utf8ToLatin1(std::string_view utf8, std::string& out);

// Milliseconds from a steady clock, for time-outs and measurements.
long long SteadyMillis();

}  // namespace os
