// The application dialog and the request editor against a scripted server whose answer
// to NewApp or NewReq does not list the new record: what belongs to it must not be sent
// for some other application or request.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/gui/TestDriver.h"
#include "platform/net/TcpListener.h"
#include "studio/resources/WindowResources.h"
#include "studio/windows/AppWindow.h"
#include "studio/windows/RequestEditor.h"
#include "studio/windows/tests/Harness.h"
#include "webproc/HttpProcessor.h"

namespace {

using namespace qvwtest;
namespace gt = gui::test;

// Answers every request with the same bytes and keeps the command texts it was sent.
class CannedServer {
public:
    explicit CannedServer(std::string answer) : m_Answer(std::move(answer)) {
        m_Listener.Listen("127.0.0.1", 0);
        m_Thread = std::thread([this] { Serve(); });
    }
    ~CannedServer() {
        m_Listener.Stop();
        m_Thread.join();
    }
    int Port() const { return m_Listener.Port(); }
    std::vector<std::string> Commands() {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Commands;
    }

private:
    void Serve() {
        for (;;) {
            net::TcpConnection c;
            if (m_Listener.Accept(c, 100) != 1) {
                if (m_Listener.Stopped()) return;
                continue;
            }
            HttpProcessor request;
            request.m_Message.Alloc(5000, 5000);
            char block[4096];
            for (;;) {
                long got = c.Receive(block, sizeof block, 5000);
                if (got <= 0) break;
                request.m_Message.AddContent(block, got);
                if (!request.IsMoreData()) break;
            }
            std::string text(request.m_Message.GetContent(),
                             static_cast<std::size_t>(request.m_Message.GetSize()));
            std::size_t at = text.find("server_request=");
            {
                std::lock_guard<std::mutex> lock(m_Mutex);
                m_Commands.push_back(at == std::string::npos
                                         ? text
                                         : text.substr(at + 15, text.find('(', at) - at - 15));
            }
            c.SendAll(m_Answer.data(), m_Answer.size(), 5000);
            c.Close();
        }
    }
    std::string m_Answer;
    net::TcpListener m_Listener;
    std::thread m_Thread;
    std::mutex m_Mutex;
    std::vector<std::string> m_Commands;
};

TEST(AppDialogMend, UsersOfANewApplicationMissingFromTheAnswerAreNotSentElsewhere) {
    // A real list answer to replay: the demo server's applications.
    std::string answer;
    {
        DevServer server(true);
        QVW_NEED_SERVER(server);
        ASSERT_TRUE(LoginAdmin(server.Port()));
        ASSERT_EQ(qvw::Send(kCmdGetApps), 0);
        const Vessel& m = Session.m_Response.m_Message;
        answer.assign(m.GetContent(), static_cast<std::size_t>(m.GetSize()));
    }
    CannedServer canned(answer);
    Session.m_ServerAddress = net::MakeAddress(127, 0, 0, 1, canned.Port());
    qvw::RegisterAppWindow();
    TestFrame frame;
    ASSERT_EQ(qvw::Fetch(AppList, kCmdGetApps), 0);
    gui::Window w = qvw::OpenApplications();
    gui::ProcessEvents();
    ASSERT_EQ(AppList.Count(), 1);
    // CurrentApp still names the demo application, as after an Edit.
    qvw::WithRecordAt(AppList, 0, [](AppItem& a) { CurrentApp.m_ID = a.m_ID; });
    gt::OnDialog(kAppDialog, [](gui::Dialog& d) {
        d.SetText(kIdAppName, "ghost");
        d.Press(1);
        EXPECT_TRUE(d.Ended());
    });
    gui::SendCommand(w, 109);
    std::vector<std::string> sent = canned.Commands();
    // GetApps for the window, GetUsers at its creation, then NewApp and nothing more.
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), "NewApp");
    for (const std::string& s : sent) EXPECT_NE(s, "SetAppUsers");
    ASSERT_EQ(gt::MessageBoxes().size(), 1u) << BoxTexts()[0];
    EXPECT_NE(gt::MessageBoxes()[0].text.find("not its users"), std::string::npos);
    EXPECT_EQ(qvw::AppWindow().Browse().GetRecordNumber(), 1);
    gui::MdiDestroy(w);
    gui::ProcessEvents();
}

TEST(ReqEditorMend, NoDataSourceListedAndANewRequestMissingFromTheAnswer) {
    std::string answer;
    {
        DevServer server(true);
        QVW_NEED_SERVER(server);
        ASSERT_TRUE(LoginAdmin(server.Port()));
        ASSERT_TRUE(TakeDemo());
        ASSERT_EQ(qvw::Send(kCmdGetReqs), 0);
        const Vessel& m = Session.m_Response.m_Message;
        answer.assign(m.GetContent(), static_cast<std::size_t>(m.GetSize()));
    }
    CannedServer canned(answer);
    Session.m_ServerAddress = net::MakeAddress(127, 0, 0, 1, canned.Port());
    TestFrame frame;
    ReqList.Clear();
    DSList.Clear();
    UserList.Clear();
    ReqParamList.Clear();
    ReqUserList.Clear();
    ReqScript.Free();
    ASSERT_EQ(ReqScript.Alloc(16, 16), 0);
    ReqScript.AddContent("select 1", 8);
    CurrentReq.m_ID = 1;  // as after an Edit of another request
    CurrentReq.m_Language = 1;
    CurrentReq.m_Access = 0;

    // No data source listed: nothing to take an id from, so OK refuses and sends nothing.
    gt::OnDialog(kReqDialog, [](gui::Dialog& d) {
        gt::OnDialog(kParamDialog, [](gui::Dialog& q) {
            q.SetText(kIdParamName, "a)b");
            q.Press(1);
            q.Press(2);
        });
        d.Press(kIdParamNew);
        d.SetText(kIdReqName, "ghost");
        d.Press(1);
        gt::OnDialog(kCancelDialog, [](gui::Dialog& c) { c.Press(1); });
        d.Press(2);
    });
    qvw::RunRequestEditor(frame.Handle(), qvw::kModeNew);
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{"Parameter Name may not contain \",\" or \")\"!",
                                        "No Data Source!"}));
    EXPECT_TRUE(canned.Commands().empty());

    // NewReq is answered with a list without the new request: its parameters, users and
    // script are not sent to the request CurrentReq last named.
    gt::Reset();
    DSItem* ds = nullptr;
    ASSERT_EQ(DSList.Add(&ds), 0);
    ds->m_ID = 1;
    ds->m_Name = "db";
    gt::OnDialog(kReqDialog, [](gui::Dialog& d) {
        d.SetText(kIdReqName, "ghost");
        d.Press(1);
        EXPECT_TRUE(d.Ended());
    });
    qvw::RunRequestEditor(frame.Handle(), qvw::kModeNew);
    EXPECT_TRUE(qvw::TakeDialogOutcome());
    EXPECT_EQ(canned.Commands(), std::vector<std::string>{"NewReq"});
    ASSERT_EQ(gt::MessageBoxes().size(), 1u);
    EXPECT_NE(BoxTexts()[0].find("not its parameters"), std::string::npos);
    DSList.Clear();
    ReqList.Clear();
    ReqScript.Free();
}

// A script in the old single-byte encoding goes back byte for byte when saved unedited;
// a character it cannot hold is refused rather than changed.
TEST(ReqEditorMend, ALatin1ScriptIsSavedBackByteForByte) {
    TestFrame frame;
    const std::string latin1 = "-- caf\xe9 \xa3\r\nselect 1";
    ReqScript.Free();
    ASSERT_EQ(ReqScript.Alloc(64, 64), 0);
    ReqScript.AddContent(latin1.data(), static_cast<long>(latin1.size()));
    gt::OnDialog(kReqDialog, [](gui::Dialog& d) {
        gt::OnDialog(kScriptDialog, [](gui::Dialog& s) {
            EXPECT_EQ(s.Text(kIdScript, -1), "-- caf\u00e9 \u00a3\r\nselect 1");
            s.Press(kCmdScriptSave);
        });
        d.Press(kIdSource);
        gt::OnDialog(kScriptDialog, [](gui::Dialog& s) {
            s.SetText(kIdScript, "-- \u20ac");
            s.Press(kCmdScriptSave);
            EXPECT_FALSE(s.Ended());
            s.Press(kCmdScriptCancel);
        });
        d.Press(kIdSource);
        d.End(2);
    });
    qvw::RunRequestEditor(frame.Handle(), qvw::kModeEdit);
    EXPECT_EQ(std::string(ReqScript.GetContent(), static_cast<std::size_t>(ReqScript.GetSize())),
              latin1);
    ASSERT_EQ(gt::MessageBoxes().size(), 1u);
    EXPECT_NE(BoxTexts()[0].find("Latin-1"), std::string::npos);
    ReqScript.Free();
}

}  // namespace
