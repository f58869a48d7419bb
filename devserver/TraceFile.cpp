#include "devserver/TraceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/NoThrow.h"
#include "logbook/WStrace.h"
#include "platform/os/Files.h"

namespace devserver {

TraceFile::~TraceFile() {
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
        if (m_MaxSize > 0 && m_Size > m_MaxSize) DropOldestHalf();
    });
}

// Keeps the newest lines, at most half the limit, so trimming happens once per half.
void TraceFile::DropOldestHalf() {
    std::string all;
    if (os::ReadWholeFile(m_Path.c_str(), all) != 0) return;
    std::size_t from = all.size() > static_cast<std::size_t>(m_MaxSize / 2)
                           ? all.size() - static_cast<std::size_t>(m_MaxSize / 2)
                           : 0;
    from = all.find('\n', from);
    from = from == std::string::npos ? all.size() : from + 1;
    os::ReplaceFile(m_Path.c_str(), std::string_view(all).substr(from));
    Open();  // the file was replaced
}

void TraceFile::Clean() {
    std::lock_guard<std::mutex> g(m_Lock);
    if (m_Fd >= 0 && ::ftruncate(m_Fd, 0) == 0) m_Size = 0;
}

}  // namespace devserver
