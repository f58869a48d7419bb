// Growable owned buffers of 8-bit (Vessel) and 16-bit (VesselU) characters.
// Every count, position and capacity is in characters of the buffer's type.
//
// Results: the int operations return 0 on success and -1 on failure, and a failed
// operation leaves the content as it was. The buffer owns its storage: a pointer from
// GetContent stays valid until the next operation that may grow or free it (Alloc, Free,
// AddContent, AddContentSize, the destructor); the caller never frees it. Alloc is
// optional: an append to an empty buffer allocates what it needs.
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
    // half its capacity, whichever is most. -1, leaving the buffer empty, when a size is
    // not positive or the storage cannot be had.
    int Alloc(long initialCapacity, long growStep);
    // Releases the storage: size and capacity 0, GetContent null.
    void Free();

    // Appends count characters copied from source (the caller keeps source) and writes a
    // terminator after the new end. -1 for a null source, a count below 1, or when the
    // storage cannot grow.
    int AddContent(const Ch* source, long count);
    // Makes room for count more characters and counts them as used; copies nothing, so
    // the caller fills them through GetContent(old size). -1 for a negative count or when
    // the storage cannot grow.
    int AddContentSize(long count);
    // Makes room for capacity characters in all, so that appends up to it neither move
    // the content nor take more than it; content kept. -1 when it cannot.
    int Reserve(long capacity);
    // Shortens the content to size characters and writes a terminator there; -1 when
    // size is negative or beyond the content.
    int Truncate(long size);
    // Overwrites count characters at position in place; never grows, never changes the
    // size. -1 when position is outside 0..size or the characters would pass the capacity.
    int InsertContent(long position, const Ch* source, long count);

    // The characters, zero-terminated after GetSize() of them; null before the first
    // allocation and after Free. With a position: that character's address, or the start
    // when the position is outside 0..size-1.
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

    // Whether the zero-terminated needle occurs at or after start; the first occurrence's
    // absolute position goes to outPosition (may be null). An empty needle matches at
    // start; a null needle, or a start outside the content, finds nothing.
    bool Contains(const Ch* needle, long* outPosition = nullptr, long start = 0) const;
    // The same with a known needle length (the needle holds no zero character).
    bool ContainsN(const Ch* needle, long needleLength, long* outPosition, long start) const;

private:
    QV_LOCAL int Realloc(long needed);

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
