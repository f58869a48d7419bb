// Start-up, profiles on the toolbar, exit: through the real frame procedure.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/gui/Templates.h"
#include "platform/os/System.h"
#include "studio/resources/ShellResources.h"
#include "studio/session/ServerSession.h"
#include "studio/shell/Shell.h"
#include "studio/shell/StudioSettings.h"
#include "studio/shell/tests/ShellFixture.h"

namespace shelltest {
namespace {

using gui::test::MessageBoxes;

TEST_F(ShellTest, ASecondInstanceIsRefusedWithoutAWindow) {
    WriteConfig();
    os::InstanceLock other;
    ASSERT_TRUE(other.Acquire("wm"));
    EXPECT_EQ(shell::Start(), -1);
    EXPECT_EQ(shell::Frame(), 0);
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_EQ(MessageBoxes()[0].owner, 0);
    EXPECT_EQ(MessageBoxes()[0].text, "Quorvel Studio is already running!");
    EXPECT_EQ(MessageBoxes()[0].caption, "Quorvel Studio");

    // Once the first one has gone, the studio starts, and holds the lock itself.
    other.Release();
    StartFrame();
    os::InstanceLock third;
    EXPECT_FALSE(third.Acquire("wm"));
}

TEST_F(ShellTest, AMissingConfigurationEndsTheStartAndFreesTheLock) {
    EXPECT_EQ(shell::Start(), -1);
    EXPECT_EQ(shell::Frame(), 0);
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_EQ(MessageBoxes()[0].text, "File quorvelide.cfg not found!");
    EXPECT_EQ(MessageBoxes()[0].caption, "Quorvel Studio");
    EXPECT_EQ(MessageBoxes()[0].owner, 0);
    WriteConfig();
    StartFrame();
}

TEST_F(ShellTest, NineProfilesGiveNineButtonsThatEachLoadTheirProfile) {
    WriteConfig();
    for (int i = 1; i <= 9; ++i)
        WriteProfile("p" + std::to_string(i) + ".con", "Server " + std::to_string(i), 7000 + i,
                     "user" + std::to_string(i));
    StartFrame();
    auto buttons = gui::ToolButtons(shell::Frame());
    ASSERT_EQ(buttons.size(), 9u);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(buttons[size_t(i)].id, 400 + i);
        EXPECT_EQ(buttons[size_t(i)].label, "Server " + std::to_string(i + 1));
        EXPECT_EQ(buttons[size_t(i)].image, gui::kStdFileOpen);
    }
    for (int i : {0, 8}) {
        std::string title, ip, port, user, status;
        gui::test::OnDialog(kConnectDialog, [&](gui::Dialog& d) {
            title = d.Title();
            ip =
                d.Text(201, 3) + "." + d.Text(202, 3) + "." + d.Text(203, 3) + "." + d.Text(204, 3);
            port = d.Text(205, 5);
            user = d.Text(206, 20);
            status = d.Text(208, 100);
            d.Press(2);
        });
        gui::PressToolButton(shell::Frame(), i);
        gui::ProcessEvents();  // the button posts Connect to the frame
        EXPECT_EQ(gui::test::PendingScripts(), 0);
        EXPECT_EQ(title, "Connect Server " + std::to_string(i + 1));
        EXPECT_EQ(ip, "127.0.0.1");  // the profile's 10.1.2.3 is replaced
        EXPECT_EQ(port, std::to_string(7001 + i));
        EXPECT_EQ(user, "user" + std::to_string(i + 1));
        EXPECT_EQ(status, "Disconnected");
        EXPECT_EQ(MenuName(), "MAIN_MENU");  // cancelled: still not connected
    }
}

TEST_F(ShellTest, TwelveProfilesShowTwelveButtonsButOnlyTenAct) {
    WriteConfig();
    for (int i = 0; i < 12; ++i) {
        char file[16];
        std::snprintf(file, sizeof file, "p%02d.con", i);
        WriteProfile(file, "S" + std::to_string(i), 7100 + i);
    }
    StartFrame();
    ASSERT_EQ(ButtonIds().size(), 12u);
    EXPECT_EQ(ButtonIds()[11], 411);
    for (int index : {10, 11}) {
        gui::PressToolButton(shell::Frame(), index);
        gui::ProcessEvents();
    }
    EXPECT_TRUE(gui::test::DialogsOpened().empty());
    gui::PressToolButton(shell::Frame(), 9);
    gui::ProcessEvents();
    EXPECT_EQ(gui::test::DialogsOpened(), std::vector<int>{kConnectDialog});
    EXPECT_EQ(shell::Settings().GetPort(), 7109);
}

TEST_F(ShellTest, AnUntouchedFrameLeavesTheConfigurationByteForByte) {
    // Odd line ends and an unknown line: a rewrite would show.
    const std::string cfg = "w=640\nh=480\nx=15\ny=25\nUpDownDir=/nowhere\nKeep=this\n";
    WriteConfig(cfg);
    StartFrame();
    gui::SendCommand(shell::Frame(), 107);  // the About box opens and is closed
    EXPECT_EQ(gui::test::DialogsOpened(), std::vector<int>{kAboutDialog});
    gui::SendCommand(shell::Frame(), 108);  // Exit
    EXPECT_EQ(shell::Frame(), 0);
    EndRun();
    EXPECT_EQ(ReadFile(m_Dir + "/quorvelide.cfg"), cfg);
    EXPECT_EQ(shell::Settings().Profiles().Count(), 0);
}

TEST_F(ShellTest, AMovedFrameRewritesTheConfigurationWithItsPlacement) {
    WriteConfig("w=640\nh=480\nx=15\ny=25\nUpDownDir=/nowhere\nKeep=this\n");
    StartFrame();
    const gui::Rect before = gui::ClientRect(gui::MdiClient(shell::Frame()));
    gui::MoveFrame(shell::Frame(), 100, 50, 600, 400);
    // The toolbar, the MDI client and the status bar follow the frame.
    const gui::Rect after = gui::ClientRect(gui::MdiClient(shell::Frame()));
    EXPECT_EQ(before.Width() - after.Width(), 40);
    EXPECT_EQ(before.Height() - after.Height(), 80);
    ASSERT_TRUE(gui::PressMenuItem(shell::Frame(), 108));
    EndRun();
    EXPECT_EQ(ReadFile(m_Dir + "/quorvelide.cfg"),
              "UpDownDir=/nowhere\r\nx=100\r\ny=50\r\nw=600\r\nh=400\r\n");
}

TEST_F(ShellTest, ADeadProfileButtonStillOpensTheDialogWithTheEarlierFields) {
    WriteConfig();
    WriteProfile("a.con", "Alpha", 7201, "ann");
    WriteProfile("b.con", "Beta", 7202, "bob");
    StartFrame();
    gui::test::OnDialog(kConnectDialog, [](gui::Dialog& d) { d.Press(2); });
    gui::PressToolButton(shell::Frame(), 0);
    gui::ProcessEvents();
    // The second profile disappears after the listing: its button changes nothing.
    std::remove((m_Dir + "/b.con").c_str());
    std::string user;
    gui::test::OnDialog(kConnectDialog, [&](gui::Dialog& d) {
        user = d.Text(206, 20);
        d.Press(2);
    });
    gui::PressToolButton(shell::Frame(), 1);
    gui::ProcessEvents();
    EXPECT_EQ(user, "ann");
}

TEST_F(ShellTest, CommandsOfWindowsNotBuiltDoNothing) {
    WriteConfig();
    StartFrame();
    for (int id : {103, 104, 105, 106, 109, 110, 111, 112, 113, 115, 116, 117, 118,
                   119, 120, 121, 123, 124, 125, 126, 127, 132, 133, 134, 236, 999}) {
        gui::SendCommand(shell::Frame(), id);
    }
    EXPECT_EQ(gui::GetTitle(shell::Frame()), "Quorvel Studio");
    EXPECT_TRUE(gui::test::DialogsOpened().empty());
    EXPECT_TRUE(gui::test::MessageBoxes().empty());
}

TEST_F(ShellTest, TheSixMenusAndTheirStartingState) {
    WriteConfig();
    StartFrame();
    for (const char* name :
         {"MAIN_MENU", "FUNC_MENU", "APP_MENU", "REQ_MENU", "DS_MENU", "USER_MENU"}) {
        gui::Menu m = shell::MenuByName(name);
        ASSERT_NE(m, 0) << name;
        EXPECT_TRUE(gui::HasItem(m, 107)) << name;
        EXPECT_TRUE(gui::HasItem(m, 108)) << name;
        const bool req = std::string(name) == "REQ_MENU";
        for (int id : {118, 119, 120, 121, 122}) EXPECT_EQ(gui::IsItemGrey(m, id), !req) << name;
        EXPECT_EQ(gui::IsItemGrey(m, 123), !req) << name;
        EXPECT_EQ(gui::IsItemGrey(m, 132), !req) << name;
        // View > Refresh (F5) in the menus of the list windows.
        const bool list = std::string(name) != "MAIN_MENU" && std::string(name) != "FUNC_MENU";
        EXPECT_EQ(gui::HasItem(m, 134) && !gui::IsItemGrey(m, 134), list) << name;
    }
    gui::Menu req = shell::MenuByName("REQ_MENU");
    for (int id : {124, 125, 126}) EXPECT_TRUE(gui::HasItem(req, id) && !gui::IsItemGrey(req, id));
    // Find in Scripts (Ctrl+Shift+F) in the menu of the Requests window alone.
    EXPECT_TRUE(gui::HasItem(req, 135) && !gui::IsItemGrey(req, 135));
    EXPECT_FALSE(gui::HasItem(shell::MenuByName("APP_MENU"), 135));
    std::string shortcut;
    for (const gui::Popup& p : gui::FindMenuTemplate("REQ_MENU")->popups)
        for (const gui::MenuItem& i : p.items)
            if (i.id == 135 && i.shortcut) shortcut = i.shortcut;
    EXPECT_EQ(shortcut, "Ctrl+Shift+F");
    EXPECT_TRUE(gui::HasItem(shell::MenuByName("MAIN_MENU"), 101));
    EXPECT_TRUE(gui::HasItem(shell::MenuByName("FUNC_MENU"), 102));
    EXPECT_FALSE(gui::HasItem(shell::MenuByName("FUNC_MENU"), 101));
}

}  // namespace
}  // namespace shelltest
