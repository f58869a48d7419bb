#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/os/Files.h"
#include "platform/os/LocalFile.h"
#include "platform/os/System.h"

namespace {

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/qv-os-XXXXXX";
        path_ = ::mkdtemp(tmpl);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

std::string Slurp(const std::string& path) {
    std::string s;
    EXPECT_EQ(os::ReadWholeFile(path.c_str(), s), 0);
    return s;
}

}  // namespace

TEST(LocalFile, WriteReplacesWholeAndReadAppends) {
    TempDir dir;
    std::string f = dir.File("a.bin");
    Vessel v;
    const char data[] = {'x', '\0', 'y', '\r', '\n'};
    ASSERT_EQ(v.AddContent(data, 5), 0);
    ASSERT_EQ(WriteLocalFile(f.c_str(), v), 0);
    EXPECT_EQ(Slurp(f), std::string(data, 5));

    Vessel shorter;
    ASSERT_EQ(shorter.AddContent("ab", 2), 0);
    ASSERT_EQ(WriteLocalFile(f.c_str(), shorter), 0);
    EXPECT_EQ(Slurp(f), "ab");  // shorter content replaces entirely

    Vessel empty;
    ASSERT_EQ(WriteLocalFile(f.c_str(), empty), 0);
    EXPECT_EQ(os::FileSize(f.c_str()), 0);

    ASSERT_EQ(WriteLocalFile(f.c_str(), v), 0);
    Vessel in;
    ASSERT_EQ(in.AddContent("pre", 3), 0);
    ASSERT_EQ(ReadLocalFile(f.c_str(), in), 0);
    EXPECT_EQ(std::string(in.GetContent(), in.GetSize()), "pre" + std::string(data, 5));
}

TEST(LocalFile, FailuresAreReportedAndLoseNothing) {
    TempDir dir;
    Vessel v;
    ASSERT_EQ(v.AddContent("keep", 4), 0);
    EXPECT_EQ(ReadLocalFile(dir.File("missing").c_str(), v), -1);
    EXPECT_EQ(ReadLocalFile(dir.Path().c_str(), v), -1);  // a folder is not a file
    EXPECT_EQ(std::string(v.GetContent(), v.GetSize()), "keep");

    EXPECT_EQ(WriteLocalFile(dir.File("no/such/folder/x").c_str(), v), -1);
    std::string f = dir.File("old.txt");
    ASSERT_EQ(os::ReplaceFile(f.c_str(), "old content"), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0500), 0);  // folder read-only: no temporary file
    if (::geteuid() != 0) {                           // root writes anyway
        EXPECT_EQ(WriteLocalFile(f.c_str(), v), -1);
        EXPECT_EQ(Slurp(f), "old content");
    }
    ::chmod(dir.Path().c_str(), 0700);
}

TEST(LocalFile, ReplaceLeavesNoTemporaryFiles) {
    TempDir dir;
    std::string f = dir.File("cfg");
    for (int i = 0; i < 5; ++i) ASSERT_EQ(os::ReplaceFile(f.c_str(), std::to_string(i)), 0);
    std::vector<os::DirEntry> entries;
    ASSERT_EQ(os::ListDirectory(dir.Path().c_str(), entries), 0);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "cfg");
    EXPECT_EQ(Slurp(f), "4");

    // A replaced file kept for freeing later is gone once the replacement is let go.
    {
        os::ReplacementFile later;
        ASSERT_EQ(later.Open(f.c_str()), 0);
        ASSERT_EQ(later.Write("5", 1), 0);
        ASSERT_EQ(later.Commit(true), 0);
        EXPECT_EQ(Slurp(f), "5");
        ASSERT_EQ(os::ListDirectory(dir.Path().c_str(), entries), 0);
        EXPECT_EQ(entries.size(), 2u);
    }
    ASSERT_EQ(os::ListDirectory(dir.Path().c_str(), entries), 0);
    EXPECT_EQ(entries.size(), 1u);
}

TEST(LocalFile, TooLargeForABufferFailsCleanly) {
    TempDir dir;
    std::string f = dir.File("sparse");
    // A sparse 3 GB file: larger than any 32-bit buffer, yet nothing is allocated.
    FILE* fp = std::fopen(f.c_str(), "w");
    ASSERT_NE(fp, nullptr);
    ASSERT_EQ(::ftruncate(fileno(fp), 3LL * 1024 * 1024 * 1024), 0);
    std::fclose(fp);
    Vessel v;
    EXPECT_EQ(ReadLocalFile(f.c_str(), v), -1);
    EXPECT_EQ(v.GetSize(), 0);
}

TEST(Paths, JoinSplitAndWireForm) {
    EXPECT_EQ(os::JoinPath({"root", "app", "data", "x.txt"}), "root/app/data/x.txt");
    EXPECT_EQ(os::JoinPath({"root/", "", "a"}), "root/a");
    EXPECT_EQ(os::WirePathToLocal("pages\\img\\a.png"), "pages/img/a.png");
    EXPECT_EQ(os::BaseName("/a/b/c.txt"), "c.txt");
    EXPECT_EQ(os::BaseName("c.txt"), "c.txt");
    EXPECT_EQ(os::DirName("/a/b/c.txt"), "/a/b");
    EXPECT_EQ(os::DirName("c.txt"), ".");
    TempDir dir;
    std::string deep = dir.File("x/y/z");
    EXPECT_EQ(os::MakeDirectories(deep.c_str()), 0);
    EXPECT_EQ(os::MakeDirectories(deep.c_str()), 0);
    EXPECT_TRUE(os::IsDirectory(deep.c_str()));
}

TEST(StartDirectory, IsRecordedAndEnteredAgain) {
    std::string before = os::CurrentDirectory();
    os::RecordStartDirectory();
    TempDir dir;
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    EXPECT_EQ(os::EnterStartDirectory(), 0);
    EXPECT_EQ(os::CurrentDirectory(), before);
}

TEST(InstanceLock, SecondHolderIsRefusedUntilTheFirstGoes) {
    const std::string name = "test-" + std::to_string(::getpid());
    os::InstanceLock first;
    ASSERT_TRUE(first.Acquire(name));
    os::InstanceLock second;
    EXPECT_FALSE(second.Acquire(name));
    first.Release();
    EXPECT_TRUE(second.Acquire(name));
}

TEST(InstanceLock, IsReleasedWhenTheHolderCrashes) {
    const std::string name = "crash-" + std::to_string(::getpid());
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = ::fork();
    if (child == 0) {
        os::InstanceLock lock;
        char ok = lock.Acquire(name) ? '1' : '0';
        (void)!::write(ready[1], &ok, 1);
        ::pause();
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');
    os::InstanceLock mine;
    EXPECT_FALSE(mine.Acquire(name));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(mine.Acquire(name));
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST(LocalTime, FieldsAreInRange) {
    os::LocalTime t = os::GetLocalTime();
    EXPECT_GE(t.year, 2020);
    EXPECT_TRUE(t.month >= 1 && t.month <= 12);
    EXPECT_TRUE(t.day >= 1 && t.day <= 31);
    EXPECT_TRUE(t.hour >= 0 && t.hour <= 23);
    EXPECT_TRUE(t.millisecond >= 0 && t.millisecond <= 999);
}

TEST(Utf, RoundTripsValidText) {
    const std::string text = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";  // a é 中 😀
    std::u16string u = os::Utf8ToUtf16(text);
    EXPECT_EQ(u, std::u16string(u"a\u00e9\u4e2d\U0001F600"));
    EXPECT_EQ(os::Utf16ToUtf8(u), text);
    EXPECT_EQ(os::Utf8ToUtf16(""), u"");
}

TEST(Utf, InvalidInputBecomesReplacementCharacters) {
    EXPECT_EQ(os::Utf8ToUtf16("\xFF"), u"\uFFFD");
    EXPECT_EQ(os::Utf8ToUtf16("a\xC3"), u"a\uFFFD");                    // cut by the end
    EXPECT_EQ(os::Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong
    EXPECT_EQ(os::Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(os::Utf8ToUtf16("\xF4\x90\x80\x80").front(), u'\uFFFD');  // beyond U+10FFFF
    EXPECT_EQ(os::Utf8ToUtf16("\xE4\xB8x"), u"\uFFFD\uFFFDx");
    const char16_t lone[] = {0xD800, u'x', 0xDC00, 0};
    EXPECT_EQ(os::Utf16ToUtf8(lone), "\xEF\xBF\xBDx\xEF\xBF\xBD");
}
