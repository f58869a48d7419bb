// What the window tests share: a real devserver in a temporary folder, a logged-in
// session, and a frame of their own standing in for the shell.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "platform/gui/Gui.h"
#include "platform/gui/TestDriver.h"
#include "platform/net/TcpClient.h"
#include "studio/resources/WindowResources.h"
#include "studio/session/ServerSession.h"
#include "studio/windows/ListWindow.h"

namespace qvwtest {

namespace fs = std::filesystem;

inline fs::path MakeTempDir(const char* tag) {
    std::string tpl =
        (fs::temp_directory_path() / (std::string("qvw-") + tag + "-XXXXXX")).string();
    char* made = mkdtemp(tpl.data());
    return made ? fs::path(made) : fs::path();
}

inline std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
inline void WriteAll(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Runs events until done() or the time is up; true when done.
inline bool WaitUntil(const std::function<bool()>& done, int ms = 20000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        gui::ProcessEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// One quorvel-devserver process on a free loopback port.
class DevServer {
public:
    explicit DevServer(bool demo) {
#ifdef QV_DEVSERVER_BIN
        m_Root = MakeTempDir("srv");
        WriteAll(m_Root / "pw", "secret-admin\n");
        fs::path log = m_Root / "stderr.txt";
        m_Pid = fork();
        if (m_Pid == 0) {
            FILE* f = std::freopen(log.c_str(), "w", stderr);
            (void)f;
            std::string root = (m_Root / "state").string(), pw = (m_Root / "pw").string();
            if (demo)
                execl(QV_DEVSERVER_BIN, QV_DEVSERVER_BIN, "--root", root.c_str(), "--port", "0",
                      "--admin-password-file", pw.c_str(), "--fast-hash", "--seed-demo", nullptr);
            else
                execl(QV_DEVSERVER_BIN, QV_DEVSERVER_BIN, "--root", root.c_str(), "--port", "0",
                      "--admin-password-file", pw.c_str(), "--fast-hash", nullptr);
            _exit(127);
        }
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (m_Port == 0 && std::chrono::steady_clock::now() < end) {
            std::string text = ReadAll(log);
            std::size_t at = text.find(" port ");
            if (at != std::string::npos && text.find('\n', at) != std::string::npos)
                m_Port = std::atoi(text.c_str() + at + 6);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
#else
        (void)demo;
#endif
    }
    ~DevServer() {
        Stop();
    }
    void Stop() {
        if (m_Pid > 0) {
            kill(m_Pid, SIGTERM);
            int status = 0;
            waitpid(m_Pid, &status, 0);
            m_Pid = 0;
        }
        if (!m_Root.empty()) {
            std::error_code ec;
            fs::remove_all(m_Root, ec);
            m_Root.clear();
        }
    }
    int Port() const {
        return m_Port;
    }
    bool Up() const {
        return m_Port > 0;
    }

private:
    pid_t m_Pid = 0;
    int m_Port = 0;
    fs::path m_Root;
};

#define QVW_NEED_SERVER(server) \
    if (!(server).Up()) GTEST_SKIP() << "quorvel-devserver is not available";

// Logs the one session in; true on "Login OK!".
inline bool Login(int port, const char* user, const char* password) {
    Session.m_SessionID = 0;
    Session.m_ServerAddress = net::MakeAddress(127, 0, 0, 1, port);
    Session.SetTimeouts(5000, 10000);
    Credentials.m_UserName = user;
    Credentials.m_Password = password;
    Session.Execute(kCmdLogin);
    return Session.ParseResponse(kCmdLogin) == kLoginOk;
}
inline bool LoginAdmin(int port) {
    return Login(port, "admin", "secret-admin");
}

// The demo application into CurrentApp, as the Applications window's Open leaves it.
inline bool TakeDemo() {
    qvw::Fetch(AppList, kCmdGetApps);
    long id = 0;
    if (!qvw::IdOfName(AppList, "demo", id)) return false;
    CurrentApp.m_ID = id;
    CurrentApp.m_Name = "demo";
    AppList.Clear();
    return true;
}

// A frame standing in for the shell: the menus by name, the toolbar sets asked for, and
// the commands that reached it.
class TestFrame {
public:
    TestFrame() {
        RegisterTestMenus();
        RegisterWindowResources();
        gui::FrameSpec spec;
        spec.title = "Quorvel Studio";
        spec.width = 900;
        spec.height = 640;
        m_Frame = gui::CreateFrame(spec, [this](gui::Window, const gui::Message& m) -> long {
            if (m.msg == gui::Msg::Command) commands.push_back(m.id);
            return 0;
        });
        gui::ShowFrame(m_Frame);
        qvw::Host& host = qvw::TheHost();
        host.frame = [this] { return m_Frame; };
        host.menuByName = [this](const std::string& name) {
            auto it = m_Menus.find(name);
            if (it != m_Menus.end()) return it->second;
            return m_Menus[name] = gui::LoadMenu(name);
        };
        host.clearToolbar = [this] { ++toolbarClears; };
        host.setToolbar = [this](int set) { toolbarSets.push_back(set); };
        host.upDownDir = [] { return std::string(); };
        host.setSlot = [this](qvw::WindowSlot slot, gui::Window w) { slots[slot] = w; };
        gui::test::Reset();
    }
    ~TestFrame() {
        for (gui::Window c : gui::Children(m_Frame)) gui::MdiDestroy(c);
        gui::ProcessEvents();
        gui::DestroyWindow(m_Frame);
        gui::ProcessEvents();
        for (auto& [name, menu] : m_Menus) gui::DestroyMenu(menu);
        qvw::TheHost() = qvw::Host{};
        gui::test::Reset();
    }
    gui::Window Handle() const { return m_Frame; }
    gui::Menu Menu(const std::string& name) { return qvw::TheHost().menuByName(name); }

    std::vector<int> commands;
    std::map<int, gui::Window> slots;
    std::vector<int> toolbarSets;
    int toolbarClears = 0;

private:
    // The shell registers the real menus; the tests need only these by name.
    static void RegisterTestMenus() {
        static const gui::MenuTemplate app{"APP_MENU",
                                           {{"&File",
                                             {{112, "Open"},
                                              {109, "New"},
                                              {110, "Edit"},
                                              {111, "Delete"},
                                              {116, "Upload"},
                                              {115, "Download"},
                                              {108, "Exit"}}}}};
        static const gui::MenuTemplate func{"FUNC_MENU", {{"&File", {{103, "Applications"}}}}};
        static const gui::MenuTemplate req{"REQ_MENU",
                                           {{"&File",
                                             {{109, "New"},
                                              {110, "Edit"},
                                              {111, "Delete"},
                                              {117, "Rename"},
                                              {116, "Upload"},
                                              {115, "Download"}}},
                                            {"View",
                                             {{123, "Requests"},
                                              {124, "Htmls"},
                                              {125, "Images"},
                                              {126, "Data"},
                                              {132, "Files"}}}}};
        static const gui::MenuTemplate ds{
            "DS_MENU",
            {{"&File", {{109, "New"}, {110, "Edit"}, {111, "Delete"}, {113, "Password"}}}}};
        static const gui::MenuTemplate user{
            "USER_MENU",
            {{"&File", {{109, "New"}, {110, "Edit"}, {111, "Delete"}, {113, "Password"}}}}};
        if (!gui::FindMenuTemplate("DS_MENU")) gui::RegisterMenuTemplate(&ds);
        if (!gui::FindMenuTemplate("USER_MENU")) gui::RegisterMenuTemplate(&user);
        if (!gui::FindMenuTemplate("REQ_MENU")) gui::RegisterMenuTemplate(&req);
        if (!gui::FindMenuTemplate("APP_MENU")) gui::RegisterMenuTemplate(&app);
        if (!gui::FindMenuTemplate("FUNC_MENU")) gui::RegisterMenuTemplate(&func);
    }
    gui::Window m_Frame = 0;
    std::map<std::string, gui::Menu> m_Menus;
};

// A command given to a window, and what it set off run.
inline void RunCommand(gui::Window w, int id) {
    gui::SendCommand(w, id);
    gui::ProcessEvents();
}
// The line a window shows for the record at index; "<none>" when there is none.
inline std::string WindowLine(qvw::ListWindow& win, long index) {
    char buf[512] = "";
    if (!win.Kind().formatLine(index, buf, sizeof buf)) return "<none>";
    return buf;
}

// Text of the message boxes recorded so far.
inline std::vector<std::string> BoxTexts() {
    std::vector<std::string> out;
    for (const auto& b : gui::test::MessageBoxes()) out.push_back(b.text);
    return out;
}

}  // namespace qvwtest
