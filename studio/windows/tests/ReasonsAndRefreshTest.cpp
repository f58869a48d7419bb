// Plain speaking in the real windows and dialogs against a real devserver: the server's
// reason in error boxes, the question before Clean, Refresh, the named trace switches,
// passwords typed twice, and why nothing happens on "(none)" and on the administrator.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gui/TestDriver.h"
#include "studio/resources/MonitorResources.h"
#include "studio/resources/WindowResources.h"
#include "studio/windows/DSWindow.h"
#include "studio/windows/FileWindows.h"
#include "studio/windows/Monitor.h"
#include "studio/windows/UserWindow.h"
#include "studio/windows/tests/Harness.h"

namespace {

using namespace qvwtest;
namespace gt = gui::test;

const char* const kMismatch =
    "The two passwords are not the same: type the password again in both fields!";

TEST(PlainSpeaking, ReasonsQuestionsRefreshSwitchNamesPasswordsAndRefusals) {
    DevServer server(true);
    QVW_NEED_SERVER(server);
    ASSERT_TRUE(LoginAdmin(server.Port()));
    TestFrame frame;
    qvw::RegisterDSWindow();
    gui::Window ds = qvw::OpenDataSources();
    gui::ProcessEvents();
    auto goTo = [](qvw::ListWindow& win, auto& list, const char* name) {
        win.Browse().GotoRecord(qvw::IndexByName(list, name) + 1);
    };

    // "(none)": each command says why it does nothing.
    goTo(qvw::DSWindow(), DSList, "(none)");
    for (int id : {qvw::kCmdEdit, qvw::kCmdDelete, qvw::kCmdPassword}) RunCommand(ds, id);
    EXPECT_TRUE(gt::DialogsOpened().empty());
    EXPECT_EQ(BoxTexts(), std::vector<std::string>(3,
                                                   "\"(none)\" stands for no data source: it "
                                                   "cannot be edited, deleted or given a "
                                                   "password."));
    // The server's reason, not its raw answer.
    gt::Reset();
    goTo(qvw::DSWindow(), DSList, "demo-db");
    gt::OnDialog(kDeleteDialog, [](gui::Dialog& d) {
        d.Press(1);
        d.Press(2);
    });
    RunCommand(ds, qvw::kCmdDelete);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"The data source is used by 3 request(s)"});

    // The password as dots, typed twice; a mismatch sends nothing.
    gt::Reset();
    gt::OnDialog(kDSPwdDialog, [](gui::Dialog& d) {
        d.SetText(kIdDSUserName, "changed");
        gt::TypeInto(d, kIdDSPassword, "secret");
        EXPECT_EQ(gt::ShownText(d, kIdDSPassword).find("secret"), std::string::npos);
        EXPECT_FALSE(gt::ShownText(d, kIdDSPassword).empty());
        gt::TypeInto(d, kIdDSPasswordAgain, "secreT");
        d.Press(1);
        EXPECT_FALSE(d.Ended());
        d.Press(2);
    });
    RunCommand(ds, qvw::kCmdPassword);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{kMismatch});
    ASSERT_EQ(qvw::Fetch(DSList, kCmdGetDSs), 0);
    qvw::WithRecordAt(DSList, qvw::IndexByName(DSList, "demo-db"),
                      [](DSItem& r) { EXPECT_EQ(r.m_UserName.str(), "shop"); });

    // Refresh: what changed behind the window's back shows, the cursor stays put.
    qvw::DSWindow().Reshow();
    goTo(qvw::DSWindow(), DSList, "demo-db");
    const long at = qvw::DSWindow().Browse().CurrentIndex();
    CurrentDS.m_Name = "added-elsewhere";
    CurrentDS.m_Description = "";
    CurrentDS.m_Connections = 1;
    ASSERT_EQ(qvw::Send(kCmdNewDS), 0);  // the window's list as it was
    ASSERT_LT(qvw::IndexByName(DSList, "added-elsewhere"), 0);
    RunCommand(ds, qvw::kCmdRefresh);
    EXPECT_GE(qvw::IndexByName(DSList, "added-elsewhere"), 0);
    EXPECT_EQ(qvw::DSWindow().Browse().GetNumberOfRecords(), DSList.Count());
    EXPECT_EQ(qvw::DSWindow().Browse().CurrentIndex(), at);
    gui::MdiDestroy(ds);
    gui::ProcessEvents();

    // The administrator cannot be deleted, and is told so; a user's password twice too.
    gt::Reset();
    qvw::RegisterUserWindow();
    gui::Window users = qvw::OpenUsers();
    gui::ProcessEvents();
    goTo(qvw::UserWindow(), UserList, "admin");
    RunCommand(users, qvw::kCmdDelete);
    gt::OnDialog(kUserPwdDialog, [](gui::Dialog& d) {
        EXPECT_EQ(gt::ShownText(d, kIdUserPassword), "");
        d.SetText(kIdUserPassword, "one");
        d.SetText(kIdUserPasswordAgain, "two");
        d.Press(1);
        d.SetText(kIdUserPasswordAgain, "one");
        d.Press(1);
    });
    RunCommand(users, qvw::kCmdPassword);
    EXPECT_TRUE(gt::DialogsOpened() == std::vector<int>{kUserPwdDialog});
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{"The administrator admin cannot be deleted.", kMismatch}));
    EXPECT_TRUE(Login(server.Port(), "admin", "one"));
    gui::MdiDestroy(users);
    gui::ProcessEvents();

    // Files refreshes the folder it shows, and keeps it in the title.
    ASSERT_TRUE(TakeDemo());
    gui::Window files = qvw::OpenFileWindow(qvw::kCmdFiles);
    gui::ProcessEvents();
    qvw::ListWindow& filesWin = *qvw::FileWindow(qvw::kCmdFiles);
    goTo(filesWin, FileList, "docs");
    RunCommand(files, qvw::kCmdOpenFolder);
    ASSERT_EQ(gui::GetTitle(files), "Files [2] docs");
    TransferKind = kTransferFiles;
    FileFolder = "docs";  // the folder the renaming window shows
    TransferFileName = "readme.txt";
    RenameNewName = "liesmich.txt";
    ASSERT_EQ(qvw::Send(kCmdRenameFile), 0);
    RunCommand(files, qvw::kCmdRefresh);
    EXPECT_GE(qvw::IndexByName(FileList, "liesmich.txt"), 0);
    EXPECT_EQ(gui::GetTitle(files), "Files [2] docs");
    gui::MdiDestroy(files);
    gui::ProcessEvents();

    // The monitor: its switches named, F5 refreshes, Clean asks first, naming the trace.
    gt::Reset();
    gt::OnDialog(kCleanTraceDialog, [](gui::Dialog& q) {
        EXPECT_EQ(q.Text(kIdCleanQuestion, 100), "Clean all traces?");
        q.Press(2);
    });
    gt::OnDialog(kTraceDialog, [](gui::Dialog& t) {
        EXPECT_NE(t.Text(kIdTraceText, 10000).find("started"), std::string::npos);
        t.Press(2);
    });
    gt::OnDialog(kCleanTraceDialog, [](gui::Dialog& q) {
        EXPECT_EQ(q.Text(kIdCleanQuestion, 100), "Clean the Start trace?");
        q.Press(1);
    });
    gt::OnDialog(kTraceDialog, [](gui::Dialog& t) {
        EXPECT_EQ(t.Text(kIdTraceText, 10000), "");
        t.Press(2);
    });
    gt::OnDialog(kMonitorDialog, [](gui::Dialog& d) {
        EXPECT_EQ(d.Text(kIdMonSystemTrace, 20), "System");
        EXPECT_EQ(d.Text(kIdMonAppTrace, 20), "Application");
        EXPECT_EQ(d.Text(kIdMonRunTrace, 20), "Run");
        for (int id : {kIdMonSystemTrace, kIdMonAppTrace, kIdMonRunTrace})
            EXPECT_TRUE(gt::TextFits(d, id)) << id;
        const int apps = d.ListCount(kIdMonApps);
        CurrentApp.m_Name = "another";
        CurrentApp.m_Description = "";
        CurrentApp.m_SessionTimeout = 5;
        ASSERT_EQ(qvw::Send(kCmdNewApp), 0);
        gt::PressKey(d, gui::kVkF5);
        EXPECT_EQ(d.ListCount(kIdMonApps), apps + 1);
        d.Press(kIdMonClean);  // nothing read yet: every trace; cancelled
        d.Press(kIdMonStart);
        d.Press(kIdMonClean);
        d.Press(kIdMonStart);
        d.Press(2);
    });
    qvw::RunMonitor(frame.Handle(), {"local", {127, 0, 0, 1}, server.Port()});
    EXPECT_EQ(gt::PendingScripts(), 0);
    EXPECT_TRUE(gt::MessageBoxes().empty());
}

}  // namespace
