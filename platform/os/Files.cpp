#include "platform/os/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#ifdef SYS_openat2
#include <linux/openat2.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace os {

namespace {

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Release() {
        int f = fd;
        fd = -1;
        return f;
    }
};

std::string& StartDir() {
    static std::string dir;
    return dir;
}

}  // namespace

int WriteAll(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return 0;
}

int ReadWholeFile(const char* path, std::unique_ptr<char[]>& data, int64_t& size, int64_t maxSize) {
    size = 0;
    if (!path) return -1;
    Fd f(::open(path, O_RDONLY | O_CLOEXEC));
    if (f.fd < 0) return -1;
    struct stat st {};
    if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    if (st.st_size < 0 || st.st_size > maxSize) return -1;
    const auto n = static_cast<std::size_t>(st.st_size);
    std::unique_ptr<char[]> buf(new (std::nothrow) char[n + 1]);
    if (!buf) return -1;
    std::size_t got = 0;
    while (got < n) {
        ssize_t r = ::read(f.fd, buf.get() + got, n - got);
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;  // the file shrank meanwhile: take what is there
        got += static_cast<std::size_t>(r);
    }
    buf[got] = '\0';
    data = std::move(buf);
    size = static_cast<int64_t>(got);
    return 0;
}

int ReadWholeFile(const char* path, std::string& out) {
    std::unique_ptr<char[]> data;
    int64_t size = 0;
    if (ReadWholeFile(path, data, size, INT64_MAX / 2) != 0) return -1;
    out.assign(data.get(), static_cast<std::size_t>(size));
    return 0;
}

int ReplacementFile::Open(const char* target) {
    Discard();
    if (!target || !*target) return -1;
    m_Target = target;
    std::string tmp = JoinPath({DirName(target), "." + BaseName(target) + ".XXXXXX"});
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return -1;
    m_Fd = fd;
    m_Temp = name.data();
    m_Failed = false;
    // mkstemp creates 0600; give the file the mode the old one had, or the ordinary mode
    // a plain create would.
    mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat old {};
    const mode_t mode = (::stat(target, &old) == 0) ? (old.st_mode & 07777) : (0666 & ~mask);
    if (::fchmod(m_Fd, mode) != 0) m_Failed = true;
    return 0;
}

int ReplacementFile::Write(const void* data, std::size_t size) {
    if (m_Fd < 0 || m_Failed) return -1;
    if (size > 0 && WriteAll(m_Fd, static_cast<const char*>(data), size) != 0) {
        m_Failed = true;
        return -1;
    }
    return 0;
}

int ReplacementFile::Commit(bool freeReplacedLater) {
    if (m_Fd < 0) return -1;
    bool ok = !m_Failed && ::fsync(m_Fd) == 0;
    ok = ::close(m_Fd) == 0 && ok;
    m_Fd = -1;
    // A second link keeps the old file's blocks until Discard; the temporary file's
    // name is ours alone, so the name beside it is too. Without the link (no old file,
    // or links refused) the rename frees them at once, as it would anyway.
    if (ok && freeReplacedLater) {
        const std::string kept = m_Temp + ".old";
        if (::link(m_Target.c_str(), kept.c_str()) == 0) m_Replaced = kept;
    }
    if (!ok || ::rename(m_Temp.c_str(), m_Target.c_str()) != 0) {
        ::unlink(m_Temp.c_str());
        m_Temp.clear();
        if (!m_Replaced.empty()) ::unlink(m_Replaced.c_str());
        m_Replaced.clear();
        return -1;
    }
    m_Temp.clear();
    return 0;
}

void ReplacementFile::Discard() {
    if (m_Fd >= 0) ::close(m_Fd);
    m_Fd = -1;
    if (!m_Temp.empty()) ::unlink(m_Temp.c_str());
    m_Temp.clear();
    if (!m_Replaced.empty()) ::unlink(m_Replaced.c_str());
    m_Replaced.clear();
}

namespace {

// Below dir without a link at any part, in one call; -2 when the kernel lacks openat2.
int OpenBeneathAtOnce(int dir, const std::string& rel) {
#ifdef SYS_openat2
    open_how how{};
    how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    for (;;) {
        const long fd = ::syscall(SYS_openat2, dir, rel.c_str(), &how, sizeof how);
        if (fd >= 0) return static_cast<int>(fd);
        if (errno == EINTR || errno == EAGAIN) continue;
        return errno == ENOSYS || errno == EPERM ? -2 : -1;  // EPERM: a seccomp filter
    }
#else
    (void)dir;
    (void)rel;
    return -2;
#endif
}

}  // namespace

int DirBeneath::Open(const std::string& root, const std::vector<std::string>& parts, bool create) {
    Close();
    Fd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.fd < 0) return -1;
    std::string rel;
    for (const auto& p : parts) {
        // "." and ".." are no parts: they would leave or skip the parts checked.
        if (p.empty() || p == "." || p == ".." || p.find('/') != std::string::npos) return -1;
        rel += (rel.empty() ? "" : "/") + p;
    }
    int at = rel.empty() ? -2 : (create ? -2 : OpenBeneathAtOnce(fd.fd, rel));
    if (at == -1) return -1;
    if (at >= 0) {
        ::close(fd.Release());
        fd.fd = at;
    } else {
        for (const auto& p : parts) {
            int next = ::openat(fd.fd, p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next < 0 && errno == ENOENT && create &&
                (::mkdirat(fd.fd, p.c_str(), 0777) == 0 || errno == EEXIST))
                next = ::openat(fd.fd, p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next < 0) return -1;
            ::close(fd.Release());
            fd.fd = next;
        }
    }
    m_Fd = fd.Release();
    m_Path = "/proc/self/fd/" + std::to_string(m_Fd);
    return 0;
}

void DirBeneath::Close() {
    if (m_Fd >= 0) ::close(m_Fd);
    m_Fd = -1;
    m_Path.clear();
}

std::string DirBeneath::Join(std::string_view name) const {
    return m_Path + "/" + std::string(name);
}

char DirBeneath::KindOf(const std::string& name) const {
    struct stat st {};
    if (m_Fd < 0 || ::fstatat(m_Fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return 0;
    return S_ISREG(st.st_mode) ? 'f' : S_ISDIR(st.st_mode) ? 'd' : 'o';
}

FileReader::~FileReader() {
    if (m_Fd >= 0) ::close(m_Fd);
}

int FileReader::Open(const char* path) {
    return OpenFd(path ? ::open(path, O_RDONLY | O_CLOEXEC) : -1);
}

int FileReader::OpenAt(const DirBeneath& dir, const char* name) {
    return OpenFd(dir.IsOpen() && name
                      ? ::openat(dir.Handle(), name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW)
                      : -1);
}

int FileReader::OpenBeneath(const DirBeneath& dir, const std::string& path) {
    if (!dir.IsOpen() || path.empty()) return OpenFd(-1);
#ifdef SYS_openat2
    open_how how{};
    how.flags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    for (;;) {
        const long fd = ::syscall(SYS_openat2, dir.Handle(), path.c_str(), &how, sizeof how);
        if (fd >= 0) return OpenFd(static_cast<int>(fd));
        if (errno == EINTR || errno == EAGAIN) continue;
        if (errno != ENOSYS && errno != EPERM) return OpenFd(-1);  // EPERM: a seccomp filter
        break;
    }
#endif
    // One part at a time, each opened without following a link.
    int at = ::fcntl(dir.Handle(), F_DUPFD_CLOEXEC, 0);
    std::size_t from = 0;
    for (std::size_t slash; at >= 0 && (slash = path.find('/', from)) != std::string::npos;
         from = slash + 1) {
        const std::string part = path.substr(from, slash - from);
        const int next =
            ::openat(at, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(at);
        at = next;
    }
    if (at < 0) return OpenFd(-1);
    const int fd =
        ::openat(at, path.c_str() + from, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    ::close(at);
    return OpenFd(fd);
}

int FileReader::OpenFd(int fd) {
    if (m_Fd >= 0) ::close(m_Fd);
    m_Fd = -1;
    m_Size = 0;
    Fd f(fd);
    if (f.fd < 0) return -1;
    struct stat st {};
    if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return -1;
    m_Size = static_cast<int64_t>(st.st_size);
    m_Fd = f.Release();
    return 0;
}

long FileReader::Read(void* buffer, std::size_t size) {
    if (m_Fd < 0) return -1;
    for (;;) {
        const ssize_t r = ::read(m_Fd, buffer, size);
        if (r >= 0) return static_cast<long>(r);
        if (errno != EINTR) return -1;
    }
}

int ReplaceFile(const char* path, const void* data, std::size_t size) {
    if (!path || !*path || (size > 0 && !data)) return -1;
    ReplacementFile file;
    if (file.Open(path) != 0 || file.Write(data, size) != 0) return -1;
    return file.Commit();
}

int AppendToFile(const char* path, const void* data, std::size_t size) {
    if (!path || !*path) return -1;
    Fd f(::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
    if (f.fd < 0) return -1;
    return WriteAll(f.fd, static_cast<const char*>(data), size);
}

int TruncateFile(const char* path) {
    if (!path || !*path) return -1;
    Fd f(::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    return f.fd < 0 ? -1 : 0;
}

bool FileExists(const char* path) {
    struct stat st {};
    return path && ::stat(path, &st) == 0;
}

bool IsDirectory(const char* path) {
    struct stat st {};
    return path && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t FileSize(const char* path) {
    struct stat st {};
    if (!path || ::stat(path, &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

int RemoveFile(const char* path) {
    return (path && ::unlink(path) == 0) ? 0 : -1;
}

int RenamePath(const char* from, const char* to) {
    return (from && to && ::rename(from, to) == 0) ? 0 : -1;
}

int MakeDirectories(const char* path) {
    if (!path || !*path) return -1;
    std::string p(path);
    for (std::size_t i = 1; i <= p.size(); ++i) {
        if (i == p.size() || p[i] == kPathSeparator) {
            std::string part = p.substr(0, i);
            if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return -1;
        }
    }
    return IsDirectory(path) ? 0 : -1;
}

int ListDirectory(const char* path, std::vector<DirEntry>& out) {
    out.clear();
    if (!path) return -1;
    DIR* d = ::opendir(path);
    if (!d) return -1;
    while (dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        DirEntry entry;
        entry.name = e->d_name;
        std::string full = JoinPath({path, entry.name});
        struct stat st {};
        if (::stat(full.c_str(), &st) == 0) {
            entry.isDirectory = S_ISDIR(st.st_mode);
            entry.size = st.st_size;
            entry.modifiedSeconds = st.st_mtim.tv_sec;
        }
        out.push_back(std::move(entry));
    }
    ::closedir(d);
    std::sort(out.begin(), out.end(),
              [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return 0;
}

std::string JoinPath(std::initializer_list<std::string_view> parts) {
    std::string r;
    for (std::string_view p : parts) {
        if (p.empty()) continue;
        if (!r.empty() && r.back() != kPathSeparator) r += kPathSeparator;
        r += p;
    }
    return r;
}

std::string WirePathToLocal(std::string_view wirePath) {
    std::string r(wirePath);
    std::replace(r.begin(), r.end(), '\\', kPathSeparator);
    return r;
}

std::string BaseName(std::string_view path) {
    auto pos = path.find_last_of(kPathSeparator);
    return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string DirName(std::string_view path) {
    auto pos = path.find_last_of(kPathSeparator);
    if (pos == std::string_view::npos) return ".";
    if (pos == 0) return std::string(1, kPathSeparator);
    return std::string(path.substr(0, pos));
}

void RecordStartDirectory() {
    StartDir() = CurrentDirectory();
}

const std::string& GetStartDirectory() {
    if (StartDir().empty()) RecordStartDirectory();
    return StartDir();
}

int EnterStartDirectory() {
    return ::chdir(GetStartDirectory().c_str()) == 0 ? 0 : -1;
}

std::string CurrentDirectory() {
    char buf[PATH_MAX];
    return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string(".");
}

}  // namespace os
