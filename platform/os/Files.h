// Files, folders and paths. The only place that knows the local path syntax.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace os {

inline constexpr char kPathSeparator = '/';

// Reads a whole regular file. -1 when it cannot be opened or read, or when it is
// larger than maxSize bytes (nothing is read then).
int ReadWholeFile(const char* path, std::unique_ptr<char[]>& data, int64_t& size, int64_t maxSize);
int ReadWholeFile(const char* path, std::string& out);

// Writes every byte to an open descriptor, again after an interruption: 0 or -1.
int WriteAll(int fd, const char* data, std::size_t size);

// Replaces the file atomically: a temporary file in the same folder, flushed to disk,
// then renamed over the old one. A crash leaves the old file or the new one, never half.
int ReplaceFile(const char* path, const void* data, std::size_t size);
inline int ReplaceFile(const char* path, std::string_view data) {
    return ReplaceFile(path, data.data(), data.size());
}

// A file written in pieces that replaces its target only when it is whole: the pieces
// go to a temporary file in the target's folder, which Commit flushes to disk and
// renames over the target. Until then the old file stays; a replacement that is never
// committed is removed (Discard, or the destructor).
class ReplacementFile {
public:
    ReplacementFile() = default;
    ~ReplacementFile() { Discard(); }
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Creates the temporary file beside target. -1 when it cannot be created.
    int Open(const char* target);
    int Write(const void* data, std::size_t size);
    // -1 when a write failed or the file cannot be flushed or renamed; the old file stays.
    // With freeReplacedLater the replaced file's blocks are released only by Discard (or
    // the destructor): a server answers first and pays for freeing a large file after.
    int Commit(bool freeReplacedLater = false);
    void Discard();
    bool IsOpen() const { return m_Fd >= 0; }
    // For writes that bypass Write (a socket spliced to the file); a failure of those
    // is the caller's to note with Fail, so that Commit refuses.
    int Handle() const { return m_Fd; }
    void Fail() { m_Failed = true; }

private:
    int m_Fd = -1;
    bool m_Failed = false;
    std::string m_Temp;
    std::string m_Target;
    std::string m_Replaced;  // a second name of the replaced file, until Discard
};

class DirBeneath;

// A regular file read in pieces; the descriptor closes with the object.
class FileReader {
public:
    FileReader() = default;
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // -1 when the path is no regular file or cannot be opened.
    int Open(const char* path);
    // A name in an open folder, not followed when it is a link.
    int OpenAt(const DirBeneath& dir, const char* name);
    // A path of names below an open folder ("a/b/c.html", each name checked by the
    // caller), reached without following a link at any part, in one call where the
    // kernel can. A FIFO or device is refused without waiting on it.
    int OpenBeneath(const DirBeneath& dir, const std::string& path);
    // The size when opened.
    int64_t Size() const { return m_Size; }
    // Up to size bytes: the count, 0 at the end, -1 on failure.
    long Read(void* buffer, std::size_t size);
    int Handle() const { return m_Fd; }

private:
    int OpenFd(int fd);  // takes fd over
    int m_Fd = -1;
    int64_t m_Size = 0;
};

// A folder below a root, reached without following a symbolic link at any of its parts
// (openat2 with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS where the kernel has it, else one
// part at a time with O_NOFOLLOW relative to the one before), and held open. Path()
// names that very folder through /proc/self/fd, so calls by path made while the object
// lives act inside it even when a part is swapped for a link meanwhile.
class DirBeneath {
public:
    DirBeneath() = default;
    ~DirBeneath() { Close(); }
    DirBeneath(const DirBeneath&) = delete;
    DirBeneath& operator=(const DirBeneath&) = delete;

    // root itself is opened as given (the operator's path), the parts below it without
    // following links; with create, missing parts are made. -1 when a part is missing,
    // is a link or no folder.
    int Open(const std::string& root, const std::vector<std::string>& parts, bool create = false);
    void Close();
    bool IsOpen() const { return m_Fd >= 0; }
    int Handle() const { return m_Fd; }
    const std::string& Path() const { return m_Path; }
    // A name inside the folder, by path.
    std::string Join(std::string_view name) const;
    // What name is inside the folder, the link itself for a link: 'f' a regular file,
    // 'd' a folder, 'o' anything else, 0 nothing.
    char KindOf(const std::string& name) const;

private:
    int m_Fd = -1;
    std::string m_Path;
};

// Appends in one write to a file created when missing. -1 when it cannot be opened.
int AppendToFile(const char* path, const void* data, std::size_t size);
// Creates the file anew, empty.
int TruncateFile(const char* path);

bool FileExists(const char* path);
bool IsDirectory(const char* path);
int64_t FileSize(const char* path);  // -1 when missing
int RemoveFile(const char* path);
int RenamePath(const char* from, const char* to);
int MakeDirectories(const char* path);  // like mkdir -p; 0 when it exists already

struct DirEntry {
    std::string name;
    bool isDirectory = false;
    int64_t size = 0;
    int64_t modifiedSeconds = 0;  // seconds since the epoch
};
// Entries of a folder without "." and "..", sorted by name. -1 when it cannot be read.
int ListDirectory(const char* path, std::vector<DirEntry>& out);

// Joins parts with the local separator ("root", "app", "data", "x.txt").
std::string JoinPath(std::initializer_list<std::string_view> parts);
// The protocol writes paths with backslashes; the local form uses the local separator.
std::string WirePathToLocal(std::string_view wirePath);
// The last part of a local path.
std::string BaseName(std::string_view path);
std::string DirName(std::string_view path);

// The start directory: recorded once at start, made current again before each access
// to a file named by a bare name.
void RecordStartDirectory();
const std::string& GetStartDirectory();
int EnterStartDirectory();
std::string CurrentDirectory();

}  // namespace os
