// Append-only trace file shared by the threads of a process: one line per Print,
// opened, appended and closed each time, so the file can be read or emptied meanwhile.
//
// Order: SetFileName first; until then (or with an empty name) Print and Clean do nothing.
// Nothing here fails visibly: a file that cannot be written loses the line. Texts passed
// in are copied; the caller keeps them.
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
    // Status 1 (the default) prints; any other value turns Print and Clean off. Time
    // status 1 (the default) starts each line with the time-stamp field; any other value
    // leaves it out.
    void SetStatus(int status);
    int GetStatus() const;
    void SetTimeStatus(int status);
    int GetTimeStatus() const;

    // A file that grows past bytes (0: no limit) loses its oldest half, whole lines.
    void SetMaxSize(long long bytes);

    // Empties the file (while the status is 1).
    void Clean();
    // Appends one line ending in CR LF: the time-stamp field, length1 bytes of text1,
    // then length2 bytes of text2 (a length may be 0); nothing when a text is null.
    void Print(const char* text1, long length1, const char* text2, long length2);

    // The 25-character time-stamp field of a line.
    static constexpr int kTimeFieldWidth = 25;
    // A whole line as Print writes it (time field when withTime, the texts, CR LF), for
    // writers that keep their own file.
    static void FormatLine(std::string& line, const char* text1, long length1, const char* text2,
                           long length2, bool withTime);

private:
    QV_LOCAL static void GetTime(char* out, std::size_t size);
    QV_LOCAL void DropOldestHalf();  // under m_Mutex

    FixedText<259> m_FileName;
    mutable std::mutex m_Mutex;
    int m_Status = 1;
    int m_TimeStatus = 1;
    long long m_MaxSize = 0;
};
