// Growable owned buffers of 8-bit (Vessel) and 16-bit (VesselU) characters.
// Every count, position and capacity is in characters of the buffer's type.
#pragma once

#include <cstdint>

#include "common/Export.h"

template <class Ch>
class QV_VESSEL_API BasicVessel {
public:
    BasicVessel() = default;
    ~BasicVessel() { Free(); }
    BasicVessel(const BasicVessel&) = delete;
    BasicVessel& operator=(const BasicVessel&) = delete;

    // Discards any content, then allocates capacity + 1 zeroed characters. When an
    // append does not fit, the storage grows by what it needs, by the grow step or by
    // half its capacity, whichever is most; -1 (content kept) when it cannot grow.
    int Alloc(long initialCapacity, long growStep);
    void Free();

    // Appends count characters and writes a terminator after the new end.
    int AddContent(const Ch* source, long count);
    // Makes room for count more characters and counts them as used; copies nothing.
    int AddContentSize(long count);
    // Makes room for capacity characters in all, so that appends up to it neither move
    // the content nor take more than it; content kept. -1 when it cannot.
    int Reserve(long capacity);
    // Shortens the content to size characters and writes a terminator there; -1 when
    // size is negative or beyond the content.
    int Truncate(long size);
    // Overwrites in place; checked against capacity, never grows, never changes size.
    int InsertContent(long position, const Ch* source, long count);

    Ch* GetContent() { return m_Content; }
    const Ch* GetContent() const { return m_Content; }
    Ch* GetContent(long position) {
        return (position >= 0 && position < m_Size) ? m_Content + position : m_Content;
    }
    const Ch* GetContent(long position) const {
        return (position >= 0 && position < m_Size) ? m_Content + position : m_Content;
    }
    long GetSize() const { return m_Size; }
    long GetCapacity() const { return m_Capacity; }
    long GetGrowStep() const { return m_GrowStep; }
    // Changes on every Alloc and Free (never on growth), so a reader that keeps state
    // about the content can tell a new text from a longer one.
    unsigned GetGeneration() const { return m_Generation; }

    // First occurrence of the zero-terminated needle at or after start; the out
    // position is absolute. An empty needle matches at start.
    bool Contains(const Ch* needle, long* outPosition = nullptr, long start = 0) const;
    // The same with a known needle length (the needle holds no zero character).
    bool ContainsN(const Ch* needle, long needleLength, long* outPosition, long start) const;

private:
    int Realloc(long needed);

    Ch* m_Content = nullptr;
    int32_t m_Size = 0;
    int32_t m_Capacity = 0;
    int32_t m_GrowStep = 0;
    unsigned m_Generation = 0;
};

extern template class BasicVessel<char>;
extern template class BasicVessel<char16_t>;

using Vessel = BasicVessel<char>;
using VesselU = BasicVessel<char16_t>;
