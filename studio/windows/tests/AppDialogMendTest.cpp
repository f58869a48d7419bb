// The application dialog and the request editor against a scripted server whose answer
// to NewApp or NewReq does not list the new record: what belongs to it must not be sent
// for some other application or request. And the request editor in front of a real
// devserver that refuses one of the steps after the request is saved: nothing is lost.
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
#include "studio/windows/ReqWindow.h"
#include "studio/windows/RequestEditor.h"
#include "studio/windows/tests/Harness.h"
#include "webproc/HttpProcessor.h"

namespace {

using namespace qvwtest;
namespace gt = gui::test;

// Answers every request with the same bytes, or passes it on to a devserver (the next
// command of a chosen name with its request id made 0, which the devserver refuses with
// its own reason); keeps the names of the commands it was sent.
class ScriptedServer {
public:
    explicit ScriptedServer(std::string answer, int devserverPort = 0)
        : m_Answer(std::move(answer)), m_DevserverPort(devserverPort) {
        m_Listener.Listen("127.0.0.1", 0);
        m_Thread = std::thread([this] { Serve(); });
    }
    ~ScriptedServer() {
        m_Listener.Stop();
        m_Thread.join();
    }
    int Port() const { return m_Listener.Port(); }
    std::vector<std::string> Commands() {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Commands;
    }
    void Forget() {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Commands.clear();
    }
    void RefuseNext(std::string command) {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Refuse = std::move(command);
    }

private:
    // One whole HTTP message, read as the studio and the devserver read them.
    template <class Connection>
    static std::string ReadMessage(Connection& c) {
        HttpProcessor m;
        m.m_Message.Alloc(5000, 5000);
        char block[4096];
        for (;;) {
            long got = c.Receive(block, sizeof block, 5000);
            if (got <= 0) break;
            m.m_Message.AddContent(block, got);
            if (!m.IsMoreData()) break;
        }
        return std::string(m.m_Message.GetContent(),
                           static_cast<std::size_t>(m.m_Message.GetSize()));
    }
    void Serve() {
        for (;;) {
            net::TcpConnection c;
            if (m_Listener.Accept(c, 100) != 1) {
                if (m_Listener.Stopped()) return;
                continue;
            }
            std::string text = ReadMessage(c);
            std::size_t at = text.find("server_request=");
            const std::size_t open = text.find('(', at);
            {
                std::lock_guard<std::mutex> lock(m_Mutex);
                m_Commands.push_back(
                    at == std::string::npos ? text : text.substr(at + 15, open - at - 15));
                if (at != std::string::npos && m_Commands.back() == m_Refuse) {
                    for (std::size_t i = open + 1; i < text.size() && text[i] != ')'; ++i)
                        text[i] = '0';
                    m_Refuse.clear();
                }
            }
            std::string answer = m_Answer;
            net::TcpClient server;
            if (m_DevserverPort && server.Open() == 0 &&
                server.Connect(net::MakeAddress(127, 0, 0, 1, m_DevserverPort), 5000) == 0 &&
                server.SendAll(text.data(), text.size(), 5000) == 0)
                answer = ReadMessage(server);
            c.SendAll(answer.data(), answer.size(), 5000);
            c.Close();
        }
    }
    std::string m_Answer;
    int m_DevserverPort;
    net::TcpListener m_Listener;
    std::thread m_Thread;
    std::mutex m_Mutex;
    std::string m_Refuse;
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
    ScriptedServer canned(answer);
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
    ScriptedServer canned(answer);
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
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Parameter name holds one of , ) ( < > &",
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

// A name the server would refuse sends nothing; a step that fails after the request is
// saved keeps the editor open with everything typed, and the next OK completes the
// request, editing it rather than creating it again.
TEST(ReqEditorMend, NothingIsHalfSavedOrLost) {
    DevServer server(true);
    QVW_NEED_SERVER(server);
    ScriptedServer proxy("", server.Port());
    ASSERT_TRUE(LoginAdmin(proxy.Port()));
    ASSERT_TRUE(TakeDemo());
    qvw::RegisterReqWindow();
    TestFrame frame;
    gui::Window w = qvw::OpenRequests();
    gui::ProcessEvents();

    // Each step refused once; the last round is cancelled instead of completed.
    const char* steps[] = {"SetReqParams", "SetReqUsers", "SetReqScript", "SetReqScript"};
    const char* named[] = {"Parameters: ", "Users: ", "Script: ", "Script: "};
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        gt::Reset();
        proxy.Forget();
        const std::string name = "Half" + std::to_string(round);
        proxy.RefuseNext(steps[round]);
        std::string afterFailure;
        gt::OnDialog(kReqDialog, [&](gui::Dialog& d) {
            d.SetText(kIdReqName, name);
            gt::OnDialog(kParamDialog, [](gui::Dialog& q) {
                q.SetText(kIdParamName, "a<b");  // refused here, and nothing is sent
                q.Press(1);
                q.SetText(kIdParamName, "p");
                q.Press(1);
            });
            d.Press(kIdParamNew);
            d.Press(kIdPrivate);
            d.Press(kIdAddUser);
            gt::OnDialog(kScriptDialog, [](gui::Dialog& s) {
                s.SetText(kIdScript, "select 1");
                s.Press(kCmdScriptSave);
            });
            d.Press(kIdSource);
            EXPECT_TRUE(proxy.Commands().empty());
            d.Press(1);
            EXPECT_FALSE(d.Ended());
            afterFailure = d.Title() + "|" + d.Text(kIdReqName, 50) + "|" +
                           d.ListText(kIdReqParams, 0) + "|" + d.ListText(kIdAppUsers, 0);
            if (round < 3) {
                d.Press(1);
                EXPECT_TRUE(d.Ended());
            } else {
                gt::OnDialog(kCancelDialog, [](gui::Dialog& c) { c.Press(1); });
                d.Press(2);
            }
        });
        RunCommand(w, 109);
        EXPECT_EQ(afterFailure, "Edit Request|" + name + "|p|shopper");
        ASSERT_EQ(gt::MessageBoxes().size(), 2u);
        EXPECT_EQ(BoxTexts()[0], "Parameter name holds one of , ) ( < > &");
        EXPECT_EQ(gt::MessageBoxes()[1].caption, "Error");
        const std::string box = BoxTexts()[1];
        for (const std::string part : {"saved, but not all", named[round], "Request id is not a"})
            EXPECT_NE(box.find(part), std::string::npos) << box;
        std::vector<std::string> expected{"NewReq", "SetReqParams", "SetReqUsers", "SetReqScript"};
        if (round < 3)
            expected.insert(expected.end(),
                            {"EditReq", "SetReqParams", "SetReqUsers", "SetReqScript"});
        EXPECT_EQ(proxy.Commands(), expected);
        // No more boxes: the second OK wrote everything. Listed once, after Cancel too.
        EXPECT_EQ(gui::GetTitle(w), "Requests [" + std::to_string(4 + round) + "]");
    }
    gui::MdiDestroy(w);
    gui::ProcessEvents();
}

// A script in the old single-byte encoding goes back byte for byte when saved unedited;
// a character it cannot hold is refused rather than changed. Cancel asks only when the
// text was changed.
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
            s.Press(kCmdScriptCancel);  // unchanged: no question
            EXPECT_TRUE(s.Ended());
        });
        d.Press(kIdSource);
        gt::OnDialog(kScriptDialog, [](gui::Dialog& s) {
            s.SetText(kIdScript, "-- \u20ac");
            s.Press(kCmdScriptSave);
            EXPECT_FALSE(s.Ended());
            for (int answer : {2, 1}) {
                gt::OnDialog(kCancelDialog, [answer](gui::Dialog& c) {
                    EXPECT_EQ(c.Text(kIdCancelQuestion, 100), "Discard the changes to the script?");
                    c.Press(answer);
                });
                s.Press(kCmdScriptCancel);
                EXPECT_EQ(s.Ended(), answer == 1);
            }
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
