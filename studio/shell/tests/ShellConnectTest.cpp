// The connect dialog, login against quorvel-devserver, the connected state, the routing to
// object windows, and logout at exit.
#include <chrono>
#include <string>
#include <vector>

#include "platform/net/TcpListener.h"
#include "studio/resources/ShellResources.h"
#include "studio/session/ServerSession.h"
#include "studio/shell/Shell.h"
#include "studio/shell/StudioSettings.h"
#include "studio/shell/tests/ShellFixture.h"

namespace shelltest {
namespace {

using gui::test::MessageBoxes;

class ConnectTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        std::string why;
        if (!DevServer::Ensure(why)) GTEST_SKIP() << why;
        WriteConfig();
        WriteProfile("demo.con", "Demo", DevServer::Port());
        StartFrame();
    }
    std::string ConnectedTitle() const {
        return "Quorvel Studio - Demo [127.0.0.1:" + std::to_string(DevServer::Port()) + "]";
    }
    void LoadDemoProfile() {
        gui::test::OnDialog(kConnectDialog, [](gui::Dialog& d) { d.Press(2); });
        gui::PressToolButton(shell::Frame(), 0);
        gui::ProcessEvents();
    }
};

// Every check of OK, in order, each with its status line; the dialog stays open and keeps
// what was typed.
TEST_F(ConnectTest, EachCheckStopsWithItsStatusAndKeepsTheTypedValues) {
    LoadDemoProfile();
    std::vector<std::string> statuses;
    bool okEnabled = false;
    Connect([&](gui::Dialog& d) {
        auto ok = [&] {
            d.Press(1);
            statuses.push_back(d.Text(208, 100));
        };
        // Typed, an address field takes 3 digits and the port 5, and no letters.
        d.SetText(201, "");
        d.SetText(205, "");
        gui::test::TypeInto(d, 201, "1a2.34");
        gui::test::TypeInto(d, 205, "8o080a12");
        EXPECT_EQ(d.Text(201, 10), "123");
        EXPECT_EQ(d.Text(205, 10), "80801");
        d.SetText(207, "x");
        d.SetText(204, "256");
        ok();  // 256 is no byte
        EXPECT_EQ(shell::Settings().GetIp4(), 256);
        d.SetText(204, "255");
        d.SetText(201, "abc");  // reads as 0, which is a byte
        d.SetText(205, "64001");
        ok();
        d.SetText(205, "0");
        ok();
        d.SetText(205, "65535");
        ok();
        d.SetText(205, "64000");
        d.SetText(206, "");
        ok();
        d.SetText(206, "abcdefghijklmnopqrstuvwxyz");
        d.SetText(207, "");
        ok();
        EXPECT_EQ(std::string(shell::Settings().GetUserName()), "abcdefghijklmnopqrst");
        EXPECT_EQ(shell::Settings().GetIp1(), 0);
        EXPECT_EQ(shell::Settings().GetPort(), 64000);
        okEnabled = d.IsEnabled(1);
        d.Press(2);
    });
    EXPECT_EQ(statuses, (std::vector<std::string>{"Incorrect IP Address!", "Incorrect Port!",
                                                  "Incorrect Port!", "Incorrect Port!",
                                                  "No User Name!", "No User Password!"}));
    EXPECT_TRUE(okEnabled);
    EXPECT_EQ(Session.m_Connected, 0);
    EXPECT_EQ(MenuName(), "MAIN_MENU");
}

TEST_F(ConnectTest, RefusedAndWrongLoginsKeepTheDialogOpenThenTheRightOneConnects) {
    LoadDemoProfile();
    std::vector<std::string> statuses;
    std::vector<bool> okEnabled;
    bool endedEarly = false;
    Connect([&](gui::Dialog& d) {
        auto ok = [&] {
            d.Press(1);
            statuses.push_back(d.Text(208, 100));
            okEnabled.push_back(d.IsEnabled(1));
            endedEarly = endedEarly || d.Ended();
        };
        d.SetText(205, "1");  // nobody listens there
        d.SetText(207, "whatever");
        ok();
        EXPECT_FALSE(gui::IsWaitCursor());
        d.SetText(205, std::to_string(DevServer::Port()));
        d.SetText(207, "wrong-password");
        ok();
        EXPECT_FALSE(d.Ended());
        d.SetText(207, DevServer::AdminPassword());
        d.Press(1);
        statuses.push_back(d.Text(208, 100));
    });
    EXPECT_FALSE(endedEarly);
    EXPECT_EQ(statuses,
              (std::vector<std::string>{"Server not found", "Login failed!", "Connected"}));
    EXPECT_EQ(okEnabled, (std::vector<bool>{true, true}));
    EXPECT_TRUE(MessageBoxes().empty());  // failures go to the status line only
    EXPECT_EQ(gui::test::Unscripted(), std::vector<int>{});

    EXPECT_EQ(Session.m_Connected, 1);
    EXPECT_EQ(LoginUserID, 0);
    EXPECT_EQ(gui::GetTitle(shell::Frame()), ConnectedTitle());
    EXPECT_EQ(MenuName(), "FUNC_MENU");
    EXPECT_EQ(ButtonIds(), (std::vector<int>{103, 104, 105, 106, 102}));
    EXPECT_EQ(gui::ToolButtons(shell::Frame()).back().image, gui::kImageNone);
    EXPECT_FALSE(gui::IsItemGrey(shell::MenuByName("FUNC_MENU"), 104));
}

TEST_F(ConnectTest, ARestrictedUserLosesDataSourcesAndUsersUntilAnAdministratorLogsIn) {
    int opened = 0;
    shell::WindowHooks hooks;
    hooks.openDataSources = [&] { ++opened; };
    hooks.openUsers = [&] { ++opened; };
    shell::SetWindowHooks(hooks);
    LoadDemoProfile();
    ASSERT_TRUE(Login("admin", DevServer::AdminPassword()));
    // Give the demo developer a password, through the session as the windows would.
    UserList.Clear();
    ASSERT_EQ(Session.Execute(kCmdGetUsers), 0);
    Session.ParseResponse(kCmdGetUsers);
    UserItem* dev = nullptr;
    ASSERT_EQ(UserList.FindByName("developer", &dev), 0);
    CurrentUser.m_ID = dev->m_ID;
    CurrentUser.m_Password = "dev-pass";
    ASSERT_EQ(Session.Execute(kCmdUserPwd), 0);

    gui::PressToolButton(shell::Frame(), 4);  // Disconnect
    EXPECT_EQ(Session.m_Connected, 0);
    EXPECT_EQ(std::string(Session.m_Status.c_str()), "Disconnected");
    EXPECT_EQ(gui::GetTitle(shell::Frame()), "Quorvel Studio");
    EXPECT_EQ(MenuName(), "MAIN_MENU");
    EXPECT_EQ(ButtonIds(), std::vector<int>{400});

    ASSERT_TRUE(Login("developer", "dev-pass"));
    EXPECT_NE(LoginUserID, 0);
    gui::Menu func = shell::MenuByName("FUNC_MENU");
    EXPECT_TRUE(gui::IsItemGrey(func, 104));
    EXPECT_TRUE(gui::IsItemGrey(func, 105));
    EXPECT_FALSE(gui::PressMenuItem(shell::Frame(), 104));
    EXPECT_EQ(ButtonIds(), (std::vector<int>{103, 106, 102}));
    // The commands themselves, as a shortcut or a posted command would bring them.
    gui::SendCommand(shell::Frame(), 104);
    gui::SendCommand(shell::Frame(), 105);
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(ButtonIds(), (std::vector<int>{103, 106, 102}));

    ASSERT_TRUE(gui::PressMenuItem(shell::Frame(), 102));
    ASSERT_TRUE(Login("admin", DevServer::AdminPassword()));
    EXPECT_FALSE(gui::IsItemGrey(func, 104));
    EXPECT_FALSE(gui::IsItemGrey(func, 105));
    EXPECT_EQ(ButtonIds().size(), 5u);
    gui::SendCommand(shell::Frame(), 105);
    EXPECT_EQ(opened, 1);
}

TEST_F(ConnectTest, OpenReplacesTheAddressAndSaveAsWritesTheSettingsNotTheFields) {
    LoadDemoProfile();
    WriteFile(m_Dir + "/other.con",
              "Name=Other\nIP1=192\nIP2=168\nIP3=1\nIP4=9\nPort= 80\nUserName=olga\nUserPwd=pw\n");
    gui::test::QueueOpenFile(m_Dir + "/other.con");
    gui::test::QueueOpenFile(std::nullopt);
    gui::test::QueueSaveFile(m_Dir + "/saved.con");
    std::string title, ip, port, user, password, afterCancel;
    Connect([&](gui::Dialog& d) {
        d.SetText(205, "1234");  // never reaches the settings: no OK
        EXPECT_TRUE(d.Press(128));
        title = d.Title();
        ip = d.Text(201, 3) + "." + d.Text(202, 3) + "." + d.Text(203, 3) + "." + d.Text(204, 3);
        port = d.Text(205, 5);
        user = d.Text(206, 20);
        password = d.Text(207, 20);
        d.SetText(206, "typed");
        EXPECT_TRUE(d.Press(128));  // cancelled: nothing loaded, the fields filled again
        afterCancel = d.Text(206, 20);
        EXPECT_TRUE(d.Press(129));
        d.Press(2);
    });
    EXPECT_EQ(title, "Connect Other");
    EXPECT_EQ(ip, "127.0.0.1");
    EXPECT_EQ(port, "80");
    EXPECT_EQ(user, "olga");
    EXPECT_EQ(password, "pw");
    EXPECT_EQ(afterCancel, "olga");
    EXPECT_EQ(ReadFile(m_Dir + "/saved.con"),
              "Name=Other\r\nIP1=127\r\nIP2=0\r\nIP3=0\r\nIP4=1\r\nPort=80\r\nUserName=olga\r\n"
              "UserPwd=\r\n");

    const auto& dialogs = gui::test::FileDialogs();
    ASSERT_EQ(dialogs.size(), 3u);
    EXPECT_FALSE(dialogs[0].save);
    EXPECT_TRUE(dialogs[2].save);
    for (const auto& f : dialogs) {
        EXPECT_EQ(f.spec.filterName, "Connection Files (*.con)");
        EXPECT_EQ(f.spec.pattern, "*.con");
        EXPECT_EQ(f.spec.folder, shell::StartDirectory());
        EXPECT_EQ(f.spec.title, "");
    }
    EXPECT_EQ(dialogs[0].spec.fileName, "");
    EXPECT_EQ(dialogs[2].spec.fileName, "*.con");
}

// A stand-in for the object windows: one class, commands recorded.
struct FakeWindows {
    static std::vector<int>& Commands() {
        static std::vector<int> c;
        return c;
    }
    static std::vector<gui::Window>& Targets() {  // the window of each command
        static std::vector<gui::Window> t;
        return t;
    }
    static void Register() {
        gui::RegisterClass(
            "FakeClass",
            [](gui::Window w, const gui::Message& m) -> long {
                if (m.msg == gui::Msg::Command) {
                    Commands().push_back(m.id);
                    Targets().push_back(w);
                }
                if (m.msg == gui::Msg::Destroy) {
                    for (auto slot : {shell::ChildSlot::Requests, shell::ChildSlot::Htmls,
                                      shell::ChildSlot::Images, shell::ChildSlot::Data,
                                      shell::ChildSlot::Files}) {
                        if (shell::ChildHandle(slot) == w) shell::ChildHandle(slot) = 0;
                    }
                    gui::PostCommand(shell::Frame(), 127);
                }
                return 0;
            },
            gui::RGB(192, 192, 192));
    }
    static void Open(shell::ChildSlot slot, const char* title) {
        shell::ChildHandle(slot) =
            gui::CreateChild(shell::Frame(), "FakeClass", title, 0, 0, 200, 150);
    }
};

TEST_F(ConnectTest, RequestsTwiceClosesItAndTheLastWindowBringsBackTheConnectedState) {
    FakeWindows::Register();
    FakeWindows::Commands().clear();
    int applications = 0;
    shell::WindowHooks hooks;
    hooks.openApplications = [&] { ++applications; };
    hooks.openRequests = [] { FakeWindows::Open(shell::ChildSlot::Requests, "Requests"); };
    hooks.openFileWindow = [](int id) {
        FakeWindows::Open(id == 124 ? shell::ChildSlot::Htmls : shell::ChildSlot::Files, "Files");
    };
    shell::SetWindowHooks(hooks);
    LoadDemoProfile();
    ASSERT_TRUE(Login("admin", DevServer::AdminPassword()));

    gui::SendCommand(shell::Frame(), 103);
    EXPECT_EQ(applications, 1);
    EXPECT_GE(AppList.Count(), 1);  // the demo application, fetched before the window opens
    EXPECT_EQ(ButtonIds(), (std::vector<int>{112, 109, 110, 111, 116, 115}));

    CurrentApp.m_Name = "demo";
    gui::SendCommand(shell::Frame(), 123);
    gui::Menu req = shell::MenuByName("REQ_MENU");
    ASSERT_NE(shell::ChildHandle(shell::ChildSlot::Requests), 0);
    EXPECT_EQ(MenuName(), "REQ_MENU");
    EXPECT_TRUE(gui::IsItemChecked(req, 123));
    EXPECT_EQ(gui::GetTitle(shell::Frame()), ConnectedTitle() + " Application: demo");

    // Object commands go to the active child only.
    EXPECT_TRUE(gui::PressMenuItem(shell::Frame(), 110));
    gui::SendCommand(shell::Frame(), 117);
    gui::SendCommand(shell::Frame(), 114);
    EXPECT_EQ(FakeWindows::Commands(), (std::vector<int>{110, 117}));

    gui::SendCommand(shell::Frame(), 132);  // Files opens beside it and closes again
    EXPECT_TRUE(gui::IsItemChecked(req, 132));
    gui::SendCommand(shell::Frame(), 132);
    gui::ProcessEvents();
    EXPECT_FALSE(gui::IsItemChecked(req, 132));
    EXPECT_EQ(MenuName(), "REQ_MENU");  // Requests is still open

    gui::SendCommand(shell::Frame(), 124);  // Htmls opens beside it
    EXPECT_TRUE(gui::IsItemChecked(req, 124));
    // Find in Scripts goes to the Requests window, though Htmls is the active one.
    ASSERT_TRUE(gui::PressMenuItem(shell::Frame(), 135));
    EXPECT_EQ(FakeWindows::Commands().back(), 135);
    EXPECT_EQ(FakeWindows::Targets().back(), shell::ChildHandle(shell::ChildSlot::Requests));
    ASSERT_TRUE(gui::PressMenuItem(shell::Frame(), 123));  // the second time closes it
    gui::ProcessEvents();
    EXPECT_EQ(shell::ChildHandle(shell::ChildSlot::Requests), 0);
    EXPECT_FALSE(gui::IsItemChecked(req, 123));
    EXPECT_EQ(MenuName(), "REQ_MENU");  // Htmls is still open

    gui::SendCommand(shell::Frame(), 124);
    gui::ProcessEvents();
    EXPECT_EQ(gui::Children(shell::Frame()).size(), 0u);
    EXPECT_EQ(MenuName(), "FUNC_MENU");
    EXPECT_EQ(gui::GetTitle(shell::Frame()), ConnectedTitle());
    EXPECT_EQ(ButtonIds(), (std::vector<int>{103, 104, 105, 106, 102}));

    // Close All ends every slot window.
    gui::SendCommand(shell::Frame(), 123);
    gui::SendCommand(shell::Frame(), 132);
    EXPECT_EQ(gui::Children(shell::Frame()).size(), 2u);
    ASSERT_TRUE(gui::PressMenuItem(shell::Frame(), 122));
    gui::ProcessEvents();
    EXPECT_EQ(gui::Children(shell::Frame()).size(), 0u);
    EXPECT_EQ(MenuName(), "FUNC_MENU");
}

TEST_F(ConnectTest, SessionMessagesAreBoxesOwnedByTheFrame) {
    Report("socket() INVALID_SOCKET rc = 24");
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_EQ(MessageBoxes()[0].owner, shell::Frame());
    EXPECT_EQ(MessageBoxes()[0].caption, "Quorvel Studio");
    EXPECT_EQ(MessageBoxes()[0].text, "socket() INVALID_SOCKET rc = 24");
}

TEST_F(ConnectTest, ClosingWhileConnectedLogsOutAtTheServer) {
    LoadDemoProfile();
    ASSERT_TRUE(Login("admin", DevServer::AdminPassword()));
    AppList.Clear();
    ASSERT_EQ(Session.Execute(kCmdGetApps), 0);  // the session works
    gui::SendCommand(shell::Frame(), 108);
    EndRun();
    EXPECT_EQ(Session.m_Connected, 0);
    // The same session cookie is now unknown to the server.
    EXPECT_EQ(Session.Execute(kCmdGetApps), 1);
    EXPECT_NE(std::string(Session.GetErrorText()), "");
}

// A server that takes the logout and never answers must not keep the studio alive,
// invisible and holding its lock: the frame says so and gives up after a few seconds.
TEST_F(ConnectTest, ExitAgainstASilentServerEndsWithinSecondsWhileTheFrameShows) {
    net::TcpListener silent;
    ASSERT_EQ(silent.Listen("127.0.0.1", 0), 0);
    Session.m_ServerAddress = net::MakeAddress(127, 0, 0, 1, silent.Port());
    Session.m_Connected = 1;
    const int idle = Session.GetIdleTimeout();
    const auto start = std::chrono::steady_clock::now();
    gui::SendCommand(shell::Frame(), 108);
    EndRun();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(6));
    EXPECT_EQ(Session.m_Connected, 0);
    ASSERT_FALSE(gui::test::StatusTexts().empty());
    EXPECT_EQ(gui::test::StatusTexts().back(), "Disconnecting\u2026");
    EXPECT_EQ(Session.GetIdleTimeout(), idle);  // the short bound was for the logout only
}

}  // namespace
}  // namespace shelltest
