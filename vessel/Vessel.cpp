#include "vessel/Vessel.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>

namespace {

constexpr long kMaxChars = std::numeric_limits<int32_t>::max() - 1;

// Byte-level search through glibc's two-way memmem (linear, vectorised); a 16-bit
// needle must also start on a character boundary, so misaligned hits resume one byte on.
template <class Ch>
const Ch* Find(const Ch* hay, size_t hayChars, const Ch* needle, size_t needleChars) {
    const char* h = reinterpret_cast<const char*>(hay);
    size_t hayBytes = hayChars * sizeof(Ch);
    const size_t needleBytes = needleChars * sizeof(Ch);
    const char* base = h;
    while (hayBytes >= needleBytes) {
        const char* hit = static_cast<const char*>(memmem(h, hayBytes, needle, needleBytes));
        if (!hit) return nullptr;
        if ((hit - base) % static_cast<long>(sizeof(Ch)) == 0)
            return reinterpret_cast<const Ch*>(hit);
        hayBytes -= static_cast<size_t>(hit + 1 - h);
        h = hit + 1;
    }
    return nullptr;
}

template <class Ch>
long Length(const Ch* s) {
    long n = 0;
    while (s[n] != 0) ++n;
    return n;
}

}  // namespace

template <class Ch>
int BasicVessel<Ch>::Alloc(long initialCapacity, long growStep) {
    Free();
    if (initialCapacity <= 0 || growStep <= 0 || initialCapacity > kMaxChars ||
        growStep > kMaxChars)
        return -1;
    auto* p = static_cast<Ch*>(std::calloc(static_cast<size_t>(initialCapacity) + 1, sizeof(Ch)));
    if (!p) return -1;
    m_Content = p;
    m_Capacity = static_cast<int32_t>(initialCapacity);
    m_GrowStep = static_cast<int32_t>(growStep);
    return 0;
}

template <class Ch>
void BasicVessel<Ch>::Free() {
    std::free(m_Content);
    m_Content = nullptr;
    m_Size = m_Capacity = m_GrowStep = 0;
    ++m_Generation;
}

template <class Ch>
int BasicVessel<Ch>::Realloc(long needed) {
    // The storage grows by half its capacity at least, so a text appended in many small
    // pieces is copied a bounded number of times in all (linear, not quadratic). The
    // grow step stays the least growth, and what the append needs is always enough.
    const long least = needed > m_GrowStep ? needed : m_GrowStep;
    if (least > kMaxChars - m_Capacity) return -1;  // sizes are 32-bit: never wrap
    long step = m_Capacity / 2 > least ? m_Capacity / 2 : least;
    if (step > kMaxChars - m_Capacity) step = kMaxChars - m_Capacity;
    // When the generous size cannot be had, the least one may still be.
    for (const long grow : {step, least}) {
        const long newCapacity = m_Capacity + grow;
        auto* p = static_cast<Ch*>(
            std::realloc(m_Content, (static_cast<size_t>(newCapacity) + 1) * sizeof(Ch)));
        if (p) {
            m_Content = p;
            m_Capacity = static_cast<int32_t>(newCapacity);
            return 0;
        }
        if (grow == least) break;
    }
    return -1;
}

template <class Ch>
int BasicVessel<Ch>::AddContent(const Ch* source, long count) {
    if (!source || count <= 0) return -1;
    if (count > kMaxChars - m_Size) return -1;
    if (m_Size + count > m_Capacity && Realloc(count) != 0) return -1;
    std::memcpy(m_Content + m_Size, source, static_cast<size_t>(count) * sizeof(Ch));
    m_Size += static_cast<int32_t>(count);
    m_Content[m_Size] = 0;
    return 0;
}

template <class Ch>
int BasicVessel<Ch>::AddContentSize(long count) {
    // A negative count would make the size negative and corrupt every later access.
    if (count < 0 || count > kMaxChars - m_Size) return -1;
    if (m_Size + count > m_Capacity && Realloc(count) != 0) return -1;
    if (!m_Content) {
        // Zero characters on a buffer without storage: still give it storage for the terminator.
        if (Realloc(0) != 0) return -1;
    }
    m_Size += static_cast<int32_t>(count);
    return 0;
}

template <class Ch>
int BasicVessel<Ch>::Reserve(long capacity) {
    if (capacity < 0 || capacity > kMaxChars) return -1;
    if (capacity <= m_Capacity && m_Content) return 0;
    auto* p =
        static_cast<Ch*>(std::realloc(m_Content, (static_cast<size_t>(capacity) + 1) * sizeof(Ch)));
    if (!p) return -1;
    if (!m_Content) p[0] = 0;
    m_Content = p;
    m_Capacity = static_cast<int32_t>(capacity);
    return 0;
}

template <class Ch>
int BasicVessel<Ch>::Truncate(long size) {
    if (size < 0 || size > m_Size) return -1;
    m_Size = static_cast<int32_t>(size);
    if (m_Content) m_Content[m_Size] = 0;
    return 0;
}

template <class Ch>
int BasicVessel<Ch>::InsertContent(long position, const Ch* source, long count) {
    // count > capacity - position, not position + count > capacity: the sum can overflow.
    if (position < 0 || position > m_Size || !source || count < 0 || count > m_Capacity - position)
        return -1;
    if (count > 0)
        std::memcpy(m_Content + position, source, static_cast<size_t>(count) * sizeof(Ch));
    return 0;
}

template <class Ch>
bool BasicVessel<Ch>::Contains(const Ch* needle, long* outPosition, long start) const {
    if (!needle) return false;
    return ContainsN(needle, Length(needle), outPosition, start);
}

template <class Ch>
bool BasicVessel<Ch>::ContainsN(const Ch* needle, long n, long* outPosition, long start) const {
    if (!needle || start < 0 || start >= m_Size || m_Size == 0 || n < 0) return false;
    if (outPosition) *outPosition = 0;
    if (n == 0) {
        if (outPosition) *outPosition = start;
        return true;
    }
    if (n > m_Size - start) return false;
    const Ch* hit = Find(m_Content + start, static_cast<size_t>(m_Size - start), needle,
                         static_cast<size_t>(n));
    if (!hit) return false;
    if (outPosition) *outPosition = hit - m_Content;
    return true;
}

template class BasicVessel<char>;
template class BasicVessel<char16_t>;
