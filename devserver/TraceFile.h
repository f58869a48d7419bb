// A trace file the server keeps open: one write per line, its size counted in memory,
// the oldest half dropped past a limit, without opening the file for each line. Lines
// are those of the library's trace (WStrace), so every reader sees one format.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace devserver {

class TraceFile {
public:
    TraceFile() = default;
    ~TraceFile();
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;

    // Opens (creates) the file to append to; lines before this go nowhere.
    void SetFileName(const std::string& path);
    // A file that grows past bytes (0: no limit) loses its oldest half, whole lines. That
    // is done beside the writers, which wait only for the file to be swapped: for a
    // moment the file may hold more than the limit.
    void SetMaxSize(long long bytes);
    void Print(const char* text1, long length1, const char* text2, long length2);
    // Empties the file.
    void Clean();
    const char* GetFileName() const { return m_Path.c_str(); }

private:
    void Open();  // under m_Lock
    // Writes the newest lines to a new file, then swaps it in with what came meanwhile.
    void DropOldestHalf(uint64_t generation);

    std::mutex m_Lock;
    std::string m_Path;
    int m_Fd = -1;
    long long m_Size = 0;
    long long m_MaxSize = 0;
    uint64_t m_Generation = 0;  // a new name or an emptied file: a trimming under way stops
    bool m_Trimming = false;
    std::thread m_Trimmer;
};

}  // namespace devserver
