#include "devserver/TraceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/NoThrow.h"
#include "logbook/WStrace.h"
#include "platform/os/Files.h"

namespace devserver {

TraceFile::~TraceFile() {
    if (m_Trimmer.joinable()) m_Trimmer.join();
    if (m_Fd >= 0) ::close(m_Fd);
}

void TraceFile::Open() {
    if (m_Fd >= 0) ::close(m_Fd);
    m_Fd = ::open(m_Path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    struct stat st {};
    m_Size = m_Fd >= 0 && ::fstat(m_Fd, &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

void TraceFile::SetFileName(const std::string& path) {
    std::lock_guard<std::mutex> g(m_Lock);
    m_Path = path;
    ++m_Generation;
    Open();
}

void TraceFile::SetMaxSize(long long bytes) {
    std::lock_guard<std::mutex> g(m_Lock);
    m_MaxSize = bytes;
}

void TraceFile::Print(const char* text1, long length1, const char* text2, long length2) {
    if (!text1 || !text2) return;
    NoThrowVoid([&] {  // a line lost to memory is not reported
        std::string line;
        WStrace::FormatLine(line, text1, length1 < 0 ? 0 : length1, text2,
                            length2 < 0 ? 0 : length2, true);
        std::lock_guard<std::mutex> g(m_Lock);
        if (m_Fd < 0) return;
        // One write with O_APPEND: a reader never sees half a line.
        const ssize_t n = ::write(m_Fd, line.data(), line.size());
        if (n > 0) m_Size += n;
        if (m_MaxSize > 0 && m_Size > m_MaxSize && !m_Trimming) {
            m_Trimming = true;
            if (m_Trimmer.joinable()) m_Trimmer.join();  // the last one is past its end
            m_Trimmer = std::thread([this, at = m_Generation] { DropOldestHalf(at); });
        }
    });
}

// Keeps the newest lines, at most half the limit, so trimming happens once per half.
void TraceFile::DropOldestHalf(uint64_t generation) {
    std::string path;
    long long keep = 0;
    {
        std::lock_guard<std::mutex> g(m_Lock);
        path = m_Path;
        keep = m_MaxSize / 2;
    }
    const std::string next = path + ".new";
    NoThrowVoid([&] {
        // Whole lines as read now; what follows the last of them is copied at the swap.
        std::string all;
        if (os::ReadWholeFile(path.c_str(), all) != 0) all.clear();
        const std::size_t last = all.rfind('\n');
        const std::size_t end = last == std::string::npos ? 0 : last + 1;
        std::size_t from =
            end > static_cast<std::size_t>(keep) ? end - static_cast<std::size_t>(keep) : 0;
        from = all.find('\n', from);
        from = from == std::string::npos || from >= end ? end : from + 1;
        const int out = ::open(next.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        bool ok = out >= 0 && os::WriteAll(out, all.data() + from, end - from) == 0;

        std::lock_guard<std::mutex> g(m_Lock);
        if (ok && generation == m_Generation) {
            const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            char block[65536];
            off_t at = static_cast<off_t>(end);
            ssize_t n = 0;
            while (ok && in >= 0 && (n = ::pread(in, block, sizeof block, at)) > 0) {
                ok = os::WriteAll(out, block, static_cast<std::size_t>(n)) == 0;
                at += n;
            }
            if (in >= 0) ::close(in);
            ok = ok && in >= 0 && n == 0 && ::rename(next.c_str(), path.c_str()) == 0;
            if (ok) Open();  // the file was replaced
        }
        if (out >= 0) ::close(out);
        if (!ok) ::unlink(next.c_str());
    });
    std::lock_guard<std::mutex> g(m_Lock);
    m_Trimming = false;
}

void TraceFile::Clean() {
    std::lock_guard<std::mutex> g(m_Lock);
    ++m_Generation;
    if (m_Fd >= 0 && ::ftruncate(m_Fd, 0) == 0) m_Size = 0;
}

}  // namespace devserver
