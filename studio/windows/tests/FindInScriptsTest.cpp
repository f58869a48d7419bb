// Find in Scripts from the Requests window against a real devserver with the demo
// application: the lines found, a refused expression, and a line that opens its script
// there, saved back to the server.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gui/TestDriver.h"
#include "studio/resources/WindowResources.h"
#include "studio/windows/ReqWindow.h"
#include "studio/windows/tests/Harness.h"

namespace {

using namespace qvwtest;
namespace gt = gui::test;

std::vector<std::string> ListTexts(gui::Dialog& d, int id) {
    std::vector<std::string> out;
    for (int i = 0; i < d.ListCount(id); ++i) out.push_back(d.ListText(id, i));
    return out;
}

std::string ScriptOnServer(long id) {
    CurrentReq.m_ID = id;
    if (Session.Execute(kCmdGetReqScript) != 0 || Session.ParseResponse(kCmdGetReqScript) != 0)
        return "<none>";
    std::string s(ReqScript.GetContent() ? ReqScript.GetContent() : "",
                  static_cast<std::size_t>(ReqScript.GetSize()));
    ReqScript.Free();
    return s;
}

struct FindInScriptsTest : ::testing::Test {
    DevServer server{true};
    void SetUp() override {
        if (!server.Up()) GTEST_SKIP() << "quorvel-devserver is not available";
        ASSERT_TRUE(LoginAdmin(server.Port()));
        qvw::RegisterReqWindow();
    }
};

TEST_F(FindInScriptsTest, LinesFoundOpenTheirScriptAtTheLine) {
    TestFrame frame;
    ASSERT_TRUE(TakeDemo());
    gui::Window w = qvw::OpenRequests();
    gui::ProcessEvents();
    ASSERT_NE(w, 0);
    const std::string before = ScriptOnServer(3);  // AddOrder
    ASSERT_NE(before.find("customers"), std::string::npos);

    std::string notFound, title;
    std::vector<std::string> lines;
    int caretLine = -1;
    gt::OnDialog(kFindScriptsDialog, [&](gui::Dialog& d) {
        // A regular expression that does not compile is refused with the reason.
        d.SetText(kIdFindText, "(customers");
        d.Check(kIdFindRegex, true);
        d.Press(kIdFindGo);
        d.Check(kIdFindRegex, false);
        d.Press(kIdFindGo);
        notFound = d.Text(kIdStatusLine, -1);
        d.SetText(kIdFindText, "customers");
        d.Press(kIdFindGo);
        lines = ListTexts(d, kIdFindResults);
        // Enter on a line of the list opens its script with the caret there.
        gt::OnDialog(kScriptDialog, [&](gui::Dialog& s) {
            title = s.Title();
            caretLine = gt::CodeEditorLine(s, kIdScript);
            s.SetText(kIdScript, "select 1\nfrom customers_old\n");
            gt::PressKeys(s, "Ctrl+S");
        });
        d.ListSelect(kIdFindResults, 2);
        d.SetFocus(kIdFindResults);
        gt::PressKeys(d, "Return");
        d.Press(2);
    });
    gui::SendCommand(w, qvw::kCmdFindInScripts);
    gui::ProcessEvents();

    ASSERT_FALSE(BoxTexts().empty());
    EXPECT_EQ(BoxTexts()[0].rfind("The regular expression is not valid: ", 0), 0u) << BoxTexts()[0];
    EXPECT_EQ(notFound, "Not found");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "ListCustomers (1): SELECT id, name, city FROM customers ORDER BY name");
    EXPECT_EQ(lines[1].rfind("FindCustomer (1): ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2].rfind("AddOrder (", 0), 0u) << lines[2];
    const long line = std::atol(lines[2].c_str() + 10);
    EXPECT_GT(line, 1) << "the line is the script's own, not the first";
    EXPECT_EQ(title, "Request: AddOrder()");
    EXPECT_EQ(caretLine, line - 1);
    EXPECT_EQ(ScriptOnServer(3), "select 1\nfrom customers_old\n");
    EXPECT_EQ(BoxTexts().size(), 1u);
    EXPECT_EQ(ReqScript.GetSize(), 0) << "the script is held only while it is edited";
}

}  // namespace
