#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lister/WBrowse.h"
#include "platform/gui/Gui.h"
#include "platform/gui/TestDriver.h"
#include "platform/gui/tests/TestApp.h"

namespace {

// Records are their own numbers; Paint notes which records it drew.
class NumberBrowse : public WBrowse {
public:
    NumberBrowse() : WBrowse(1, 0) {}
    int Paint() override {
        gui::Painter* dc = m_BeginPaint();
        drawn.clear();
        if (dc) dc->SelectFixedFont();
        for (long i = 0; i < m_LinesUsed; ++i) {
            std::string line = "record " + std::to_string(m_Top + i + 1);
            drawn.push_back(m_Top + i + 1);
            m_TextOut(dc, static_cast<int>(i), line.c_str(), static_cast<int>(line.size()));
        }
        m_PaintCursor(dc);
        m_EndPaint();
        m_SetScrollPos();
        return 0;
    }
    void Down() { m_down(); }
    void Up() { m_up(); }
    void PgDn() { m_pgdn(); }
    void PgUp() { m_pgup(); }
    void End() { m_end(); }
    void Home() { m_home(); }
    std::vector<long> drawn;
};

// Without a window the line is 16 pixels; one header line.
constexpr int kLine = 16;
long Packed(int width, int height) {
    return gui::MakeLong(width, height);
}
long PageOf(int lines) {
    return Packed(200, kLine + lines * kLine);
}

NumberBrowse Made(long n, int lines) {
    NumberBrowse b;
    b.Create(0, n);
    b.Size(PageOf(lines));
    return b;
}

TEST(WBrowseArithmetic, GotoRecordAlignsPagesAndShowsTheLastPageFull) {
    NumberBrowse b = Made(10, 4);
    ASSERT_EQ(b.PageLines(), 4);
    b.GotoRecord(7);
    EXPECT_EQ(b.Top(), 6);
    EXPECT_EQ(b.Cursor(), 1);
    b.GotoRecord(5);
    EXPECT_EQ(b.Top(), 4);
    EXPECT_EQ(b.Cursor(), 1);
    b.GotoRecord(3);
    EXPECT_EQ(b.Top(), 0);
    EXPECT_EQ(b.Cursor(), 3);
    b.GotoRecord(0);  // ignored
    b.GotoRecord(-4);
    EXPECT_EQ(b.GetRecordNumber(), 3);

    NumberBrowse small = Made(3, 4);
    small.GotoRecord(2);
    EXPECT_EQ(small.Top(), 0);
    EXPECT_EQ(small.Cursor(), 2);
    NumberBrowse one = Made(1, 4);
    one.GotoRecord(1);
    EXPECT_EQ(one.GetRecordNumber(), 1);
}

TEST(WBrowseArithmetic, MovesWhenEverythingFitsDoNothing) {
    NumberBrowse b = Made(3, 4);
    b.Down();
    b.Down();
    EXPECT_EQ(b.Cursor(), 3);
    b.Down();  // last used line: nothing
    EXPECT_EQ(b.Cursor(), 3);
    EXPECT_EQ(b.Top(), 0);
    b.PgDn();
    b.PgUp();
    EXPECT_EQ(b.Top(), 0);
    EXPECT_EQ(b.Cursor(), 3);
    b.Home();
    EXPECT_EQ(b.GetRecordNumber(), 1);
}

TEST(WBrowseArithmetic, LineAndPageMovesOverALongList) {
    NumberBrowse b = Made(10, 4);
    for (int i = 0; i < 3; ++i) b.Keydown(gui::kVkDown);
    EXPECT_EQ(b.Cursor(), 4);
    b.Keydown(gui::kVkDown);  // scrolls: cursor stays on the last line
    EXPECT_EQ(b.Top(), 1);
    EXPECT_EQ(b.Cursor(), 4);
    b.Keydown(gui::kVkNext);
    EXPECT_EQ(b.Top(), 5);
    b.Keydown(gui::kVkNext);  // at most N - P
    EXPECT_EQ(b.Top(), 6);
    EXPECT_EQ(b.GetRecordNumber(), 10);
    b.Keydown(gui::kVkDown);  // nothing below
    EXPECT_EQ(b.GetRecordNumber(), 10);
    b.Keydown(gui::kVkPrior);
    EXPECT_EQ(b.Top(), 2);
    b.Keydown(gui::kVkPrior);  // not below 0
    EXPECT_EQ(b.Top(), 0);
    for (int i = 0; i < 3; ++i) b.Keydown(gui::kVkUp);
    EXPECT_EQ(b.Cursor(), 1);
    b.Keydown(gui::kVkUp);  // top of the list: nothing
    EXPECT_EQ(b.GetRecordNumber(), 1);
    b.Keydown(0x41);  // other keys: nothing
    EXPECT_EQ(b.GetRecordNumber(), 1);

    b.Keydown(gui::kVkEnd);
    EXPECT_EQ(b.Cursor(), 4);
    EXPECT_EQ(b.Top(), 6);
    EXPECT_EQ(b.GetRecordNumber(), 10);
    b.Keydown(gui::kVkHome);
    EXPECT_EQ(b.Top(), 0);
    EXPECT_EQ(b.Cursor(), 1);
}

TEST(WBrowseArithmetic, ClicksAndThumb) {
    NumberBrowse b = Made(10, 4);
    EXPECT_EQ(b.Goto(Packed(5, kLine + 1)), -1);  // 1 pixel below the header band
    EXPECT_EQ(b.Goto(Packed(5, kLine + 2 * kLine + 3)), 0);
    EXPECT_EQ(b.Cursor(), 3);
    EXPECT_EQ(b.Goto(Packed(5, kLine + 0 * kLine + 5)), 0);  // above the cursor
    EXPECT_EQ(b.Cursor(), 1);
    NumberBrowse few = Made(2, 4);
    EXPECT_EQ(few.Goto(Packed(5, kLine + 3 * kLine + 1)), 0);  // below the last record line
    EXPECT_EQ(few.Cursor(), 1);

    b.Vscroll(gui::kThumbPosition, 7);
    EXPECT_EQ(b.GetRecordNumber(), 7);
    b.Vscroll(gui::kLineDown, 0);
    EXPECT_EQ(b.GetRecordNumber(), 8);
    b.Vscroll(gui::kPageUp, 0);
    EXPECT_EQ(b.Top(), 2);
    b.Vscroll(9, 0);  // unknown code
    EXPECT_EQ(b.Top(), 2);
}

TEST(WBrowseArithmetic, ResizingAwayFromTheCursorGoesBackToTheFirstRecord) {
    NumberBrowse b = Made(10, 4);
    b.GotoRecord(4);
    EXPECT_EQ(b.Cursor(), 4);
    b.Size(PageOf(2));
    EXPECT_EQ(b.Top(), 0);
    EXPECT_EQ(b.Cursor(), 1);
    b.Size(PageOf(4));
    b.GotoRecord(8);    // Top 6
    b.Size(PageOf(5));  // 6 + 5 > 10
    EXPECT_EQ(b.GetRecordNumber(), 1);
    b.Reshow(20);
    EXPECT_EQ(b.LinesUsed(), 5);
    EXPECT_EQ(b.GetNumberOfRecords(), 20);
}

TEST(WBrowseArithmetic, AListAreaLowerThanTheBandsHoldsNoLines) {
    NumberBrowse b = Made(1000, 4);
    b.Size(Packed(200, kLine - 5));  // minimised: lower than the header band
    EXPECT_EQ(b.PageLines(), 0);
    EXPECT_EQ(b.LinesUsed(), 0);
    b.GotoRecord(500);  // no division by an empty page
    EXPECT_EQ(b.GetRecordNumber(), 500);
    b.Keydown(gui::kVkEnd);
    EXPECT_EQ(b.GetRecordNumber(), 1000);
    b.Keydown(gui::kVkDown);
    EXPECT_LE(b.GetRecordNumber(), 1000);
    b.Paint();
    EXPECT_TRUE(b.drawn.empty());
}

// Through a real window: what is painted, and how much.
class WBrowseWindow : public ::testing::Test {
protected:
    static NumberBrowse* browse;
    static long Proc(gui::Window w, const gui::Message& m) {
        if (!browse) return 0;
        switch (m.msg) {
            case gui::Msg::Create:
                browse->Create(w, 100);
                break;
            case gui::Msg::Size:
                browse->Size(m.lParam);
                break;
            case gui::Msg::Paint:
                browse->Paint();
                break;
            case gui::Msg::KeyDown:
                browse->Keydown(static_cast<unsigned short>(m.wParam));
                break;
            case gui::Msg::VScroll:
                browse->Vscroll(static_cast<unsigned short>(m.wParam), m.lParam);
                break;
            case gui::Msg::LButtonDown:
                browse->Goto(m.lParam);
                break;
            default:
                break;
        }
        return 0;
    }
    void SetUp() override {
        gui::RegisterClass("BrowseTest", &Proc, gui::RGB(192, 192, 192));
        frame = gui::CreateFrame({"F", 0, 0, 800, 600},
                                 [](gui::Window, const gui::Message&) -> long { return 0; });
        gui::ShowFrame(frame);
    }
    void TearDown() override {
        gui::DestroyWindow(frame);
        gui::ProcessEvents();
        browse = nullptr;
    }
    gui::Window frame = 0;
};
NumberBrowse* WBrowseWindow::browse = nullptr;

TEST_F(WBrowseWindow, ALineMovePaintsOnlyTheNewLine) {
    NumberBrowse b;
    browse = &b;
    gui::Window w = gui::CreateChild(frame, "BrowseTest", "List", 1, 1, 400, 300);
    gui::UpdateNow(w);
    ASSERT_GT(b.PageLines(), 3);
    EXPECT_TRUE(gui::IsScrollBarShown(w));
    const int lh = b.LineHeight();
    const long page = b.PageLines();
    EXPECT_EQ(b.drawn.front(), 1);
    EXPECT_EQ(static_cast<long>(b.drawn.size()), page);
    // The cursor frame is black on the first line.
    EXPECT_EQ(gui::test::SurfacePixel(w, 0, b.HeaderHeight() + lh / 2), gui::RGB(0, 0, 0));

    // Moving the frame down a line paints nothing.
    int paints = gui::test::PaintCount(w);
    b.Keydown(gui::kVkDown);
    EXPECT_EQ(gui::test::PaintCount(w), paints);
    EXPECT_EQ(gui::test::SurfacePixel(w, 0, b.HeaderHeight() + lh / 2), gui::RGB(192, 192, 192));
    EXPECT_EQ(gui::test::SurfacePixel(w, 0, b.HeaderHeight() + lh + lh / 2), gui::RGB(0, 0, 0));
    EXPECT_EQ(gui::GetScrollPos(w), 2);

    // At the last line, the band scrolls and only the new last line is painted.
    for (long i = 2; i < page; ++i) b.Keydown(gui::kVkDown);
    paints = gui::test::PaintCount(w);
    b.Keydown(gui::kVkDown);
    EXPECT_EQ(gui::test::PaintCount(w), paints + 1);
    gui::Rect last = gui::test::LastPaintRect(w);
    EXPECT_EQ(last.top, b.HeaderHeight() + static_cast<int>(page - 1) * lh);
    EXPECT_EQ(last.bottom, b.HeaderHeight() + static_cast<int>(page) * lh + 1);
    EXPECT_EQ(b.Top(), 1);
    EXPECT_EQ(gui::GetScrollPos(w), page + 1);

    // Keys through the window procedure.
    gui::test::SendKey(w, gui::kVkHome);
    EXPECT_EQ(b.GetRecordNumber(), 1);
    gui::MdiDestroy(w);
}

// Input as the user gives it: typed characters, wheel notches, a dragged thumb.
TEST_F(WBrowseWindow, OnlyNavigationKeysTheWheelAndTheThumbMoveTheCursor) {
    NumberBrowse b;
    browse = &b;
    gui::Window w = gui::CreateChild(frame, "BrowseTest", "List", 1, 1, 400, 300);
    gui::UpdateNow(w);
    b.GotoRecord(5);
    // These characters share their codes with Page Up, Page Down, End, Home, Up, Down
    // and Delete in the system's key numbering; typed, they must do nothing.
    gui::test::TypeText(w, "!\"#$&(.abc 1");
    EXPECT_EQ(b.GetRecordNumber(), 5);
    gui::test::SendKey(w, gui::kVkHome);

    gui::test::Wheel(w, 2, false);  // two notches towards the user: six lines down
    EXPECT_EQ(b.GetRecordNumber(), 7);
    EXPECT_EQ(gui::GetScrollPos(w), 7);
    gui::test::Wheel(w, -1, true);  // over the scroll bar the list moves, not just the bar
    EXPECT_EQ(b.GetRecordNumber(), 4);
    EXPECT_EQ(gui::GetScrollPos(w), 4);

    b.Reshow(200000);
    gui::test::DragThumb(w, 70000);  // past what 16 bits hold
    EXPECT_EQ(b.GetRecordNumber(), 70000);
    gui::UpdateNow(w);
    EXPECT_EQ(gui::GetScrollPos(w), 70000);
    gui::MdiDestroy(w);
}

}  // namespace
