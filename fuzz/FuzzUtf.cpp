// UTF-8 <-> UTF-16 and Latin-1 <-> UTF-8 on arbitrary bytes: never out of bounds, and
// valid output round-trips.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/os/System.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view in(reinterpret_cast<const char*>(data), size);
    std::u16string u = os::Utf8ToUtf16(in);
    std::string back = os::Utf16ToUtf8(u);
    // What came out is valid, so converting it again changes nothing.
    if (os::Utf8ToUtf16(back) != u) std::abort();
    std::u16string raw(reinterpret_cast<const char16_t*>(data), size / 2);
    std::string utf8 = os::Utf16ToUtf8(raw);
    if (os::Utf16ToUtf8(os::Utf8ToUtf16(utf8)) != utf8) std::abort();
    // The strict check agrees with the converter, and Latin-1 comes back byte for byte.
    if (os::IsUtf8(in) && back != in) std::abort();
    const std::string wide = os::Latin1ToUtf8(in);
    std::string latin1;
    if (!os::IsUtf8(wide) || !os::Utf8ToLatin1(wide, latin1) || latin1 != in) std::abort();
    return 0;
}
