#include "platform/os/System.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <utility>

#include "platform/os/Files.h"

namespace os {

std::string InstanceLock::LockDirectory() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime && IsDirectory(runtime)) return runtime;
    return "/tmp/quorvel-" + std::to_string(::getuid());
}

bool InstanceLock::Acquire(std::string_view name) {
    Release();
    std::string dir = LockDirectory();
    if (!IsDirectory(dir.c_str())) {
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    std::string path = JoinPath({dir, "quorvel-" + std::string(name) + ".lock"});
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_Fd = fd;
    return true;
}

void InstanceLock::Release() {
    if (m_Fd >= 0) {
        ::flock(m_Fd, LOCK_UN);
        ::close(m_Fd);
        m_Fd = -1;
    }
}

LocalTime GetLocalTime() {
    struct timeval tv {};
    ::gettimeofday(&tv, nullptr);
    struct tm tm {};
    time_t secs = tv.tv_sec;
    ::localtime_r(&secs, &tm);
    LocalTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.millisecond = static_cast<int>(tv.tv_usec / 1000);
    t.dayOfWeek = tm.tm_wday;
    return t;
}

long long SteadyMillis() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void PutUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

std::size_t Utf8ToUtf16(std::string_view in, char16_t* out) {
    char16_t* const first = out;
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    const std::size_t n = in.size();
    std::size_t i = 0;
    while (i < n) {
        unsigned char b = s[i];
        if (b < 0x80) {
            *out++ = b;
            ++i;
            continue;
        }
        int len = 0;
        char32_t c = 0, min = 0;
        if ((b & 0xE0) == 0xC0) {
            len = 2, c = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3, c = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4, c = b & 0x07, min = 0x10000;
        }
        if (len == 0 || i + static_cast<std::size_t>(len) > n) {
            // A stray byte or a sequence cut by the end: one replacement, step one byte.
            *out++ = static_cast<char16_t>(kReplacement);
            ++i;
            continue;
        }
        bool ok = true;
        for (int k = 1; k < len; ++k) {
            if ((s[i + static_cast<std::size_t>(k)] & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (s[i + static_cast<std::size_t>(k)] & 0x3F);
        }
        if (!ok || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            *out++ = static_cast<char16_t>(kReplacement);
            ++i;
            continue;
        }
        if (c < 0x10000) {
            *out++ = static_cast<char16_t>(c);
        } else {
            c -= 0x10000;
            *out++ = static_cast<char16_t>(0xD800 + (c >> 10));
            *out++ = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        }
        i += static_cast<std::size_t>(len);
    }
    return static_cast<std::size_t>(out - first);
}

std::u16string Utf8ToUtf16(std::string_view in) {
    std::u16string out(in.size(), u'\0');
    out.resize(Utf8ToUtf16(in, out.data()));
    return out;
}

bool IsUtf8(std::string_view v) {
    for (std::size_t i = 0; i < v.size();) {
        const unsigned char c = static_cast<unsigned char>(v[i]);
        std::size_t n = 0;
        unsigned cp = 0, least = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xe0) == 0xc0) {
            n = 1, cp = c & 0x1f, least = 0x80;
        } else if ((c & 0xf0) == 0xe0) {
            n = 2, cp = c & 0x0f, least = 0x800;
        } else if ((c & 0xf8) == 0xf0) {
            n = 3, cp = c & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (i + n >= v.size()) return false;
        for (std::size_t k = 1; k <= n; ++k) {
            const unsigned char d = static_cast<unsigned char>(v[i + k]);
            if ((d & 0xc0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3f);
        }
        if (cp < least || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return false;
        i += n + 1;
    }
    return true;
}

std::string Latin1ToUtf8(std::string_view in) {
    std::string out;
    out.reserve(in.size() + in.size() / 8);
    for (char ch : in) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xc0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return out;
}

bool Utf8ToLatin1(std::string_view in, std::string& out) {
    std::string latin1;
    latin1.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(in[i]);
        if (c < 0x80) {
            latin1 += static_cast<char>(c);
            continue;
        }
        // Only C2 and C3 lead to U+0080..U+00FF.
        if ((c != 0xc2 && c != 0xc3) || i + 1 >= in.size()) return false;
        const unsigned char d = static_cast<unsigned char>(in[++i]);
        if ((d & 0xc0) != 0x80) return false;
        latin1 += static_cast<char>(((c & 0x03) << 6) | (d & 0x3f));
    }
    out = std::move(latin1);
    return true;
}

std::string Utf16ToUtf8(std::u16string_view in) {
    std::string out;
    out.reserve(in.size());
    const std::size_t n = in.size();
    for (std::size_t i = 0; i < n; ++i) {
        char32_t c = in[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 < n && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
                ++i;
            } else {
                c = kReplacement;
            }
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            c = kReplacement;
        }
        PutUtf8(out, c);
    }
    return out;
}

}  // namespace os
