#include "studio/shell/tests/ShellFixture.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/gui/tests/TestApp.h"
#include "platform/os/Files.h"
#include "studio/resources/ShellResources.h"
#include "studio/session/ServerSession.h"
#include "studio/shell/Shell.h"

namespace shelltest {
namespace {

struct ServerProcess {
    pid_t pid = -1;
    int port = 0;
    std::string password = "Adm1n-secret";
    std::string dir;
    bool tried = false;
    std::string why;
};
ServerProcess& Server() {
    static ServerProcess s;
    return s;
}

std::string MakeTempDir(const char* stem) {
    std::string pattern = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                          "/" + stem + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) return {};
    return buf.data();
}

// Stops the server when the test program ends.
struct ServerStopper : ::testing::Environment {
    void TearDown() override { DevServer::Stop(); }
};
::testing::Environment* const g_Stopper = ::testing::AddGlobalTestEnvironment(new ServerStopper);

}  // namespace

bool DevServer::Ensure(std::string& why) {
    ServerProcess& s = Server();
    if (s.tried) {
        why = s.why;
        return s.pid > 0;
    }
    s.tried = true;
    const char* bin = std::getenv("QV_DEVSERVER");
    if (!bin || !*bin) {
        s.why = why = "QV_DEVSERVER is not set";
        return false;
    }
    s.dir = MakeTempDir("shell-devserver");
    WriteFile(s.dir + "/pw", s.password + "\n");
    std::string log = s.dir + "/log";
    pid_t pid = fork();
    if (pid == 0) {
        if (!freopen(log.c_str(), "w", stderr)) _exit(127);
        std::string root = s.dir + "/data", pw = s.dir + "/pw";
        execl(bin, bin, "--root", root.c_str(), "--port", "0", "--admin-password-file", pw.c_str(),
              "--seed-demo", "--fast-hash", static_cast<char*>(nullptr));
        _exit(127);
    }
    s.pid = pid;
    for (int i = 0; i < 200 && s.port == 0; ++i) {
        std::string text = ReadFile(log);
        std::size_t at = text.find(" port ");
        if (text.find("listening") != std::string::npos && at != std::string::npos)
            s.port = std::atoi(text.c_str() + at + 6);
        if (s.port == 0) usleep(25000);
    }
    if (s.port == 0) {
        s.why = why = "quorvel-devserver did not start: " + ReadFile(log);
        Stop();
        return false;
    }
    return true;
}
int DevServer::Port() {
    return Server().port;
}
const std::string& DevServer::AdminPassword() {
    return Server().password;
}
void DevServer::Stop() {
    ServerProcess& s = Server();
    if (s.pid > 0) {
        kill(s.pid, SIGTERM);
        int status = 0;
        waitpid(s.pid, &status, 0);
        s.pid = -1;
    }
    if (!s.dir.empty()) {
        std::string cmd = "rm -rf '" + s.dir + "'";
        if (std::system(cmd.c_str()) != 0)
            std::fprintf(stderr, "cannot remove %s\n", s.dir.c_str());
        s.dir.clear();
    }
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}
std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void ShellTest::SetUp() {
    RegisterShellResources();
    gui::test::Reset();
    m_Dir = MakeTempDir("shell-test");
    ASSERT_FALSE(m_Dir.empty());
    m_OldDir = os::CurrentDirectory();
    ASSERT_EQ(chdir(m_Dir.c_str()), 0);
    // The single-instance lock lives in this test's own folder.
    setenv("XDG_RUNTIME_DIR", m_Dir.c_str(), 1);
    Session.SetTimeouts(5000, 10000);
    Session.m_Connected = 0;
    LoginUserID = 0;
    shell::SetWindowHooks({});
}

void ShellTest::TearDown() {
    if (m_Started) EndRun();
    shell::SetWindowHooks({});
    gui::test::Reset();
    if (chdir(m_OldDir.c_str()) != 0)
        std::fprintf(stderr, "cannot return to %s\n", m_OldDir.c_str());
    std::string cmd = "rm -rf '" + m_Dir + "'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", m_Dir.c_str());
}

void ShellTest::WriteConfig(const std::string& text) {
    WriteFile(m_Dir + "/quorvelide.cfg", text);
}

void ShellTest::WriteProfile(const std::string& file, const std::string& name, int port,
                             const std::string& user) {
    WriteFile(m_Dir + "/" + file,
              "Name=" + name + "\r\nIP1=10\r\nIP2=1\r\nIP3=2\r\nIP4=3\r\nPort=" +
                  std::to_string(port) + "\r\nUserName=" + user + "\r\nUserPwd=\r\n");
}

void ShellTest::StartFrame() {
    ASSERT_EQ(shell::Start(), 0);
    m_Started = true;
    ASSERT_NE(shell::Frame(), 0);
    EXPECT_EQ(gui::GetTitle(shell::Frame()), "Quorvel Studio");
    EXPECT_EQ(MenuName(), "MAIN_MENU");
}

void ShellTest::EndRun() {
    m_Started = false;
    if (shell::Frame()) gui::DestroyWindow(shell::Frame());
    gui::ProcessEvents();
    shell::Finish();
}

void ShellTest::Connect(gui::test::DialogScript script) {
    gui::test::OnDialog(kConnectDialog, std::move(script));
    gui::SendCommand(shell::Frame(), 101);
}

bool ShellTest::Login(const std::string& user, const std::string& password) {
    Connect([&](gui::Dialog& d) {
        d.SetText(205, std::to_string(DevServer::Port()));
        d.SetText(206, user);
        d.SetText(207, password);
        d.Press(1);
    });
    return Session.m_Connected == 1;
}

std::vector<int> ShellTest::ButtonIds() const {
    std::vector<int> ids;
    for (const gui::ToolButton& b : gui::ToolButtons(shell::Frame())) ids.push_back(b.id);
    return ids;
}

std::string ShellTest::MenuName() const {
    return gui::MenuName(gui::AttachedMenu(shell::Frame()));
}

}  // namespace shelltest
