// The configuration file and the connection profiles: exact bytes written, the reading
// rules, damaged or hostile files, and the profile list of the start directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/os/Files.h"
#include "studio/shell/StudioSettings.h"

namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}
void Spit(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

// Each test runs in a fresh start directory of its own.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_Old = fs::current_path();
        std::string tmpl = (fs::temp_directory_path() / "qv-settings-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        m_Dir = tmpl;
        fs::current_path(m_Dir);
        os::RecordStartDirectory();
    }
    void TearDown() override {
        fs::current_path(m_Old);
        os::RecordStartDirectory();
        std::error_code ec;
        fs::remove_all(m_Dir, ec);
    }
    std::string Path(const std::string& name) const { return (m_Dir / name).string(); }
    // Loads a profile file holding bytes.
    int LoadProfile(const std::string& bytes, const std::string& name = "p.con") {
        Spit(m_Dir / name, bytes);
        return m_S.Load(Path(name).c_str());
    }
    int LoadConfig(const std::string& bytes) {
        Spit(m_Dir / kConfigFileName, bytes);
        return m_S.Load(kConfigFileName);
    }
    std::vector<std::string> DirNames() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(m_Dir)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path m_Old;
    fs::path m_Dir;
    StudioSettings m_S;
};

}  // namespace

TEST_F(SettingsTest, ConfigurationRoundTripAndUntouchedWhenThePlacementStayed) {
    m_S.SetUpDownDir("/home/ann/up down");
    m_S.SetFramePlacement(10, 20, 800, 600);
    EXPECT_EQ(m_S.Save(kConfigFileName), 0);
    const std::string written = "UpDownDir=/home/ann/up down\r\nx=10\r\ny=20\r\nw=800\r\nh=600\r\n";
    EXPECT_EQ(Slurp(m_Dir / kConfigFileName), written);
    EXPECT_EQ(DirNames(), std::vector<std::string>{kConfigFileName}) << "no temporary left";

    StudioSettings again;
    ASSERT_EQ(again.Load(kConfigFileName), 0);
    EXPECT_STREQ(again.GetUpDownDir(), "/home/ann/up down");
    EXPECT_EQ(again.GetX(), 10);
    EXPECT_EQ(again.GetY(), 20);
    EXPECT_EQ(again.GetWidth(), 800);
    EXPECT_EQ(again.GetHeight(), 600);

    // A file in another hand (LF ends, other order, extra lines) is left byte for byte
    // when the frame ends where it started.
    const std::string foreign = "h=600\nw=800\n# mine\ny=20\nx=10\nUpDownDir=/d";
    Spit(m_Dir / kConfigFileName, foreign);
    ASSERT_EQ(again.Load(kConfigFileName), 0);
    again.SetFramePlacement(10, 20, 800, 600);
    EXPECT_EQ(again.Save(kConfigFileName), 0);
    EXPECT_EQ(Slurp(m_Dir / kConfigFileName), foreign);
    // Moved by one pixel: rewritten whole in its own form.
    again.SetFramePlacement(11, 20, 800, 600);
    EXPECT_EQ(again.Save(kConfigFileName), 0);
    EXPECT_EQ(Slurp(m_Dir / kConfigFileName), "UpDownDir=/d\r\nx=11\r\ny=20\r\nw=800\r\nh=600\r\n");
}

TEST_F(SettingsTest, PlacementChecksApplyOnlyToKeysPresent) {
    struct Case {
        const char* text;
        int x, y, w, h;
    } cases[] = {
        {"x=-5\r\ny=991\r\nw=0\r\nh=0\r\n", 0, 0, 1280, 990},
        {"x=1281\r\ny=-1\r\nw=2000\r\nh=991\r\n", 0, 0, 1280, 990},
        {"x=1280\r\ny=990\r\nw=1\r\nh=1\r\n", 1280, 990, 1, 1},
        {"x=0\r\ny=0\r\nw=1280\r\nh=990\r\n", 0, 0, 1280, 990},
        {"x=99999999999999999999\ny=-99999999999999999999\nw=abc\nh=", 0, 0, 1280, 990},
        {"x= 7px\ny=+8\nw=\t640\nh=480", 7, 8, 640, 480},
        // Only the folder: missing keys supply no defaults.
        {"UpDownDir=/tmp\r\n", 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        StudioSettings s;
        Spit(m_Dir / kConfigFileName, c.text);
        ASSERT_EQ(s.Load(kConfigFileName), 0) << c.text;
        EXPECT_EQ(s.GetX(), c.x) << c.text;
        EXPECT_EQ(s.GetY(), c.y) << c.text;
        EXPECT_EQ(s.GetWidth(), c.w) << c.text;
        EXPECT_EQ(s.GetHeight(), c.h) << c.text;
    }
    // A missing key keeps what an earlier load gave.
    ASSERT_EQ(LoadConfig("x=5\ny=6\nw=7\nh=8\n"), 0);
    ASSERT_EQ(LoadConfig("w=9\n"), 0);
    EXPECT_EQ(m_S.GetX(), 5);
    EXPECT_EQ(m_S.GetWidth(), 9);
}

TEST_F(SettingsTest, ProfileRoundTripNeverWritesThePassword) {
    m_S.SetName("test server");
    m_S.SetIp1(192);
    m_S.SetIp2(168);
    m_S.SetIp3(0);
    m_S.SetIp4(17);
    m_S.SetPort(8080);
    m_S.SetUserName("admin");
    m_S.SetUserPassword("secret");
    EXPECT_STREQ(m_S.GetIp1Text(), "192");
    EXPECT_STREQ(m_S.GetPortText(), "8080");
    EXPECT_EQ(m_S.Save(Path("srv.con").c_str()), 0);
    EXPECT_EQ(Slurp(m_Dir / "srv.con"),
              "Name=test server\r\nIP1=192\r\nIP2=168\r\nIP3=0\r\nIP4=17\r\nPort=8080\r\n"
              "UserName=admin\r\nUserPwd=\r\n");

    StudioSettings again;
    again.SetUserPassword("stale");
    ASSERT_EQ(again.Load(Path("srv.con").c_str()), 0);
    EXPECT_STREQ(again.GetName(), "test server");
    EXPECT_EQ(again.GetIp1(), 192);
    EXPECT_EQ(again.GetIp4(), 17);
    EXPECT_STREQ(again.GetIp3Text(), "0");
    EXPECT_EQ(again.GetPort(), 8080);
    EXPECT_STREQ(again.GetUserName(), "admin");
    EXPECT_STREQ(again.GetUserPassword(), "");
    // Saving what was loaded gives the same bytes.
    ASSERT_EQ(again.Save(Path("copy.con").c_str()), 0);
    EXPECT_EQ(Slurp(m_Dir / "copy.con"), Slurp(m_Dir / "srv.con"));

    // Empty fields: a key followed directly by the line end.
    StudioSettings empty;
    empty.Save(Path("empty.con").c_str());
    EXPECT_EQ(Slurp(m_Dir / "empty.con"),
              "Name=\r\nIP1=\r\nIP2=\r\nIP3=\r\nIP4=\r\nPort=\r\nUserName=\r\nUserPwd=\r\n");
}

TEST_F(SettingsTest, SshHostIsKeptWhenSetAndAnOlderProfileStaysAsItWas) {
    const std::string older =
        "Name=old\r\nIP1=10\r\nIP2=0\r\nIP3=0\r\nIP4=1\r\nPort=8090\r\nUserName=admin\r\n"
        "UserPwd=\r\n";
    ASSERT_EQ(LoadProfile(older), 0);
    EXPECT_STREQ(m_S.GetSshHost(), "");
    ASSERT_EQ(m_S.Save(Path("again.con").c_str()), 0);
    EXPECT_EQ(Slurp(m_Dir / "again.con"), older);

    m_S.SetSshHost("ops@gw.example.com:2222");
    ASSERT_EQ(m_S.Save(Path("ssh.con").c_str()), 0);
    EXPECT_EQ(Slurp(m_Dir / "ssh.con"), older + "SshHost=ops@gw.example.com:2222\r\n");
    StudioSettings loaded;
    ASSERT_EQ(loaded.Load(Path("ssh.con").c_str()), 0);
    EXPECT_STREQ(loaded.GetSshHost(), "ops@gw.example.com:2222");
    ProfileEntry entry;
    ASSERT_EQ(loaded.ReadProfileName("ssh.con", entry), 0);
    EXPECT_STREQ(entry.m_SshHost.c_str(), "ops@gw.example.com:2222");
    // Loading a profile without it forgets the last one's.
    ASSERT_EQ(loaded.Load(Path("again.con").c_str()), 0);
    EXPECT_STREQ(loaded.GetSshHost(), "");
}

TEST_F(SettingsTest, ProfileReadingRules) {
    // Any line ends, any order, no last line end; a password the file carries is taken.
    for (const char* eol : {"\r\n", "\n", "\r"}) {
        std::string e = eol;
        ASSERT_EQ(LoadProfile("UserPwd=pw" + e + "Port= 80" + e + "IP1=abc" + e + "IP2=300" + e +
                              "IP3=-2" + e + "IP4=4x" + e + "Name=n1" + e + "UserName=bob"),
                  0);
        EXPECT_STREQ(m_S.GetName(), "n1");
        EXPECT_EQ(m_S.GetPort(), 80);
        EXPECT_STREQ(m_S.GetPortText(), "80");
        EXPECT_EQ(m_S.GetIp1(), 0);
        EXPECT_STREQ(m_S.GetIp1Text(), "0");
        EXPECT_EQ(m_S.GetIp2(), 300);
        EXPECT_EQ(m_S.GetIp3(), -2);
        EXPECT_STREQ(m_S.GetIp4Text(), "4");
        EXPECT_STREQ(m_S.GetUserName(), "bob");
        EXPECT_STREQ(m_S.GetUserPassword(), "pw");
    }
    // Without a "Name=" line the key is found inside "UserName=".
    ASSERT_EQ(LoadProfile("IP1=1\r\nUserName=carol\r\n"), 0);
    EXPECT_STREQ(m_S.GetName(), "carol");
    // A key that ends the file reads as empty; a missing key resets its field.
    ASSERT_EQ(LoadProfile("Port=\r\nName="), 0);
    EXPECT_STREQ(m_S.GetName(), "");
    EXPECT_EQ(m_S.GetPort(), 0);
    EXPECT_STREQ(m_S.GetPortText(), "0");
    EXPECT_STREQ(m_S.GetIp1Text(), "") << "a missing key leaves the reset text";
    // Numbers saturate instead of wrapping.
    ASSERT_EQ(LoadProfile("IP1=99999999999999999999\nIP2=-99999999999999999999\n"), 0);
    EXPECT_EQ(m_S.GetIp1(), INT_MAX);
    EXPECT_STREQ(m_S.GetIp1Text(), "2147483647");
    EXPECT_EQ(m_S.GetIp2(), INT_MIN);
}

TEST_F(SettingsTest, TheBareNameAloneIsTheConfiguration) {
    // The configuration file empties the connection fields though it has none.
    m_S.SetName("x");
    m_S.SetIp1(10);
    m_S.SetUserPassword("pw");
    ASSERT_EQ(LoadConfig("UpDownDir=/up\r\nx=1\r\nName=ignored\r\n"), 0);
    EXPECT_STREQ(m_S.GetName(), "");
    EXPECT_EQ(m_S.GetIp1(), 0);
    EXPECT_STREQ(m_S.GetUserPassword(), "");
    EXPECT_STREQ(m_S.GetUpDownDir(), "/up");
    // The same file named by its full path is read as a profile.
    StudioSettings s;
    ASSERT_EQ(s.Load(Path(kConfigFileName).c_str()), 0);
    EXPECT_STREQ(s.GetName(), "ignored");
    EXPECT_STREQ(s.GetUpDownDir(), "");
    EXPECT_EQ(s.GetX(), 0);
    // And saved by its full path it is written as a profile, even with the placement set.
    s.SetFramePlacement(1, 2, 3, 4);
    s.Save(Path(kConfigFileName).c_str());
    EXPECT_EQ(Slurp(m_Dir / kConfigFileName).rfind("Name=ignored\r\nIP1=\r\n", 0), 0u);
}

TEST_F(SettingsTest, UnreadableFilesChangeNothing) {
    m_S.SetName("kept");
    m_S.SetPort(81);
    m_S.SetUserPassword("pw");
    fs::create_directory(m_Dir / "dir.con");
    Spit(m_Dir / "big.con", "Name=big\r\n");
    fs::resize_file(m_Dir / "big.con", 17 * 1024 * 1024);  // no settings file is that large
    for (const std::string& name :
         {Path("missing.con"), Path("dir.con"), Path("big.con"), std::string("missing.cfg")}) {
        EXPECT_EQ(m_S.Load(name.c_str()), -1) << name;
        EXPECT_STREQ(m_S.GetName(), "kept") << name;
        EXPECT_EQ(m_S.GetPort(), 81);
        EXPECT_STREQ(m_S.GetUserPassword(), "pw");
    }
    EXPECT_EQ(m_S.Load(kConfigFileName), -1) << "the configuration file must exist";
    EXPECT_EQ(m_S.Load(""), -1);
    ProfileEntry entry;
    entry.m_Name = "old";
    EXPECT_EQ(m_S.ReadProfileName(Path("missing.con").c_str(), entry), -1);
    EXPECT_STREQ(entry.m_Name, "old");
}

TEST_F(SettingsTest, OverlongAndGarbageValuesAreCutToTheirFields) {
    const std::string longName(500, 'N');
    const std::string longDir(5000, 'd');
    ASSERT_EQ(LoadProfile("Name=" + longName + "\r\nUserName=" + std::string(300, 'u') +
                          "\r\nUserPwd=" + std::string(300, 'p') +
                          "\r\nPort=" + std::string(4000, '9') + "\r\n"),
              0);
    EXPECT_EQ(std::string(m_S.GetName()), longName.substr(0, 20));
    EXPECT_EQ(std::string(m_S.GetUserName()).size(), 20u);
    EXPECT_EQ(std::string(m_S.GetUserPassword()).size(), 20u);
    EXPECT_EQ(m_S.GetPort(), INT_MAX);
    ASSERT_EQ(LoadConfig("UpDownDir=" + longDir), 0);
    EXPECT_EQ(std::string(m_S.GetUpDownDir()), longDir.substr(0, 1024));
    // Setters cut as well.
    m_S.SetName(longName.c_str());
    EXPECT_EQ(std::string(m_S.GetName()).size(), 20u);
    m_S.SetPort(INT_MIN);
    EXPECT_STREQ(m_S.GetPortText(), "-2147483648");

    // Zero bytes, stray keys and binary noise: values end at a zero like any C text.
    const char garbage[] = "\0\xff\x01Name=ab\0cd\nIP1=\0 5\nPort=Port=7\n";
    ASSERT_EQ(LoadProfile(std::string(garbage, sizeof garbage - 1)), 0);
    EXPECT_STREQ(m_S.GetName(), "ab");
    EXPECT_EQ(m_S.GetIp1(), 0);
    EXPECT_EQ(m_S.GetPort(), 0) << "the value after the first key is \"Port=7\"";
    // Empty files read as all keys missing.
    ASSERT_EQ(LoadProfile(""), 0);
    EXPECT_STREQ(m_S.GetName(), "");
    ASSERT_EQ(LoadConfig(""), 0);
    for (const char* keyOnly : {"Name", "UserName=", "=", "\r\n\r\n", "IP1"})
        EXPECT_EQ(LoadProfile(keyOnly), 0) << keyOnly;
}

TEST_F(SettingsTest, ValuesThatHoldALineEndCannotAddLinesToAFile) {
    m_S.SetName("evil\r\nIP1=9");
    m_S.SetIp1(1);
    m_S.SetUserName("bob\nUserPwd=x");
    m_S.Save(Path("p.con").c_str());
    StudioSettings again;
    ASSERT_EQ(again.Load(Path("p.con").c_str()), 0);
    EXPECT_STREQ(again.GetName(), "evil");
    EXPECT_EQ(again.GetIp1(), 1);
    EXPECT_STREQ(again.GetUserName(), "bob");
    EXPECT_STREQ(again.GetUserPassword(), "");

    m_S.SetUpDownDir("/up\rx=700");
    m_S.SetFramePlacement(5, 6, 7, 8);
    m_S.Save(kConfigFileName);
    EXPECT_EQ(Slurp(m_Dir / kConfigFileName), "UpDownDir=/up\r\nx=5\r\ny=6\r\nw=7\r\nh=8\r\n");
}

TEST_F(SettingsTest, SaveReplacesWholeOrNotAtAll) {
    Spit(m_Dir / "p.con", std::string(10000, 'o'));
    m_S.SetName("new");
    m_S.Save(Path("p.con").c_str());
    EXPECT_EQ(Slurp(m_Dir / "p.con"),
              "Name=new\r\nIP1=\r\nIP2=\r\nIP3=\r\nIP4=\r\nPort=\r\nUserName=\r\nUserPwd=\r\n")
        << "nothing of the longer old file is left";
    EXPECT_EQ(DirNames(), std::vector<std::string>{"p.con"});
    // Failures are not reported, and leave no stray file behind.
    EXPECT_EQ(m_S.Save(Path("no/such/dir.con").c_str()), 0);
    fs::create_directory(m_Dir / "d.con");
    EXPECT_EQ(m_S.Save(Path("d.con").c_str()), 0);
    EXPECT_TRUE(fs::is_directory(m_Dir / "d.con"));
    EXPECT_EQ(m_S.Save(""), 0);
    EXPECT_EQ(DirNames(), (std::vector<std::string>{"d.con", "p.con"}));
}

TEST_F(SettingsTest, ProfilesOfTheStartDirectoryInNameOrder) {
    for (int i = 11; i >= 0; --i) {
        char name[16];
        std::snprintf(name, sizeof name, "p%02d.con", i);
        Spit(m_Dir / name, "Name=profile " + std::to_string(i) + "\r\nUserName=u\r\n");
    }
    Spit(m_Dir / "notes.txt", "Name=no");
    Spit(m_Dir / "p.con.bak", "Name=no");
    fs::create_directory(m_Dir / "folder.con");
    fs::create_symlink(m_Dir / "gone", m_Dir / "q-dangling.con");
    Spit(m_Dir / "r-long.con", "Name=" + std::string(300, 'L'));
    const std::string longFile = std::string(120, 'f') + ".con";
    Spit(m_Dir / longFile, "Name=too long a file name");
    // The listing reads the start directory, wherever the current directory is now.
    fs::current_path(m_Old);

    m_S.SetName("kept");
    m_S.ListProfiles();
    ProfileList& list = m_S.Profiles();
    // p00 .. p11, the dangling link with an empty name, the long profile name cut; a
    // file name longer than its field is left out, since a cut name is another file.
    ASSERT_EQ(list.Count(), 14);
    ProfileEntry* e = nullptr;
    for (int i = 0; i < 12; ++i) {
        ASSERT_EQ(list.GetAt(i, &e), kListOk);
        char name[16];
        std::snprintf(name, sizeof name, "p%02d.con", i);
        EXPECT_STREQ(e->m_FileName, name);
        EXPECT_EQ(std::string(e->m_Name), "profile " + std::to_string(i));
    }
    ASSERT_EQ(list.GetAt(12, &e), kListOk);
    EXPECT_STREQ(e->m_FileName, "q-dangling.con");
    EXPECT_STREQ(e->m_Name, "");
    ASSERT_EQ(list.GetAt(13, &e), kListOk);
    EXPECT_EQ(std::string(e->m_Name), std::string(100, 'L'));
    EXPECT_STREQ(m_S.GetName(), "kept") << "listing loads no profile";

    char out[101] = "x";
    EXPECT_STREQ(m_S.GetProfileFileName(400, out), "p00.con");
    EXPECT_STREQ(m_S.GetProfileFileName(411, out), "p11.con");
    EXPECT_STREQ(m_S.GetProfileFileName(414, out), "");
    EXPECT_STREQ(m_S.GetProfileFileName(399, out), "");
    EXPECT_STREQ(m_S.GetProfileFileName(INT_MIN, out), "");
    // A listed bare name loads from the start directory.
    EXPECT_EQ(m_S.Load(m_S.GetProfileFileName(403, out)), 0);
    EXPECT_STREQ(m_S.GetName(), "profile 3");

    m_S.ClearProfiles();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_STREQ(m_S.GetProfileFileName(400, out), "");
}
