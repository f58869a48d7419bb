// The Data Sources window end to end against a real devserver with the demo data: lines,
// the entry that stands for no data source, the dialog's checks in order, the database
// user name and password, deletion, and where the cursor lands after each.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gui/TestDriver.h"
#include "studio/resources/WindowResources.h"
#include "studio/windows/DSWindow.h"
#include "studio/windows/tests/Harness.h"

namespace {

using namespace qvwtest;
namespace gt = gui::test;

struct DSWindowTest : ::testing::Test {
    DevServer server{true};
    gui::Window w = 0;
    void SetUp() override {
        if (!server.Up()) GTEST_SKIP() << "quorvel-devserver is not available";
        ASSERT_TRUE(LoginAdmin(server.Port()));
        qvw::RegisterDSWindow();
    }
    void Open() {
        w = qvw::OpenDataSources();
        gui::ProcessEvents();
    }
    long Cursor() { return qvw::DSWindow().Browse().CurrentIndex(); }
    void GoTo(const char* name) {
        qvw::DSWindow().Browse().GotoRecord(qvw::IndexByName(DSList, name) + 1);
    }
    std::string Line(const char* name) {
        return WindowLine(qvw::DSWindow(), qvw::IndexByName(DSList, name));
    }
};

// The data source dialog: fields, then OK, then Cancel when a box kept it open.
void ScriptDS(const std::string& name, const std::string& description, const std::string& conns) {
    gt::OnDialog(kDSDialog, [=](gui::Dialog& d) {
        d.SetText(kIdDSName, name);
        d.SetText(kIdDSDescription, description);
        d.SetText(kIdDSConnections, conns);
        d.Press(1);
        if (!d.Ended()) d.Press(2);
    });
}

TEST_F(DSWindowTest, LinesAndTheNoDataSourceEntryThatNoCommandTouches) {
    TestFrame frame;
    Open();
    EXPECT_EQ(gui::GetTitle(w), "Data Sources");
    EXPECT_EQ(gui::MenuName(gui::AttachedMenu(frame.Handle())), "DS_MENU");
    const std::string header = qvw::DSWindow().Browse().HeaderText();
    EXPECT_EQ(header, "Name                      Conn  Description");
    EXPECT_EQ(Line("demo-db"), "demo-db                   5     Demo shop database");
    EXPECT_EQ(header.find("Description"), Line("demo-db").find("Demo shop"));
    // Listed like any other; Edit, Delete and Password do nothing on it but say why.
    long none = -1;
    for (long i = 0; i < DSList.Count(); ++i)
        qvw::WithRecordAt(DSList, i, [&](DSItem& r) { none = r.m_ID == 0 ? i : none; });
    ASSERT_GE(none, 0);
    qvw::DSWindow().Browse().GotoRecord(none + 1);
    for (int id : {110, 111, 113}) RunCommand(w, id);
    EXPECT_TRUE(gt::DialogsOpened().empty());
    EXPECT_EQ(gt::MessageBoxes().size(), 3u);
    // Enter edits; closing empties the list and gives the frame its menu and set 2 back.
    GoTo("demo-db");
    gt::OnDialog(kDSDialog, [](gui::Dialog& d) {
        EXPECT_EQ(d.Title(), "Edit Data Source");
        EXPECT_EQ(d.Text(kIdDSConnections, 20), "5");
        d.Press(2);
    });
    gt::SendKey(w, gui::kVkReturn);
    EXPECT_TRUE(WaitUntil([] { return gt::PendingScripts() == 0; }, 5000));
    gt::SendKey(w, gui::kVkEscape);
    gui::ProcessEvents();
    EXPECT_EQ(DSList.Count(), 0);
    EXPECT_EQ(gui::MenuName(gui::AttachedMenu(frame.Handle())), "FUNC_MENU");
    EXPECT_EQ(frame.toolbarSets, std::vector<int>{2});
}

TEST_F(DSWindowTest, DialogChecksInOrderConnectionsAndCursor) {
    TestFrame frame;
    Open();
    gt::OnDialog(kDSDialog, [](gui::Dialog& d) {
        EXPECT_EQ(d.Title(), "New Data Source");
        EXPECT_EQ(d.Text(kIdDSConnections, 20), "0");
        d.Press(1);                   // no name
        d.SetText(kIdDSName, "a<b");  // refused by the server's name rule, not only "," ")"
        d.Press(1);
        d.SetText(kIdDSName, "ab");
        d.SetText(kIdDSDescription, "x)");
        d.Press(1);
        d.SetText(kIdDSDescription, "");
        d.SetText(kIdDSName, "demo-db");
        d.SetText(kIdDSConnections, "-1");
        d.Press(1);  // the name is checked before the number
        d.SetText(kIdDSName, "fresh");
        d.Press(1);
        d.SetText(kIdDSConnections, "99999999999");  // past what the count can hold
        d.Press(1);
        EXPECT_FALSE(d.Ended());
        d.Press(2);
    });
    RunCommand(w, 109);
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{"No DS Name!", "Data source name holds one of , ) ( < > &",
                                        "Description may not contain \",\" or \")\"!", "DS exists!",
                                        "Incorrect DS Connections!", "Incorrect DS Connections!"}));
    EXPECT_LT(qvw::IndexByName(DSList, "fresh"), 0);
    // Letters only count as 0; the cursor stands on the new entry.
    gt::Reset();
    ScriptDS("a-data-source-name-longer-than-25", "letters", "many");
    RunCommand(w, 109);
    EXPECT_EQ(Line("a-data-source-name-longer-than-25"), "a-data-source-name-longer 0     letters");
    EXPECT_EQ(Cursor(), qvw::IndexByName(DSList, "a-data-source-name-longer-than-25"));
    // Edit keeping the name; five digits show as four; the cursor follows the entry by id.
    ScriptDS("a-data-source-name-longer-than-25", "letters", "10000");
    RunCommand(w, 110);
    EXPECT_TRUE(gt::MessageBoxes().empty()) << BoxTexts()[0];
    EXPECT_EQ(Line("a-data-source-name-longer-than-25").substr(25, 6), " 1000 ");
    EXPECT_EQ(Cursor(), qvw::IndexByName(DSList, "a-data-source-name-longer-than-25"));
    ScriptDS("demo-db", "", "0");
    RunCommand(w, 110);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"DS exists!"});
}

TEST_F(DSWindowTest, PasswordAndDeleteLeaveTheCursorOnTheFirstRecord) {
    TestFrame frame;
    Open();
    GoTo("demo-db");
    gt::OnDialog(kDSPwdDialog, [](gui::Dialog& d) {
        EXPECT_EQ(d.Title(), "Data Source User Name and Password");
        EXPECT_EQ(d.Text(kIdDSName, 50), "demo-db");
        EXPECT_EQ(d.Text(kIdDSUserName, 20), "shop");
        EXPECT_EQ(d.Text(kIdDSPassword, 20), "");
        d.SetText(kIdDSUserName, "shop2");
        d.SetText(kIdDSPassword, "pa)ss");  // would be cut at the ")" and saved as "pa"
        d.SetText(kIdDSPasswordAgain, "pa)ss");
        d.Press(1);
        EXPECT_FALSE(d.Ended());
        d.SetText(kIdDSPassword, "pass");
        d.SetText(kIdDSPasswordAgain, "pass");
        d.Press(1);
    });
    RunCommand(w, 113);
    EXPECT_EQ(gt::MessageBoxes().size(), 1u);
    EXPECT_EQ(Cursor(), 0);
    qvw::WithRecordAt(DSList, qvw::IndexByName(DSList, "demo-db"),
                      [](DSItem& r) { EXPECT_EQ(r.m_UserName.str(), "shop2"); });
    EXPECT_EQ(CurrentDS.m_Password.str(), "");
    // The server refuses to delete a data source its requests use: the box, dialog open.
    gt::Reset();
    GoTo("demo-db");
    bool stayed = false;
    gt::OnDialog(kDeleteDialog, [&](gui::Dialog& d) {
        EXPECT_EQ(d.Text(kIdDeleteLine, 100), "Data Source :  demo-db");
        d.Press(1);
        stayed = !d.Ended();
        d.Press(2);
    });
    RunCommand(w, 111);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(gt::MessageBoxes().size(), 1u);
    ScriptDS("spare", "", "1");
    RunCommand(w, 109);
    GoTo("spare");
    gt::OnDialog(kDeleteDialog, [](gui::Dialog& d) { d.Press(1); });
    RunCommand(w, 111);
    EXPECT_LT(qvw::IndexByName(DSList, "spare"), 0);
    EXPECT_EQ(Cursor(), 0);
}

}  // namespace
