// Whole-file moves between local files and buffers, for uploads and downloads.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>

#include "platform/os/Files.h"
#include "vessel/Vessel.h"

// Appends the whole file to the buffer. -1 (buffer unchanged) when the file cannot be
// opened or read, or when it would not fit a buffer (sizes are 32-bit).
inline int ReadLocalFile(const char* path, Vessel& buffer) {
    if (!path) return -1;
    const int64_t room = std::numeric_limits<int32_t>::max() - 1 - buffer.GetSize();
    std::unique_ptr<char[]> data;
    int64_t size = 0;
    if (os::ReadWholeFile(path, data, size, room) != 0) return -1;
    if (size == 0) return 0;
    return buffer.AddContent(data.get(), static_cast<long>(size));
}

// Replaces the file with exactly the buffer's bytes, atomically. -1 when it cannot be
// written; the old file then stays as it was.
inline int WriteLocalFile(const char* path, const Vessel& buffer) {
    if (!path) return -1;
    return os::ReplaceFile(path, buffer.GetContent(), static_cast<std::size_t>(buffer.GetSize()));
}
