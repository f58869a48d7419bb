// The monitor and the trace dialog, driven through their real dialogs against a real
// devserver (and a scripted server for switch texts the devserver never sends).
#include <gtest/gtest.h>

#include <string>

#include "platform/gui/TestDriver.h"
#include "platform/net/tests/ScriptedServer.h"
#include "studio/resources/MonitorResources.h"
#include "studio/windows/Monitor.h"
#include "studio/windows/tests/Harness.h"

namespace {

using namespace qvwtest;
namespace gt = gui::test;

qvw::MonitorTarget Target(int port) {
    return {"local", {127, 0, 0, 1}, port};
}

std::string TraceNow() {
    return TraceText.GetContent()
               ? std::string(TraceText.GetContent(), static_cast<std::size_t>(TraceText.GetSize()))
               : std::string();
}

TEST(Monitor, ShowsApplicationsServerAndSwitchesAndSavesThem) {
    DevServer server(true);
    QVW_NEED_SERVER(server);
    ASSERT_TRUE(LoginAdmin(server.Port()));
    CurrentApp.m_Name = "AVeryLongApplicationName";  // 24 characters
    CurrentApp.m_Description = "long";
    CurrentApp.m_SessionTimeout = 20;
    ASSERT_EQ(qvw::Send(kCmdNewApp), 0);
    TestFrame frame;
    bool wasOn = false;
    gt::OnDialog(kMonitorDialog, [&](gui::Dialog& d) {
        EXPECT_EQ(d.Title(), "Monitor - local [127.0.0.1:" + std::to_string(server.Port()) + "]");
        ASSERT_EQ(d.ListCount(kIdMonApps), 2);
        EXPECT_EQ(d.ListSelection(kIdMonApps), 0);
        // The long name is not cut: it pushes the rest of its line right.
        const std::string line = d.ListText(kIdMonApps, 1);
        EXPECT_EQ(line.rfind("AVeryLongApplicationName long", 0), 0u) << line;
        EXPECT_EQ(line.size(), 24u + 1 + 43 + 1 + 6 + 1 + 6 + 1 + 6 + 1 + 9);
        EXPECT_EQ(d.ListText(kIdMonApps, 0).substr(0, 21), "demo                 ");
        EXPECT_EQ(d.Text(kIdMonTotalNow, 10), "0");
        EXPECT_EQ(d.Text(kIdMonTotalTotal, 10), "0");
        EXPECT_EQ(MonitorAppList.Count(), 0);  // empty outside a refresh
        EXPECT_EQ(d.Text(kIdMonAddress, 100).rfind("127.0.0.1  [", 0), 0u);
        EXPECT_EQ(d.Text(kIdMonPort, 10), std::to_string(server.Port()));
        EXPECT_EQ(d.Text(kIdMonVersion, 50), QV_VERSION " devserver");
        EXPECT_FALSE(d.Text(kIdMonMemUsed, 50).empty());
        EXPECT_FALSE(d.Text(kIdMonTime, 50).empty());
        EXPECT_EQ(gt::ChartPoints(d, kIdMonSessionsChart).size(), 1u);
        EXPECT_EQ(gt::ChartPoints(d, kIdMonMemoryChart).size(), 1u);
        wasOn = d.IsChecked(kIdMonAppTrace);
        d.Press(kIdMonAppTrace);
        d.Press(kIdMonRefresh);  // a Refresh shows the server's switches again
        EXPECT_EQ(d.IsChecked(kIdMonAppTrace), wasOn);
        EXPECT_EQ(gt::ChartPoints(d, kIdMonMemoryChart).size(), 2u);
        d.Press(kIdMonAppTrace);
        d.Press(kIdMonSave);
        EXPECT_TRUE(d.Ended());
    });
    ASSERT_EQ(qvw::RunMonitor(frame.Handle(), Target(server.Port())), 1);
    EXPECT_TRUE(gt::MessageBoxes().empty());
    bool appTrace = false;
    gt::OnDialog(kMonitorDialog, [&](gui::Dialog& d) {
        appTrace = d.IsChecked(kIdMonAppTrace);
        d.Press(2);
    });
    ASSERT_EQ(qvw::RunMonitor(frame.Handle(), Target(server.Port())), 2);
    EXPECT_EQ(appTrace, !wasOn);  // saved on the server
}

TEST(Monitor, NoApplicationsGiveAnEmptyListAndZeroTotals) {
    DevServer server(false);
    QVW_NEED_SERVER(server);
    ASSERT_TRUE(LoginAdmin(server.Port()));
    TestFrame frame;
    gt::OnDialog(kMonitorDialog, [](gui::Dialog& d) {
        EXPECT_EQ(d.ListCount(kIdMonApps), 0);
        for (int id : {kIdMonTotalNow, kIdMonTotalToday, kIdMonTotalMonth, kIdMonTotalTotal})
            EXPECT_EQ(d.Text(id, 10), "0");
        d.Press(2);
    });
    EXPECT_EQ(qvw::RunMonitor(frame.Handle(), Target(server.Port())), 2);
}

std::string Http(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST(Monitor, SwitchTextsOtherThanOneAreUncheckedAndAnUnchangedSaveSendsThem) {
    testing_net::ScriptedServer server;
    server.Push(testing_net::Whole(
        Http("<table><tr><td>big</td><td>desc</td><td>3</td><td>4</td><td>5</td><td>9</td></tr>"
             "<tr><td>small</td><td></td><td>2</td><td>1</td><td>0</td><td>x</td></tr></table>")));
    server.Push(testing_net::Whole(
        Http("<table><tr><td>2</td><td></td><td>0</td><td>1</td><td>host</td><td>7</td>"
             "<td>1</td><td>9.9</td><td>100</td><td>60</td><td>40</td><td>01/02/2024</td>"
             "<td>10:11:12</td></tr></table>")));
    server.Push(testing_net::Whole(Http("")));
    Session.m_ServerAddress = net::MakeAddress(127, 0, 0, 1, server.Port());
    TestFrame frame;
    gt::OnDialog(kMonitorDialog, [](gui::Dialog& d) {
        EXPECT_EQ(d.Text(kIdMonTotalNow, 10), "5");
        EXPECT_EQ(d.Text(kIdMonTotalToday, 10), "5");
        EXPECT_EQ(d.Text(kIdMonTotalMonth, 10), "5");
        EXPECT_EQ(d.Text(kIdMonTotalTotal, 10), "9");
        EXPECT_EQ(d.Text(kIdMonAddress, 50), "127.0.0.1  [host]");
        EXPECT_TRUE(d.IsChecked(kIdMonJavaReload));
        EXPECT_FALSE(d.IsChecked(kIdMonSystemTrace));  // "2"
        EXPECT_FALSE(d.IsChecked(kIdMonAppTrace));     // ""
        EXPECT_FALSE(d.IsChecked(kIdMonRunTrace));     // "0"
        EXPECT_EQ(gt::ChartPoints(d, kIdMonSessionsChart).at(0).second, 5.0);
        EXPECT_EQ(gt::ChartPoints(d, kIdMonMemoryChart).at(0).second, 40.0);
        d.Press(kIdMonSave);
    });
    EXPECT_EQ(qvw::RunMonitor(frame.Handle(), Target(server.Port())), 1);
    ASSERT_EQ(server.Requests().size(), 3u);
    EXPECT_NE(server.Requests()[2].find("server_request=SetConfig(1,0,0,0)\r\n\r\n"),
              std::string::npos);
}

TEST(Monitor, TracesReadTitledAndTheOneReadLastCleaned) {
    DevServer server(true);
    QVW_NEED_SERVER(server);
    ASSERT_TRUE(LoginAdmin(server.Port()));
    TestFrame frame;
    std::vector<std::string> titles, texts;
    auto readTrace = [&](gui::Dialog& t) {
        titles.push_back(t.Title());
        texts.push_back(TraceNow());
        EXPECT_TRUE(gt::ShowsEnd(t, kIdTraceText));
        t.Press(1);
    };
    gt::OnDialog(kTraceDialog, readTrace);
    gt::OnDialog(kTraceDialog, readTrace);
    gt::OnDialog(kCleanTraceDialog, [](gui::Dialog& q) { q.Press(1); });
    gt::OnDialog(kMonitorDialog, [&](gui::Dialog& d) {
        d.Press(kIdMonSystem);
        EXPECT_EQ(TraceText.GetContent(), nullptr);  // released with the dialog
        d.Press(kIdMonStart);
        const int lines = d.ListCount(kIdMonApps);
        d.Press(kIdMonClean);
        EXPECT_EQ(TraceKind, 1);
        EXPECT_EQ(d.ListCount(kIdMonApps), lines);
        d.Press(kIdMonStart);
        d.Press(2);
    });
    gt::OnDialog(kTraceDialog, readTrace);
    qvw::RunMonitor(frame.Handle(), Target(server.Port()));
    EXPECT_TRUE(gt::MessageBoxes().empty());
    ASSERT_EQ(titles.size(), 3u);
    EXPECT_EQ(titles[0], "Trace: System");
    EXPECT_EQ(titles[1], "Trace: Start");
    EXPECT_NE(texts[1].find("started"), std::string::npos) << texts[1];
    EXPECT_EQ(texts[2], "");  // the trace read last was cleaned
    EXPECT_EQ(qvw::TraceTitle(0), "Trace: ???");
}

TEST(Monitor, RefusedSaveTraceAndCleanAreReportedAndTheMonitorStays) {
    DevServer server(true);
    QVW_NEED_SERVER(server);
    ASSERT_TRUE(Login(server.Port(), "developer", "developer"));
    TraceText.Free();
    TestFrame frame;
    gt::OnDialog(kMonitorDialog, [](gui::Dialog& d) {
        const bool was = d.IsChecked(kIdMonRunTrace);
        d.Press(kIdMonRunTrace);
        d.Press(kIdMonSave);
        EXPECT_FALSE(d.Ended());
        EXPECT_NE(d.IsChecked(kIdMonRunTrace), was);
        d.Press(kIdMonSystem);
        d.Press(kIdMonClean);
        d.Press(2);
    });
    gt::OnDialog(kCleanTraceDialog, [](gui::Dialog& q) { q.Press(1); });
    EXPECT_EQ(qvw::RunMonitor(frame.Handle(), Target(server.Port())), 2);
    for (int id : gt::DialogsOpened()) EXPECT_NE(id, kTraceDialog);
    ASSERT_EQ(gt::MessageBoxes().size(), 3u);
    // The server's reason alone, without the answer's header.
    for (const auto& b : gt::MessageBoxes()) {
        EXPECT_FALSE(b.text.empty());
        EXPECT_EQ(b.text.find("SERVER_ERROR"), std::string::npos) << b.text;
        EXPECT_EQ(b.text.find("HTTP/"), std::string::npos) << b.text;
        EXPECT_EQ(b.caption, "Quorvel Studio");
    }
}

TEST(Monitor, AutoRefreshRunsOnItsTimerAndKeepsSwitchesBeingSet) {
    DevServer server(true);
    QVW_NEED_SERVER(server);
    ASSERT_TRUE(LoginAdmin(server.Port()));
    TestFrame frame;
    gt::OnDialog(kMonitorDialog, [](gui::Dialog& d) {
        EXPECT_EQ(d.Text(kIdMonInterval, 4), "5");
        d.Press(kIdMonAutoRefresh);
        EXPECT_EQ(gt::TimerPeriod(d, 1), 5000);
        d.SetText(kIdMonInterval, "1");
        d.Press(kIdMonAutoRefresh);
        EXPECT_EQ(gt::TimerPeriod(d, 1), 0);
        d.Press(kIdMonAutoRefresh);
        EXPECT_EQ(gt::TimerPeriod(d, 1), 1000);
        const bool was = d.IsChecked(kIdMonJavaReload);
        d.Press(kIdMonJavaReload);
        EXPECT_TRUE(
            WaitUntil([&] { return gt::ChartPoints(d, kIdMonMemoryChart).size() >= 3; }, 8000));
        EXPECT_NE(d.IsChecked(kIdMonJavaReload), was);
        const auto pts = gt::ChartPoints(d, kIdMonSessionsChart);
        ASSERT_GE(pts.size(), 3u);
        EXPECT_LT(pts[0].first, pts[2].first);
        d.Press(2);
    });
    EXPECT_EQ(qvw::RunMonitor(frame.Handle(), Target(server.Port())), 2);
}

TEST(Monitor, AutoRefreshStopsAndSaysSoOnceWhenTheServerIsGone) {
    DevServer server(true);
    QVW_NEED_SERVER(server);
    ASSERT_TRUE(LoginAdmin(server.Port()));
    TestFrame frame;
    gt::OnDialog(kMonitorDialog, [&](gui::Dialog& d) {
        d.SetText(kIdMonInterval, "1");
        d.Press(kIdMonAutoRefresh);
        server.Stop();
        EXPECT_TRUE(WaitUntil([&] { return !d.IsChecked(kIdMonAutoRefresh); }, 8000));
        WaitUntil([] { return false; }, 1500);
        EXPECT_EQ(gt::TimerPeriod(d, 1), 0);
        d.Press(2);
    });
    EXPECT_EQ(qvw::RunMonitor(frame.Handle(), Target(server.Port())), 2);
    ASSERT_EQ(gt::MessageBoxes().size(), 1u);
    EXPECT_EQ(gt::MessageBoxes()[0].text, "Auto refresh stopped: No answer from the server!");
}

TEST(TraceDialog, OpensAtTheEndFindsWithKeysAndSavesTheBytes) {
    TestFrame frame;
    std::string text;
    for (int i = 0; i < 400; ++i) text += "line " + std::to_string(i) + " ok\r\n";
    text += "the Needle here\r\nand a needle there\r\n\xff raw\r\n";
    const fs::path dir = MakeTempDir("trace");
    const fs::path saved = dir / "out.trc";
    TraceText.Alloc(static_cast<long>(text.size()), 5000);
    TraceText.AddContent(text.data(), static_cast<long>(text.size()));
    TraceKind = 3;
    gt::QueueSaveFile(saved.string());
    gt::OnDialog(kTraceDialog, [](gui::Dialog& d) {
        EXPECT_EQ(d.Title(), "Trace: Application");
        EXPECT_TRUE(gt::ShowsEnd(d, kIdTraceText));
        gt::PressKey(d, gui::kVkF, true);  // Ctrl+F: to the find field
        EXPECT_EQ(d.FocusedId(), kIdTraceFind);
        gt::TypeInto(d, kIdTraceFind, "needle");
        gt::PressKey(d, gui::kVkReturn);
        EXPECT_EQ(gt::SelectedText(d, kIdTraceText), "Needle");
        d.SetFocus(kIdTraceText);
        gt::PressKey(d, gui::kVkF3);
        EXPECT_EQ(gt::SelectedText(d, kIdTraceText), "needle");
        gt::PressKey(d, gui::kVkF3);  // round from the top
        EXPECT_EQ(gt::SelectedText(d, kIdTraceText), "Needle");
        d.SetText(kIdTraceFind, "absent");
        d.Press(kIdTraceFindNext);
        d.Press(kIdTraceSaveAs);
        d.Press(2);
    });
    qvw::ShowTrace(frame.Handle());
    EXPECT_EQ(TraceText.GetContent(), nullptr);
    ASSERT_EQ(gt::MessageBoxes().size(), 1u);
    EXPECT_EQ(gt::MessageBoxes()[0].text, "\"absent\" not found.");
    ASSERT_EQ(gt::FileDialogs().size(), 1u);
    EXPECT_EQ(gt::FileDialogs()[0].spec.fileName, "Application.trc");
    EXPECT_EQ(ReadAll(saved), text);  // the bytes as they came, not as shown
    fs::remove_all(dir);
}

}  // namespace
