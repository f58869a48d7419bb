#include "logbook/WStrace.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "common/NoThrow.h"
#include "platform/os/Files.h"
#include "platform/os/System.h"

void WStrace::SetFileName(const char* path) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (!path || std::strlen(path) >= 260)
        m_FileName.Clear();
    else
        m_FileName = path;
}

const char* WStrace::GetFileName() const {
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_FileName.c_str();
}

void WStrace::SetStatus(int status) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Status = status;
}

int WStrace::GetStatus() const {
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Status;
}

void WStrace::SetTimeStatus(int status) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_TimeStatus = status;
}

int WStrace::GetTimeStatus() const {
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_TimeStatus;
}

void WStrace::SetMaxSize(long long bytes) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_MaxSize = bytes;
}

void WStrace::GetTime(char* out, std::size_t size) {
    const os::LocalTime t = os::GetLocalTime();
    std::snprintf(out, size, "%-2.2i/%-2.2i/%-4.4i %-2.2i:%-2.2i:%-2.2i:%-3.3i", t.day, t.month,
                  t.year, t.hour, t.minute, t.second, t.millisecond);
}

void WStrace::FormatLine(std::string& line, const char* text1, long length1, const char* text2,
                         long length2, bool withTime) {
    line.clear();
    line.reserve(static_cast<std::size_t>(kTimeFieldWidth + length1 + length2 + 2));
    if (withTime) {
        char time[32];
        GetTime(time, sizeof time);
        char field[kTimeFieldWidth + 1];
        std::snprintf(field, sizeof field, "%-25.25s", time);
        line.append(field, kTimeFieldWidth);
    }
    line.append(text1, static_cast<std::size_t>(length1));
    line.append(text2, static_cast<std::size_t>(length2));
    line.append("\r\n", 2);
}

void WStrace::Print(const char* text1, long length1, const char* text2, long length2) {
    NoThrowVoid([&] {
        if (!text1 || !text2) return;
        if (length1 < 0) length1 = 0;
        if (length2 < 0) length2 = 0;
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_Status != 1 || m_FileName.empty()) return;
        // The whole line goes out in one append, so even another process's reader never
        // sees half a line.
        std::string line;
        FormatLine(line, text1, length1, text2, length2, m_TimeStatus == 1);
        os::AppendToFile(m_FileName.c_str(), line.data(),
                         line.size());  // a lost line is not reported
        if (m_MaxSize > 0 && os::FileSize(m_FileName.c_str()) > m_MaxSize) DropOldestHalf();
    });
}

// Keeps the newest lines, at most half the limit, so trimming happens once per half.
void WStrace::DropOldestHalf() {
    std::string all;
    if (os::ReadWholeFile(m_FileName.c_str(), all) != 0) return;
    std::size_t from = all.size() - static_cast<std::size_t>(m_MaxSize / 2);
    from = all.find('\n', from);
    from = from == std::string::npos ? all.size() : from + 1;
    os::ReplaceFile(m_FileName.c_str(), std::string_view(all).substr(from));
}

void WStrace::Clean() {
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_Status != 1 || m_FileName.empty()) return;
    os::TruncateFile(m_FileName.c_str());
}
