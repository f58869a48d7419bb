// The Users window end to end against a real devserver with the demo data: width, lines
// and types, the administrator who cannot be deleted, the dialogs' checks, where the
// cursor lands, and a change of type as the application and request dialogs see it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/gui/TestDriver.h"
#include "studio/resources/WindowResources.h"
#include "studio/windows/AppWindow.h"
#include "studio/windows/ReqWindow.h"
#include "studio/windows/UserWindow.h"
#include "studio/windows/tests/Harness.h"

namespace {

using namespace qvwtest;
namespace gt = gui::test;

struct UserWindowTest : ::testing::Test {
    DevServer server{true};
    gui::Window w = 0;
    void SetUp() override {
        if (!server.Up()) GTEST_SKIP() << "quorvel-devserver is not available";
        ASSERT_TRUE(LoginAdmin(server.Port()));
        qvw::RegisterUserWindow();
    }
    void Open() {
        w = qvw::OpenUsers();
        gui::ProcessEvents();
    }
    long Cursor() { return qvw::UserWindow().Browse().CurrentIndex(); }
    void GoTo(const char* name) {
        qvw::UserWindow().Browse().GotoRecord(qvw::IndexByName(UserList, name) + 1);
    }
};

// The user dialog: fields and type, then OK, then Cancel when a box kept it open.
void ScriptUser(const std::string& name, const std::string& description, int type) {
    gt::OnDialog(kUserDialog, [=](gui::Dialog& d) {
        d.SetText(kIdUserName, name);
        d.SetText(kIdUserDescription, description);
        d.ListSelect(kIdUserType, type);
        d.Press(1);
        if (!d.Ended()) d.Press(2);
    });
}

bool AllUsersHas(gui::Dialog& d, const std::string& name) {
    for (int i = 0; i < d.ListCount(kIdAllUsers); ++i)
        if (d.ListText(kIdAllUsers, i) == name) return true;
    return false;
}

TEST_F(UserWindowTest, LinesTypesAndTheAdministrator) {
    TestFrame frame;
    Open();
    EXPECT_EQ(gui::WindowRectOf(w).Width(), 500);
    EXPECT_EQ(gui::GetTitle(w), "Users");
    EXPECT_EQ(gui::MenuName(gui::AttachedMenu(frame.Handle())), "USER_MENU");
    EXPECT_EQ(qvw::UserWindow().Browse().HeaderText(),
              "Name                 Description          Type");
    EXPECT_EQ(WindowLine(qvw::UserWindow(), 1), "developer            Demo developer       Dev");
    EXPECT_EQ(WindowLine(qvw::UserWindow(), 2), "shopper              Demo run-time user   Run");
    // An unknown type shows "???", and editing it preselects "Run".
    qvw::WithRecordAt(UserList, 2, [](UserItem& u) { u.m_Type = 7; });
    EXPECT_EQ(WindowLine(qvw::UserWindow(), 2).substr(42), "???");
    GoTo("shopper");
    gt::OnDialog(kUserDialog, [](gui::Dialog& d) {
        EXPECT_EQ(d.Title(), "Edit User");
        EXPECT_EQ(d.ListText(kIdUserType, d.ListSelection(kIdUserType)), "Run");
        d.Press(2);
    });
    RunCommand(w, 110);
    // The administrator: no Delete (a box says so), but Edit and Password, and the cursor
    // stays on it.
    qvw::UserWindow().Browse().GotoRecord(1);
    RunCommand(w, 111);
    EXPECT_EQ(gt::DialogsOpened(), std::vector<int>{kUserDialog});
    ASSERT_EQ(gt::MessageBoxes().size(), 1u);
    gt::Reset();
    ScriptUser("admin", "The administrator", 0);
    RunCommand(w, 110);
    EXPECT_EQ(WindowLine(qvw::UserWindow(), 0).substr(21, 17), "The administrator");
    gt::OnDialog(kUserPwdDialog, [](gui::Dialog& d) {
        EXPECT_EQ(d.Title(), "User Password");
        EXPECT_EQ(d.Text(kIdUserName, 20), "admin");
        d.Press(1);
        d.SetText(kIdUserPassword, "x,0");  // the rest would name the user to change
        d.SetText(kIdUserPasswordAgain, "x,0");
        d.Press(1);
        d.SetText(kIdUserPassword, "new-admin");
        d.SetText(kIdUserPasswordAgain, "new-admin");
        d.Press(1);
    });
    RunCommand(w, 113);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"No User Password!",
                                                    "Password may not contain \",\" or \")\"!"}));
    EXPECT_EQ(Cursor(), 0);
    EXPECT_TRUE(Login(server.Port(), "admin", "new-admin"));
}

TEST_F(UserWindowTest, DialogChecksAndTheCursorAfterEachCommand) {
    TestFrame frame;
    Open();
    gt::OnDialog(kUserDialog, [](gui::Dialog& d) {
        EXPECT_EQ(d.Title(), "New User");
        EXPECT_EQ(d.ListSelection(kIdUserType), 0);
        d.Press(1);
        d.SetText(kIdUserName, "a&b");
        d.Press(1);
        d.SetText(kIdUserName, "developer");
        d.Press(1);
        d.Press(2);
    });
    RunCommand(w, 109);
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{"No User Name!", "User name holds one of , ) ( < > &",
                                        "User exists!"}));
    ScriptUser("abcdefghijklmnopqrstuvwxyz", "", 1);  // only the first 20 are read
    RunCommand(w, 109);
    const long added = qvw::IndexByName(UserList, "abcdefghijklmnopqrst");
    ASSERT_GE(added, 0);
    EXPECT_EQ(Cursor(), added);
    GoTo("developer");
    ScriptUser("developer", "now runs", 1);  // keeping the name, from Dev to Run
    RunCommand(w, 110);
    EXPECT_EQ(Cursor(), qvw::IndexByName(UserList, "developer"));
    GoTo("shopper");
    gt::OnDialog(kUserPwdDialog, [](gui::Dialog& d) {
        d.SetText(kIdUserPassword, "shop-pw");
        d.SetText(kIdUserPasswordAgain, "shop-pw");
        d.Press(1);
    });
    RunCommand(w, 113);
    EXPECT_EQ(Cursor(), qvw::IndexByName(UserList, "shopper"));
    GoTo("abcdefghijklmnopqrst");
    gt::OnDialog(kDeleteDialog, [](gui::Dialog& d) {
        EXPECT_EQ(d.Text(kIdDeleteLine, 100), "User :  abcdefghijklmnopqrst");
        d.Press(1);
    });
    RunCommand(w, 111);
    EXPECT_LT(qvw::IndexByName(UserList, "abcdefghijklmnopqrst"), 0);
    EXPECT_EQ(Cursor(), 0);
    gt::SendKey(w, gui::kVkEscape);
    gui::ProcessEvents();
    EXPECT_EQ(UserList.Count(), 0);

    // The developer, now a Run user, is offered to requests and no longer to applications.
    qvw::RegisterAppWindow();
    qvw::Fetch(AppList, kCmdGetApps);
    gui::Window apps = qvw::OpenApplications();
    gt::OnDialog(kAppDialog, [](gui::Dialog& d) {
        EXPECT_FALSE(AllUsersHas(d, "developer"));
        d.Press(2);
    });
    RunCommand(apps, 109);
    long demo = 0;
    ASSERT_TRUE(qvw::IdOfName(AppList, "demo", demo));
    CurrentApp.m_ID = demo;
    gui::MdiDestroy(apps);
    qvw::RegisterReqWindow();
    gui::Window reqs = qvw::OpenRequests();
    gui::ProcessEvents();
    gt::OnDialog(kReqDialog, [](gui::Dialog& d) {
        EXPECT_TRUE(AllUsersHas(d, "developer"));
        gt::OnDialog(kCancelDialog, [](gui::Dialog& c) { c.Press(1); });
        d.Press(2);
    });
    RunCommand(reqs, 109);
    EXPECT_EQ(gt::PendingScripts(), 0);
}

}  // namespace
