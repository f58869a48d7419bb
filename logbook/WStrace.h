// Append-only trace file shared by the threads of a process: one line per Print,
// opened, appended and closed each time, so the file can be read or emptied meanwhile.
#pragma once

#include <mutex>
#include <string>

#include "common/Export.h"
#include "common/FixedText.h"

class QV_LOGBOOK_API WStrace {
public:
    WStrace() = default;
    WStrace(const WStrace&) = delete;
    WStrace& operator=(const WStrace&) = delete;

    // Every setting is written and read under the object's lock, so a thread may change
    // one while others print.
    // A path of 260 characters or more sets an empty name.
    void SetFileName(const char* path);
    // The name's text stays valid until the next SetFileName.
    const char* GetFileName() const;
    void SetStatus(int status);
    int GetStatus() const;
    void SetTimeStatus(int status);
    int GetTimeStatus() const;

    // A file that grows past bytes (0: no limit) loses its oldest half, whole lines.
    void SetMaxSize(long long bytes);

    void Clean();
    void Print(const char* text1, long length1, const char* text2, long length2);

    // The 25-character time-stamp field of a line.
    static constexpr int kTimeFieldWidth = 25;
    // A whole line as Print writes it (time field when withTime, the texts, CR LF), for
    // writers that keep their own file.
    static void FormatLine(std::string& line, const char* text1, long length1, const char* text2,
                           long length2, bool withTime);

private:
    static void GetTime(char* out, std::size_t size);
    void DropOldestHalf();  // under m_Mutex

    FixedText<259> m_FileName;
    mutable std::mutex m_Mutex;
    int m_Status = 1;
    int m_TimeStatus = 1;
    long long m_MaxSize = 0;
};
