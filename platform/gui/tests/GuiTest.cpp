#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/gui/Gui.h"
#include "platform/gui/TestDriver.h"
#include "platform/gui/tests/TestApp.h"

namespace {

using namespace gui;

const MenuTemplate kMenu{"TEST_MENU",
                         {{"&File", {{101, "Connect"}, {0, ""}, {108, "Exit"}}},
                          {"View", {{123, "Requests", true}, {132, "Files", true, true}}}}};
const MenuTemplate kDlgMenu{"TEST_DLG_MENU", {{"File", {{128, "Open"}, {129, "Save As..."}}}}};
const DialogTemplate kDialog{50,
                             "Test",
                             200,
                             100,
                             {
                                 {ControlKind::Label, -1, "Name :", 5, 5, 40, 12, kAlignRight},
                                 {ControlKind::Edit, 201, "", 50, 5, 40, 12},
                                 {ControlKind::Edit, 207, "", 50, 20, 40, 12, kPassword},
                                 {ControlKind::Label, 208, "", 50, 35, 100, 12},
                                 {ControlKind::ListBox, 219, "", 5, 50, 60, 40},
                                 {ControlKind::CheckBox, 230, "Public", 100, 50, 60, 12},
                                 {ControlKind::DefButton, 1, "OK", 100, 80, 40, 14},
                                 {ControlKind::Button, 2, "Cancel", 150, 80, 40, 14},
                                 {ControlKind::Progress, 240, "", 5, 92, 190, 8},
                             },
                             "TEST_DLG_MENU"};

void Register() {
    static bool done = false;
    if (done) return;
    done = true;
    RegisterMenuTemplate(&kMenu);
    RegisterMenuTemplate(&kDlgMenu);
    RegisterDialogTemplate(&kDialog);
}

class GuiTest : public ::testing::Test {
protected:
    void SetUp() override {
        Register();
        test::Reset();
    }
};

TEST_F(GuiTest, DialogControlsByIdAndScriptedButtons) {
    std::vector<std::string> seen;
    test::OnDialog(50, [&](Dialog& d) {
        d.SetText(201, "abcdef");
        d.SetText(207, "secret");
        d.ListAdd(219, "first");
        d.ListAdd(219, "second");
        d.ListSelect(219, 1);
        EXPECT_TRUE(d.Press(230));
        EXPECT_TRUE(d.IsChecked(230));
        d.Enable(1, false);
        EXPECT_FALSE(d.Press(1));  // a disabled button cannot be pressed
        d.Enable(1, true);
        EXPECT_TRUE(d.Press(128));  // the dialog's menu
        EXPECT_TRUE(d.Press(1));
    });
    int r = DialogBox(0, 50, [&](Dialog& d, const DialogEvent& e) {
        if (e.kind == DialogEventKind::Init) {
            d.SetText(208, "Disconnected");
            d.SetTitle("Connect x");
            return true;
        }
        seen.push_back(std::to_string(e.id));
        if (e.id == 1) {
            EXPECT_EQ(d.Text(201, 3), "abc");
            EXPECT_EQ(d.Text(207, 20), "secret");
            EXPECT_EQ(d.Text(208, 100), "Disconnected");
            EXPECT_EQ(d.ListSelection(219), 1);
            EXPECT_EQ(d.ListText(219, 0), "first");
            EXPECT_EQ(d.Title(), "Connect x");
            EXPECT_FALSE(d.IsShown(240));               // hidden until there is progress to show
            d.SetProgress(240, 5LL << 32, 10LL << 32);  // byte counts beyond int
            EXPECT_TRUE(d.IsShown(240));
            EXPECT_EQ(d.ProgressValue(240), 5LL << 32);
            d.SetProgress(240, -1, 0);
            EXPECT_FALSE(d.IsShown(240));
            d.End(7);
        }
        return true;
    });
    EXPECT_EQ(r, 7);
    EXPECT_EQ(seen, (std::vector<std::string>{"230", "128", "1"}));
    EXPECT_TRUE(test::Unscripted().empty());
}

TEST_F(GuiTest, UnscriptedDialogIsCancelledAndNoted) {
    int cancels = 0;
    int r = DialogBox(0, 50, [&](Dialog& d, const DialogEvent& e) {
        if (e.kind == DialogEventKind::Command && e.id == 2) {
            ++cancels;
            d.End(0);
        }
        return true;
    });
    EXPECT_EQ(r, 0);
    EXPECT_EQ(cancels, 1);
    ASSERT_EQ(test::Unscripted().size(), 1u);
    EXPECT_EQ(DialogBox(0, 999, nullptr), -1);
}

TEST_F(GuiTest, MessageBoxesAndFileDialogsAreScripted) {
    EXPECT_EQ(MessageBox(0, "File quorvelide.cfg not found!", "Quorvel Studio"), 1);
    ASSERT_EQ(test::MessageBoxes().size(), 1u);
    EXPECT_EQ(test::MessageBoxes()[0].text, "File quorvelide.cfg not found!");
    EXPECT_EQ(test::MessageBoxes()[0].caption, "Quorvel Studio");

    FileDialogSpec spec;
    spec.filterName = "Connection Files (*.con)";
    spec.pattern = "*.con";
    spec.folder = "/";
    spec.fileName = "*.con";
    std::string path = "unchanged";
    EXPECT_FALSE(GetOpenFileName(0, spec, path));  // nothing queued: cancel
    EXPECT_EQ(path, "unchanged");
    test::QueueOpenFile("/x/a.con");
    test::QueueSaveFile(std::nullopt);
    EXPECT_TRUE(GetOpenFileName(0, spec, path));
    EXPECT_EQ(path, "/x/a.con");
    EXPECT_FALSE(GetSaveFileName(0, spec, path));
    ASSERT_EQ(test::FileDialogs().size(), 3u);
    EXPECT_TRUE(test::FileDialogs()[2].save);
    EXPECT_EQ(test::FileDialogs()[2].spec.fileName, "*.con");
}

TEST_F(GuiTest, FrameMenusToolbarAndPlacement) {
    std::vector<int> commands;
    bool destroyed = false;
    Window frame =
        CreateFrame({"Quorvel Studio", 10, 20, 640, 480}, [&](Window, const Message& m) -> long {
            if (m.msg == Msg::Command) commands.push_back(m.id);
            if (m.msg == Msg::Destroy) destroyed = true;
            return 0;
        });
    ASSERT_NE(frame, 0);
    ShowFrame(frame);
    Menu menu = LoadMenu("TEST_MENU");
    ASSERT_NE(menu, 0);
    EXPECT_EQ(LoadMenu("NO_SUCH"), 0);
    AttachMenu(frame, menu);
    EXPECT_EQ(MenuName(AttachedMenu(frame)), "TEST_MENU");
    EXPECT_TRUE(IsItemGrey(menu, 123));
    EXPECT_TRUE(IsItemChecked(menu, 132));
    EXPECT_FALSE(PressMenuItem(frame, 123));  // greyed
    GreyItem(menu, 123, false);
    EXPECT_TRUE(PressMenuItem(frame, 123));
    EXPECT_TRUE(PressMenuItem(frame, 101));

    ToolButton set[] = {{kStdFileOpen, 400, true, "one"}, {kImageNone, 102, true, "Disconnect"}};
    AddToolButtons(frame, set);
    ASSERT_EQ(ToolButtons(frame).size(), 2u);
    PressToolButton(frame, 1);
    ClearToolbar(frame);
    EXPECT_TRUE(ToolButtons(frame).empty());
    PressToolButton(frame, 0);  // nothing there: nothing happens
    EXPECT_EQ(commands, (std::vector<int>{123, 101, 102}));

    SetTitle(frame, "Quorvel Studio - demo [127.0.0.1:8080]");
    EXPECT_EQ(GetTitle(frame), "Quorvel Studio - demo [127.0.0.1:8080]");
    int x, y, w, h;
    GetFramePlacement(frame, x, y, w, h);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 20);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    DestroyWindow(frame);
    EXPECT_TRUE(destroyed);
    EXPECT_FALSE(IsWindow(frame));
    DestroyMenu(menu);
    ProcessEvents();
}

struct ChildLog {
    std::vector<Msg> msgs;
    std::vector<long> params;
    int lastWidth = 0, lastHeight = 0;
};

TEST_F(GuiTest, ChildWindowsGetMessagesAndPaintIntoTheirSurface) {
    static ChildLog log;
    log = {};
    RegisterClass(
        "TestClass",
        [](Window w, const Message& m) -> long {
            log.msgs.push_back(m.msg);
            if (m.msg == Msg::Size) {
                log.lastWidth = m.lParam & 0xFFFF;
                log.lastHeight = (m.lParam >> 16) & 0xFFFF;
            }
            if (m.msg == Msg::KeyDown || m.msg == Msg::Command)
                log.params.push_back(m.msg == Msg::Command ? m.id : m.wParam);
            if (m.msg == Msg::Paint) {
                Painter* p = BeginPaint(w);
                p->FillRect({0, 0, 10, 10}, RGB(255, 0, 0));
                EndPaint(w);
            }
            return 0;
        },
        RGB(192, 192, 192));
    Window frame =
        CreateFrame({"F", 0, 0, 800, 600}, [](Window, const Message&) -> long { return 0; });
    ShowFrame(frame);
    Window child = CreateChild(frame, "TestClass", "Child", 1, 1, 300, 200);
    ASSERT_NE(child, 0);
    EXPECT_EQ(CreateChild(frame, "Unknown", "x", 0, 0, 10, 10), 0);
    ProcessEvents();
    EXPECT_EQ(log.msgs.front(), Msg::Create);
    EXPECT_GT(log.lastWidth, 0);
    UpdateNow(child);
    EXPECT_EQ(test::SurfacePixel(child, 5, 5), RGB(255, 0, 0));
    EXPECT_EQ(test::SurfacePixel(child, 50, 50),
              RGB(192, 192, 192));  // erased with the class brush
    EXPECT_EQ(ActiveChild(frame), child);

    // A band moves its pixels; invalidating one line paints just that line.
    ScrollBand(child, 0, 40, 20);
    EXPECT_EQ(test::SurfacePixel(child, 5, 25), RGB(255, 0, 0));
    int paints = test::PaintCount(child);
    Rect line{0, 30, 100, 40};
    Invalidate(child, &line, true);
    UpdateNow(child);
    EXPECT_EQ(test::PaintCount(child), paints + 1);
    EXPECT_EQ(test::LastPaintRect(child), line);

    // Drawing outside a paint lands at once.
    Painter* dc = GetDC(child);
    ASSERT_NE(dc, nullptr);
    dc->FrameRect({20, 100, 60, 120}, RGB(0, 0, 0));
    ReleaseDC(child);
    EXPECT_EQ(test::SurfacePixel(child, 20, 110), RGB(0, 0, 0));
    EXPECT_EQ(test::SurfacePixel(child, 40, 110), RGB(192, 192, 192));

    // The scroll bar takes room from the client area and keeps its range and position.
    int before = ClientRect(child).right;
    SetScrollRange(child, 1, 1000000, false);
    EXPECT_TRUE(IsScrollBarShown(child));
    EXPECT_LT(ClientRect(child).right, before);
    EXPECT_EQ(log.lastWidth, ClientRect(child).right);
    SetScrollPos(child, 999999, true);
    EXPECT_EQ(GetScrollPos(child), 999999);
    ShowScrollBar(child, false);
    EXPECT_EQ(ClientRect(child).right, before);

    test::SendKey(child, kVkNext);
    test::SendKey(child, kVkUp);
    EXPECT_EQ(log.params, (std::vector<long>{kVkNext, kVkUp}));

    // Commands posted from another thread arrive on this one, in order.
    std::thread worker([child] {
        PostCommand(child, 236);
        PostCommand(child, 237);
    });
    worker.join();
    ProcessEvents();
    EXPECT_EQ(log.params, (std::vector<long>{kVkNext, kVkUp, 236, 237}));

    MdiDestroy(child);
    EXPECT_EQ(log.msgs.back(), Msg::Destroy);
    EXPECT_FALSE(IsWindow(child));
    PostCommand(child, 238);  // a window gone gets nothing
    ProcessEvents();
    EXPECT_EQ(log.params.size(), 4u);
    DestroyWindow(frame);
    ProcessEvents();
}

TEST_F(GuiTest, CursorsBalance) {
    SetWaitCursor();
    SetWaitCursor();
    EXPECT_TRUE(IsWaitCursor());
    SetArrowCursor();
    EXPECT_FALSE(IsWaitCursor());
    SetArrowCursor();
    EXPECT_FALSE(IsWaitCursor());
}

TEST_F(GuiTest, LogoFontsAreTheCellHeightAsked) {
    Font big = CreateFont("Arial", 45, 900, true);
    Font small = CreateFont("Arial", 20, 900, true);
    EXPECT_NE(big, 0);
    EXPECT_NE(small, big);
    DeleteFont(big);
    DeleteFont(small);
}

}  // namespace
