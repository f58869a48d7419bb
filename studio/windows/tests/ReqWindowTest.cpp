// The Requests window and the request editor end to end against a real devserver with
// the demo application: titles, lines, activation, closing, the editor's checks in their
// order, parameters, users, the script editor, and the mends around saving.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gui/TestDriver.h"
#include "studio/resources/WindowResources.h"
#include "studio/windows/AppWindow.h"
#include "studio/windows/ReqWindow.h"
#include "studio/windows/tests/Harness.h"

namespace {

using namespace qvwtest;
namespace gt = gui::test;

std::string LineOf(long index) {
    return WindowLine(qvw::ReqWindow(), index);
}
std::vector<std::string> ListTexts(gui::Dialog& d, int id) {
    std::vector<std::string> out;
    for (int i = 0; i < d.ListCount(id); ++i) out.push_back(d.ListText(id, i));
    return out;
}
void Command(gui::Window w, int id) {
    gui::SendCommand(w, id);
    gui::ProcessEvents();
}
// The script editor: text, then Ctrl+S.
void ScriptSource(const std::string& text, std::string* title = nullptr) {
    gt::OnDialog(kScriptDialog, [text, title](gui::Dialog& s) {
        if (title) *title = s.Title();
        s.SetText(kIdScript, text);
        gt::PressKeys(s, "Ctrl+S");
    });
}

struct ReqWindowTest : ::testing::Test {
    DevServer server{true};
    void SetUp() override {
        if (!server.Up()) GTEST_SKIP() << "quorvel-devserver is not available";
        ASSERT_TRUE(LoginAdmin(server.Port()));
        qvw::RegisterReqWindow();
    }
};

TEST_F(ReqWindowTest, ListsTitlesActivationAndClosing) {
    TestFrame frame;
    ASSERT_TRUE(TakeDemo());
    gui::Menu req = frame.Menu("REQ_MENU");
    gui::CheckItem(req, 123, true);  // as the frame does before it opens the window
    gui::Window w = qvw::OpenRequests();
    gui::ProcessEvents();
    ASSERT_NE(w, 0);
    // The counted title survives the creation of the sub-window.
    EXPECT_EQ(gui::GetTitle(w), "Requests [3]");
    EXPECT_EQ(frame.slots[qvw::kSlotRequests], w);
    EXPECT_EQ(qvw::ReqWindow().Browse().HeaderText(),
              "Name                           Data Source               Language  Access     "
              "Modified");
    EXPECT_EQ(TransferKind, kTransferRequest);
    EXPECT_TRUE(gui::IsItemGrey(req, 117));
    EXPECT_EQ(frame.toolbarSets.back(), 5);

    // A file window enabled Rename and changed the kind; activation puts both back.
    gui::GreyItem(req, 117, false);
    TransferKind = kTransferFiles;
    gui::test::SendMessageTo(w, {gui::Msg::MdiActivate, 0, 1, 0});
    EXPECT_TRUE(gui::IsItemGrey(req, 117));
    EXPECT_EQ(TransferKind, kTransferRequest);

    // "???" for unknown values; names cut at 30, data source names at 25.
    qvw::WithRecordAt(ReqList, 0, [](ReqItem& r) {
        r.m_Name = "abcdefghijklmnopqrstuvwxyz0123456789";
        r.m_DSName = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
        r.m_Language = 7;
        r.m_Access = 5;
    });
    EXPECT_EQ(LineOf(0).substr(0, 78),
              "abcdefghijklmnopqrstuvwxyz0123 ABCDEFGHIJKLMNOPQRSTUVWXY ???       ???        ");

    // Escape closes: the View item, the slot, the lists, and the frame told with 127.
    gt::SendKey(w, gui::kVkEscape);
    gui::ProcessEvents();
    EXPECT_FALSE(gui::IsWindow(w));
    EXPECT_FALSE(gui::IsItemChecked(req, 123));
    EXPECT_EQ(frame.slots[qvw::kSlotRequests], 0);
    EXPECT_EQ(frame.commands.back(), 127);
    EXPECT_EQ(ReqList.Count() + UserList.Count() + DSList.Count(), 0);
    EXPECT_EQ(ReqParamList.Count() + ReqUserList.Count() + ReqScript.GetSize(), 0);
    EXPECT_EQ(gui::MenuName(gui::AttachedMenu(frame.Handle())), "")
        << "closing a window under REQ_MENU leaves the menu to the frame";
}

TEST_F(ReqWindowTest, EditorChecksInOrderOnlyRunUsersAndCancelAsksFirst) {
    TestFrame frame;
    ASSERT_TRUE(TakeDemo());
    gui::Window w = qvw::OpenRequests();
    std::vector<std::string> allUsers;
    std::string question;
    bool usersDisabled = false;
    gt::OnDialog(kReqDialog, [&](gui::Dialog& d) {
        EXPECT_EQ(d.Title(), "New Request");
        // A new SQL request starts on a real data source, not on "(none)".
        EXPECT_EQ(d.ListText(kIdReqDataSource, d.ListSelection(kIdReqDataSource)), "demo-db");
        auto ok = [&d](const std::string& name) {
            d.SetText(kIdReqName, name);
            d.Press(1);
        };
        ok("");
        ok("a(b");  // refused by the server's name rule, so refused before sending
        ok("ListCustomers");
        ok("server_requestX");
        d.ListSelect(kIdReqDataSource, 0);
        ok("fine_server_request");  // SQL without a data source
        d.Press(kIdJava);
        d.ListSelect(kIdReqDataSource, 1);
        ok("fine_server_request");
        d.ListSelect(kIdReqDataSource, 0);
        ok("fine_server_request");  // no script yet
        ScriptSource("");           // Save with an empty text keeps it empty
        d.Press(kIdSource);
        ok("fine_server_request");
        ScriptSource("return 1;");
        d.Press(kIdSource);
        d.Press(kIdPrivate);
        ok("fine_server_request");
        allUsers = ListTexts(d, kIdAllUsers);
        d.Press(kIdAddUser);
        d.Press(kIdPublic);
        usersDisabled = !d.IsEnabled(kIdAppUsers) && !d.IsEnabled(kIdAddUser);
        ok("fine_server_request");
        // Cancel asks; Cancel to the question keeps the editor.
        gt::OnDialog(kCancelDialog, [&question](gui::Dialog& c) {
            question = c.Text(kIdCancelQuestion, 100);
            c.Press(2);
        });
        d.Press(2);
        EXPECT_FALSE(d.Ended());
        gt::OnDialog(kCancelDialog, [](gui::Dialog& c) { c.Press(1); });
        d.Press(2);
    });
    Command(w, 109);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                              "No Name!", "Request name holds one of , ) ( < > &", "Req exists!",
                              "Invalid Name!", "Data Source is required for SQL Request!",
                              "No Data Source is required for JAVA Request!", "No Script!",
                              "No Script!", "There are no Users!", "There are Users!"}));
    EXPECT_EQ(allUsers, std::vector<std::string>{"shopper"});
    EXPECT_EQ(question, "Discard the changes to this request?");
    EXPECT_TRUE(usersDisabled);
    EXPECT_EQ(gui::GetTitle(w), "Requests [3]");
    EXPECT_EQ(ReqScript.GetSize() + ReqParamList.Count() + ReqUserList.Count(), 0);
}

TEST_F(ReqWindowTest, NewEditDeleteWithParametersUsersAndAWholeScript) {
    TestFrame frame;
    ASSERT_TRUE(TakeDemo());
    gui::Window w = qvw::OpenRequests();
    // A script longer than the old 49,999-character cut, with its CR LF line ends.
    std::string script;
    while (script.size() < 60000) script += "SELECT id, name FROM customers WHERE id = ?\r\n";
    std::vector<std::string> paramsSeen;
    gt::OnDialog(kReqDialog, [&](gui::Dialog& d) {
        d.SetText(kIdReqName, "NewOne");
        d.ListSelect(kIdReqDataSource, 1);
        for (const char* p : {"a", "b"}) {
            gt::OnDialog(kParamDialog, [p](gui::Dialog& q) {
                q.SetText(kIdParamName, p);
                q.Press(1);
            });
            d.Press(kIdParamNew);
        }
        d.ListSelect(kIdReqParams, 0);  // Insert with the first selected: first
        gt::OnDialog(kParamDialog, [](gui::Dialog& q) {
            EXPECT_EQ(q.Title(), "Insert Parameter");
            q.SetText(kIdParamName, "x");
            q.Press(1);
        });
        d.Press(kIdParamInsert);
        d.ListSelect(kIdReqParams, 2);  // with the last: just before it
        gt::OnDialog(kParamDialog, [](gui::Dialog& q) {
            q.SetText(kIdParamName, "y");
            q.Press(1);
        });
        d.Press(kIdParamInsert);
        d.ListSelect(kIdReqParams, 0);  // Edit keeping the name is refused
        gt::OnDialog(kParamDialog, [](gui::Dialog& q) {
            q.Press(1);
            q.Press(2);
        });
        d.Press(kIdParamEdit);
        paramsSeen = ListTexts(d, kIdReqParams);
        d.Press(kIdPrivate);
        d.Press(kIdAddUser);
        ScriptSource(script);
        d.Press(kIdSource);
        d.Press(1);
    });
    Command(w, 109);
    EXPECT_EQ(paramsSeen, (std::vector<std::string>{"x", "a", "y", "b"}));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Parameter Name exists!"});
    EXPECT_EQ(gui::GetTitle(w), "Requests [4]");
    std::string current;
    qvw::WithRecordAt(ReqList, qvw::ReqWindow().Browse().CurrentIndex(),
                      [&current](ReqItem& r) { current = r.m_Name.str(); });
    EXPECT_EQ(current, "NewOne");

    // Edit: what was saved comes back, and the script editor's title names the request
    // as it was when the editor opened.
    std::string scriptTitle, scriptBack;
    std::vector<std::string> users;
    gt::OnDialog(kReqDialog, [&](gui::Dialog& d) {
        EXPECT_EQ(d.Title(), "Edit Request");
        paramsSeen = ListTexts(d, kIdReqParams);
        users = ListTexts(d, kIdAppUsers);
        d.SetText(kIdReqName, "Renamed");
        gt::OnDialog(kScriptDialog, [&](gui::Dialog& s) {
            scriptTitle = s.Title();
            EXPECT_EQ(s.GetCodeLanguage(kIdScript), gui::CodeLanguage::Sql);
            scriptBack = s.Text(kIdScript, -1);
            s.Press(kCmdScriptCancel);
        });
        d.Press(kIdSource);
        d.Press(1);
    });
    Command(w, 110);
    EXPECT_EQ(scriptTitle, "Request: NewOne()");
    EXPECT_EQ(scriptBack, script);
    EXPECT_EQ(paramsSeen, (std::vector<std::string>{"x", "a", "y", "b"}));
    EXPECT_EQ(users, std::vector<std::string>{"shopper"});
    EXPECT_EQ(gui::GetTitle(w), "Requests [4]");
    EXPECT_EQ(ReqScript.GetSize() + ReqParamList.Count() + ReqUserList.Count(), 0);

    // Delete lowers the count in the title.
    gt::OnDialog(kDeleteDialog, [](gui::Dialog& d) {
        EXPECT_EQ(d.Text(kIdDeleteLine, 100).rfind("Request :  ", 0), 0u);
        d.Press(1);
    });
    Command(w, 111);
    EXPECT_EQ(gui::GetTitle(w), "Requests [3]");
}

TEST_F(ReqWindowTest, ScriptEditorFindsReplacesGoesToLinesAndHighlightsByLanguage) {
    TestFrame frame;
    ASSERT_TRUE(TakeDemo());
    gui::Window w = qvw::OpenRequests();
    int line = -1;
    std::string found, saved, fromButtons;
    gui::CodeLanguage language = gui::CodeLanguage::Plain;
    gt::OnDialog(kReqDialog, [&](gui::Dialog& d) {
        d.Press(kIdJava);
        gt::OnDialog(kScriptDialog, [&](gui::Dialog& s) {
            language = s.GetCodeLanguage(kIdScript);
            s.SetText(kIdScript, "select a\nfrom b\nwhere a = 1\nfrom c\n");
            gt::PressKeys(s, "Ctrl+G");
            gt::PressKeys(s, "3");
            gt::PressKeys(s, "Return");
            line = gt::CodeEditorLine(s, kIdScript);
            gt::PressKeys(s, "Ctrl+F");
            for (const char* k : {"F", "R", "O", "M", "Return"}) gt::PressKeys(s, k);
            gt::PressKeys(s, "F3");  // from the line of the first match on: the next
            found = gt::CodeEditorSelection(s, kIdScript) + "@" +
                    std::to_string(gt::CodeEditorLine(s, kIdScript));
            // Replace takes the selected word; each Return replaces one and finds the next;
            // Escape returns to the text, where Ctrl+Z undoes the last replacement.
            gt::PressKeys(s, "Ctrl+H");
            for (const char* k : {"Tab", "T", "O", "Return", "Return", "Escape", "Ctrl+Z"})
                gt::PressKeys(s, k);
            // The keys work with the focus on the Replace and the Replace All buttons.
            for (const char* k : {"Ctrl+H", "Tab", "Tab", "Ctrl+G", "1", "Return"})
                gt::PressKeys(s, k);
            fromButtons = std::to_string(gt::CodeEditorLine(s, kIdScript));
            for (const char* k : {"Ctrl+H", "Tab", "Tab", "Tab", "F3"}) gt::PressKeys(s, k);
            fromButtons += " " + gt::CodeEditorSelection(s, kIdScript) + "@" +
                           std::to_string(gt::CodeEditorLine(s, kIdScript));
            gt::PressKeys(s, "Ctrl+S");
        });
        d.Press(kIdSource);
        saved.assign(ReqScript.GetContent(), static_cast<std::size_t>(ReqScript.GetSize()));
        gt::OnDialog(kCancelDialog, [](gui::Dialog& c) { c.Press(1); });
        d.Press(2);
    });
    Command(w, 109);
    EXPECT_EQ(language, gui::CodeLanguage::Java);
    EXPECT_EQ(line, 2);
    EXPECT_EQ(found, "from@1");  // line 4 first, then round to line 2
    EXPECT_EQ(fromButtons, "0 from@3");
    EXPECT_EQ(saved, "select a\nTO b\nwhere a = 1\nfrom c\n");  // line ends as typed
}

TEST_F(ReqWindowTest, AFailedFetchBeforeEditOpensNoEditor) {
    TestFrame frame;
    ASSERT_TRUE(TakeDemo());
    gui::Window w = qvw::OpenRequests();
    server.Stop();
    Command(w, 110);
    EXPECT_EQ(BoxTexts().size(), 1u);
    for (int id : gt::DialogsOpened()) EXPECT_NE(id, kReqDialog);
    gt::SendKey(w, gui::kVkEscape);
    gui::ProcessEvents();

    // The Applications window's Edit: without its users no dialog, so OK cannot remove them.
    qvw::RegisterAppWindow();
    AppItem* a = nullptr;
    ASSERT_EQ(AppList.Add(&a), 0);
    a->m_ID = CurrentApp.m_ID;
    a->m_Name = "demo";
    gui::Window apps = qvw::OpenApplications();
    Command(apps, 110);
    for (int id : gt::DialogsOpened()) EXPECT_NE(id, kAppDialog);
    EXPECT_EQ(BoxTexts().size(), 2u);
}

}  // namespace
