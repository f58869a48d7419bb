// The Applications window end to end against a real devserver: listing, the application
// dialog, the two delete confirmations, restricted greying, and the message table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gui/TestDriver.h"
#include "studio/resources/WindowResources.h"
#include "studio/windows/AppWindow.h"
#include "studio/windows/tests/Harness.h"

namespace {

using namespace qvwtest;
namespace gt = gui::test;

std::string LineOf(long index) {
    return WindowLine(qvw::AppWindow(), index);
}
std::string CurrentName() {
    std::string name;
    qvw::WithRecordAt(AppList, qvw::AppWindow().Browse().CurrentIndex(),
                      [&name](AppItem& a) { name = a.m_Name.str(); });
    return name;
}
std::vector<std::string> AppNames() {
    std::vector<std::string> out;
    for (long i = 0; i < AppList.Count(); ++i)
        qvw::WithRecordAt(AppList, i, [&out](AppItem& a) { out.push_back(a.m_Name.str()); });
    return out;
}
// The frame's Applications command: fetch, then the window.
gui::Window OpenWindow() {
    qvw::Fetch(AppList, kCmdGetApps);
    gui::Window w = qvw::OpenApplications();
    gui::ProcessEvents();
    return w;
}
void Command(gui::Window w, int id) {
    gui::SendCommand(w, id);
    gui::ProcessEvents();
}
// Scripts the application dialog: fields, then OK.
void ScriptAppDialog(const std::string& name, const std::string& description,
                     const std::string& timeout, bool addFirstUser = false) {
    gt::OnDialog(kAppDialog, [=](gui::Dialog& d) {
        d.SetText(kIdAppName, name);
        d.SetText(kIdAppDescription, description);
        d.SetText(kIdAppTimeout, timeout);
        if (addFirstUser) d.Press(kIdAddUser);
        d.Press(1);
    });
}
// The application list as the server keeps it now, fetched afresh.
std::vector<std::string> ServerApps() {
    qvw::Fetch(AppList, kCmdGetApps);
    return AppNames();
}

struct AppWindowTest : ::testing::Test {
    void SetUp() override { qvw::RegisterAppWindow(); }
};

TEST_F(AppWindowTest, EmptyListShowsTheHeaderAndCommandsOnTheRecordDoNothing) {
    DevServer server(false);
    QVW_NEED_SERVER(server);
    ASSERT_TRUE(LoginAdmin(server.Port()));
    TestFrame frame;
    gui::Window w = OpenWindow();
    ASSERT_NE(w, 0);
    EXPECT_EQ(gui::GetTitle(w), "Applications");
    EXPECT_EQ(qvw::AppWindow().Browse().GetNumberOfRecords(), 0);
    EXPECT_EQ(qvw::AppWindow().Browse().HeaderText(),
              "Name                 Description                    Session Timeout");
    EXPECT_EQ(TransferKind, kTransferApp);
    EXPECT_EQ(gui::MenuName(gui::AttachedMenu(frame.Handle())), "APP_MENU");
    for (int id : {110, 111, 112, 115}) Command(w, id);
    EXPECT_TRUE(gt::DialogsOpened().empty());
    EXPECT_TRUE(gt::FileDialogs().empty());
    EXPECT_TRUE(gt::MessageBoxes().empty());
    EXPECT_TRUE(gui::IsWindow(w));
}

TEST_F(AppWindowTest, NewEditAndDeleteKeepTheCursorAndTheListInStep) {
    DevServer server(true);
    QVW_NEED_SERVER(server);
    ASSERT_TRUE(LoginAdmin(server.Port()));
    TestFrame frame;
    gui::Window w = OpenWindow();
    ASSERT_EQ(AppNames(), std::vector<std::string>{"demo"});

    // New: cursor on the new application; the line cuts, the server keeps it whole.
    const std::string longName = "a-name-longer-than-twenty";
    const std::string longDesc = "a description longer than thirty characters";
    ScriptAppDialog(longName, longDesc, "12abc");
    Command(w, 109);
    EXPECT_TRUE(gt::MessageBoxes().empty()) << BoxTexts()[0];
    EXPECT_EQ(CurrentName(), longName);
    long index = qvw::IndexByName(AppList, longName.c_str());
    ASSERT_GE(index, 0);
    EXPECT_EQ(LineOf(index), "a-name-longer-than-t a description longer than thir 12");
    ScriptAppDialog("zz-letters", "", "abc");
    Command(w, 109);
    EXPECT_EQ(CurrentName(), "zz-letters");
    EXPECT_EQ(LineOf(qvw::IndexByName(AppList, "zz-letters")),
              "zz-letters                                          0");

    // Edit: renaming to another application's name is refused and sends nothing.
    gt::OnDialog(kAppDialog, [](gui::Dialog& d) {
        EXPECT_EQ(d.Title(), "Edit Application");
        EXPECT_EQ(d.Text(kIdAppName, 50), "zz-letters");
        EXPECT_EQ(d.Text(kIdAppTimeout, 20), "0");
        d.SetText(kIdAppName, "demo");
        d.Press(1);
        EXPECT_FALSE(d.Ended());
        d.Press(2);
    });
    Command(w, 110);
    ASSERT_EQ(BoxTexts(), std::vector<std::string>{"App exists!"});
    EXPECT_EQ(gt::MessageBoxes()[0].caption, "Quorvel Studio");
    // Keeping the name is fine; renaming finds the record by id.
    gui::test::Reset();
    gt::OnDialog(kAppDialog, [](gui::Dialog& d) {
        d.SetText(kIdAppTimeout, "45");
        d.Press(1);
    });
    Command(w, 110);
    EXPECT_TRUE(gt::MessageBoxes().empty());
    EXPECT_EQ(LineOf(qvw::IndexByName(AppList, "zz-letters")),
              "zz-letters                                          45");
    qvw::AppWindow().Browse().GotoRecord(1);  // "a-name-..." or "demo", by the server's order
    std::string before = CurrentName();
    ScriptAppDialog("renamed-" + before.substr(0, 8), "", "5");
    Command(w, 110);
    EXPECT_EQ(CurrentName(), "renamed-" + before.substr(0, 8));

    // Delete: Cancel in the second confirmation returns to the first; only its Cancel ends.
    gui::test::Reset();
    qvw::AppWindow().Browse().GotoRecord(qvw::IndexByName(AppList, "zz-letters") + 1);
    gt::OnDialog(kDeleteDialog, [](gui::Dialog& d) {
        EXPECT_EQ(d.Text(kIdDeleteLine, 200), "Application :  zz-letters");
        gt::OnDialog(kDeleteSureDialog, [](gui::Dialog& s) {
            EXPECT_EQ(s.Text(kIdDeleteLine, 200), "Application :  zz-letters");
            s.Press(kIdStop);
            EXPECT_FALSE(s.Ended());
            EXPECT_EQ(s.Text(kIdStatusLine, 50), "");
            s.Press(2);
        });
        d.Press(1);
        EXPECT_FALSE(d.Ended());
        d.Press(2);
    });
    Command(w, 111);
    EXPECT_EQ(gt::DialogsOpened(), (std::vector<int>{kDeleteDialog, kDeleteSureDialog}));
    EXPECT_GE(qvw::IndexByName(AppList, "zz-letters"), 0);
    gt::OnDialog(kDeleteDialog, [](gui::Dialog& d) {
        gt::OnDialog(kDeleteSureDialog, [](gui::Dialog& s) { s.Press(1); });
        d.Press(1);
        EXPECT_TRUE(d.Ended());
    });
    Command(w, 111);
    EXPECT_LT(qvw::IndexByName(AppList, "zz-letters"), 0);
    EXPECT_EQ(qvw::AppWindow().Browse().GetRecordNumber(), 1);
    EXPECT_LT(qvw::IndexByName(AppList, "zz-letters"), 0);
    EXPECT_TRUE(gt::Unscripted().empty());
}

TEST_F(AppWindowTest, UsersOfTheDialogFollowTheAvailableUserRule) {
    DevServer server(true);
    QVW_NEED_SERVER(server);
    ASSERT_TRUE(LoginAdmin(server.Port()));
    TestFrame frame;
    gui::Window w = OpenWindow();
    // demo has the developer; the run-time user is never offered, nor a user it has.
    auto boxHas = [](gui::Dialog& d, int id, const std::string& name) {
        for (int i = 0; i < d.ListCount(id); ++i)
            if (d.ListText(id, i) == name) return true;
        return false;
    };
    gt::OnDialog(kAppDialog, [&](gui::Dialog& d) {
        ASSERT_EQ(d.ListCount(kIdAppUsers), 1);
        EXPECT_EQ(d.ListText(kIdAppUsers, 0), "developer");
        EXPECT_FALSE(boxHas(d, kIdAllUsers, "developer"));
        EXPECT_FALSE(boxHas(d, kIdAllUsers, "shopper"));
        d.Press(kIdRemoveUser);
        EXPECT_EQ(d.ListCount(kIdAppUsers), 0);
        EXPECT_TRUE(boxHas(d, kIdAllUsers, "developer"));
        d.Press(kIdRemoveUser);  // nothing left to remove
        d.Press(2);
    });
    Command(w, 110);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"No User selected!"});
    // A New after that Edit starts with no users, and the new one gets none it did not choose.
    gt::OnDialog(kAppDialog, [&](gui::Dialog& d) {
        EXPECT_EQ(d.Title(), "New Application");
        EXPECT_EQ(d.ListCount(kIdAppUsers), 0);
        EXPECT_TRUE(boxHas(d, kIdAllUsers, "developer"));
        EXPECT_FALSE(boxHas(d, kIdAllUsers, "shopper"));
        EXPECT_EQ(d.ListSelection(kIdAllUsers), 0);
        d.SetText(kIdAppName, "second");
        d.Press(1);
    });
    Command(w, 109);
    CurrentApp.m_ID = 0;
    qvw::WithRecordAt(AppList, qvw::IndexByName(AppList, "second"),
                      [](AppItem& a) { CurrentApp.m_ID = a.m_ID; });
    qvw::Fetch(AppUserList, kCmdGetAppUsers);
    EXPECT_EQ(AppUserList.Count(), 0);
    // Names and descriptions that would shift the server's arguments are refused.
    gui::test::Reset();
    gt::OnDialog(kAppDialog, [](gui::Dialog& d) {
        d.SetText(kIdAppName, "a,b");
        d.Press(1);
        d.SetText(kIdAppName, "ab");
        d.SetText(kIdAppDescription, "x)y");
        d.Press(1);
        d.SetText(kIdAppName, "");
        d.Press(1);
        EXPECT_FALSE(d.Ended());
        d.Press(2);
    });
    Command(w, 109);
    ASSERT_EQ(gt::MessageBoxes().size(), 3u);
    EXPECT_NE(BoxTexts()[0].find("\",\" or \")\""), std::string::npos);
    EXPECT_EQ(BoxTexts()[1], BoxTexts()[0]);
    EXPECT_EQ(BoxTexts()[2], "No AppName!");
    EXPECT_EQ(ServerApps(), (std::vector<std::string>{"demo", "second"}));
}

TEST_F(AppWindowTest, RestrictedSessionGetsTheGreyedMenuAndCannotCommand) {
    DevServer server(true);
    QVW_NEED_SERVER(server);
    ASSERT_TRUE(Login(server.Port(), "developer", "developer"));
    ASSERT_NE(LoginUserID, 0);
    TestFrame frame;
    gui::Window w = OpenWindow();
    gui::Menu menu = gui::AttachedMenu(frame.Handle());
    for (int id : {109, 110, 111, 115, 116}) EXPECT_TRUE(gui::IsItemGrey(menu, id)) << id;
    EXPECT_FALSE(gui::IsItemGrey(menu, 112));
    for (int id : {109, 110, 111, 115, 116}) Command(w, id);
    EXPECT_TRUE(gt::DialogsOpened().empty());
    EXPECT_TRUE(gt::FileDialogs().empty());
    gui::MdiDestroy(w);
    gui::ProcessEvents();
    // A later full session of the same run finds them enabled again.
    ASSERT_TRUE(LoginAdmin(server.Port()));
    w = OpenWindow();
    for (int id : {109, 110, 111, 115, 116}) EXPECT_FALSE(gui::IsItemGrey(menu, id)) << id;
}

TEST_F(AppWindowTest, EnterAndDoubleClickOpenEscapeAndRightClickClose) {
    DevServer server(true);
    QVW_NEED_SERVER(server);
    ASSERT_TRUE(LoginAdmin(server.Port()));
    TestFrame frame;
    gui::Window w = OpenWindow();
    gt::SendKey(w, gui::kVkReturn);
    EXPECT_TRUE(WaitUntil([&] { return !gui::IsWindow(w); }, 5000));
    EXPECT_EQ(frame.commands, std::vector<int>{123});
    EXPECT_EQ(CurrentApp.m_Name.str(), "demo");
    EXPECT_EQ(AppList.Count(), 0);
    EXPECT_EQ(gui::MenuName(gui::AttachedMenu(frame.Handle())), "FUNC_MENU");
    EXPECT_EQ(frame.toolbarSets, std::vector<int>{2});

    w = OpenWindow();
    gt::SendMessageTo(w, {gui::Msg::LButtonDblClk, 0, 0, gui::MakeLong(10, 30)});
    EXPECT_TRUE(WaitUntil([&] { return !gui::IsWindow(w); }, 5000));
    EXPECT_EQ(frame.commands, (std::vector<int>{123, 123}));

    w = OpenWindow();
    gt::SendKey(w, gui::kVkEscape);
    EXPECT_TRUE(WaitUntil([&] { return !gui::IsWindow(w); }, 5000));
    w = OpenWindow();
    gt::SendMessageTo(w, {gui::Msg::RButtonDown, 0, 0, gui::MakeLong(10, 30)});
    EXPECT_TRUE(WaitUntil([&] { return !gui::IsWindow(w); }, 5000));
    EXPECT_EQ(frame.commands.size(), 2u);
    EXPECT_EQ(frame.toolbarSets, (std::vector<int>{2, 2, 2, 2}));
}

}  // namespace
