// What the screen shows: names that are not ASCII in list windows and the monitor, the
// trace's Find highlight over its match, and a dialog label wide enough for its name.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/gui/TestDriver.h"
#include "studio/resources/MonitorResources.h"
#include "studio/resources/WindowResources.h"
#include "studio/windows/DSWindow.h"
#include "studio/windows/Monitor.h"
#include "studio/windows/UserWindow.h"
#include "studio/windows/tests/Harness.h"

namespace {

using namespace qvwtest;
namespace gt = gui::test;

bool Drawn(const std::string& text) {
    const auto& all = gt::DrawnTexts();
    return std::find(all.begin(), all.end(), text) != all.end();
}

TEST(Rendering, NonAsciiColumnsTheTraceHighlightAndALabelThatFits) {
    DevServer server(true);
    QVW_NEED_SERVER(server);
    ASSERT_TRUE(LoginAdmin(server.Port()));
    CurrentDS.m_Name = "Bücher-DB-äöü-ßßß-lang-Name";  // 27 characters, 34 bytes
    CurrentDS.m_Description = "Beschreibung";
    CurrentDS.m_Connections = 2;
    ASSERT_EQ(qvw::Send(kCmdNewDS), 0);
    CurrentUser.m_Name = "Grüße_äöü";
    CurrentUser.m_Description = "日本語の説明テキスト長い";  // two cells a character
    CurrentUser.m_Type = 0;
    ASSERT_EQ(qvw::Send(kCmdNewUser), 0);
    TestFrame frame;

    // Cut and padded by the cells characters take, never inside one: the columns after
    // the name stay under their headings.
    qvw::RegisterDSWindow();
    gui::Window ds = qvw::OpenDataSources();
    gui::UpdateNow(ds);
    EXPECT_TRUE(Drawn("Name                      Conn  Description"));
    EXPECT_TRUE(Drawn("Bücher-DB-äöü-ßßß-lang-Na 2     Beschreibung"));
    qvw::RegisterUserWindow();
    gui::Window users = qvw::OpenUsers();
    gui::UpdateNow(users);
    EXPECT_TRUE(Drawn("Name                 Description          Type"));
    EXPECT_TRUE(Drawn("Grüße_äöü            日本語の説明テキスト Dev"));
    for (const std::string& t : gt::DrawnTexts()) EXPECT_EQ(t.find("\xEF\xBF\xBD"), t.npos) << t;
    // A screen reader reads the same line by column, without the padding.
    qvw::ListBrowse& dsList = qvw::DSWindow().Browse();
    const long dsAt = qvw::IndexByName(DSList, CurrentDS.m_Name.c_str());
    EXPECT_EQ(dsList.ColumnNames(), (std::vector<std::string>{"Name", "Conn", "Description"}));
    EXPECT_EQ(dsList.RowCells(dsAt),
              (std::vector<std::string>{"Bücher-DB-äöü-ßßß-lang-Na", "2", "Beschreibung"}));
    const long userAt = qvw::IndexByName(UserList, CurrentUser.m_Name.c_str());
    EXPECT_EQ(qvw::UserWindow().Browse().RowCells(userAt),
              (std::vector<std::string>{"Grüße_äöü", "日本語の説明テキスト", "Dev"}));
    AppItem app;
    app.m_Name = "Äpfel";
    app.m_Description = "Über";
    EXPECT_EQ(qvw::MonitorLine(app).rfind("Äpfel                Über   ", 0), 0u);

    // The data source's name fits its line in the password dialog, up to its 50 characters.
    qvw::DSWindow().Browse().GotoRecord(qvw::IndexByName(DSList, CurrentDS.m_Name.c_str()) + 1);
    gt::OnDialog(kDSPwdDialog, [](gui::Dialog& d) {
        EXPECT_EQ(d.Text(kIdDSName, 50), "Bücher-DB-äöü-ßßß-lang-Name");
        EXPECT_TRUE(gt::TextFits(d, kIdDSName));
        d.SetText(kIdDSName, "Datenquelle-der-Buchhaltung-Abteilung-Nord-2024-ab");
        EXPECT_TRUE(gt::TextFits(d, kIdDSName));
        d.Press(2);
    });
    RunCommand(ds, qvw::kCmdPassword);
    EXPECT_EQ(gt::PendingScripts(), 0);

    // Find in a trace: the match far along its line lies inside the highlight. The rest of
    // the line is blank, so every dark pixel of that row is the match drawn in the text
    // colour, which the highlight must cover.
    const std::string trace = std::string(150, ' ') + "NEEDLE\r\nnext line\r\n";
    TraceText.Free();
    TraceText.Alloc(static_cast<long>(trace.size()), 100);
    TraceText.AddContent(trace.data(), static_cast<long>(trace.size()));
    TraceKind = 2;
    gt::OnDialog(kTraceDialog, [](gui::Dialog& d) {
        d.SetText(kIdTraceFind, "needle");
        d.Press(kIdTraceFindNext);
        ASSERT_EQ(gt::SelectedText(d, kIdTraceText), "NEEDLE");
        const gui::Colour mark = gt::HighlightColour(d, kIdTraceText);
        const auto image = gt::ControlImage(d, kIdTraceText);
        int left = 1 << 30, right = -1;
        std::vector<std::size_t> rows;
        for (std::size_t y = 0; y < image.size(); ++y) {
            for (int x = 0; x < static_cast<int>(image[y].size()); ++x) {
                if (image[y][static_cast<std::size_t>(x)] != mark) continue;
                left = std::min(left, x);
                right = std::max(right, x);
                if (rows.empty() || rows.back() != y) rows.push_back(y);
            }
        }
        ASSERT_FALSE(rows.empty());
        for (std::size_t y : rows) {
            for (int x = 0; x < static_cast<int>(image[y].size()); ++x) {
                const gui::Colour c = image[y][static_cast<std::size_t>(x)];
                if (gui::RedOf(c) > 96 || gui::GreenOf(c) > 96 || gui::BlueOf(c) > 96) continue;
                EXPECT_TRUE(x >= left && x <= right)
                    << "ink at " << x << " outside the highlight " << left << ".." << right;
                if (x < left || x > right) return;
            }
        }
        // The mouse selects by the same measure: a drag over the highlight from just inside
        // its left edge to just inside its right one takes the match.
        const int y = static_cast<int>(rows[rows.size() / 2]);
        gt::DragOn(d, kIdTraceText, left + 2, y, right - 2, y);
        EXPECT_EQ(gt::SelectedText(d, kIdTraceText), "NEEDLE");
        d.Press(2);
    });
    qvw::ShowTrace(frame.Handle());
    EXPECT_EQ(gt::PendingScripts(), 0);
}

}  // namespace
