// Input as a person gives it: keys in dialogs and fields, menus switched many times,
// labels, the frame's placement and status line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gui/Gui.h"
#include "platform/gui/TestDriver.h"

namespace {

using namespace gui;

const DialogTemplate kConfirm{70,
                              "Delete",
                              160,
                              80,
                              {
                                  {ControlKind::Edit, 201, "", 5, 5, 60, 12},
                                  {ControlKind::Edit, 202, "", 70, 5, 30, 12, kDigits, 3},
                                  {ControlKind::DefButton, 1, "OK", 5, 50, 40, 14},
                                  {ControlKind::Button, 2, "Cancel", 55, 50, 40, 14},
                                  {ControlKind::Button, 3, "More", 105, 50, 40, 14},
                              }};
const DialogTemplate kNoClose{
    71,      "Working",  160, 40, {{ControlKind::Button, 319, "Close", 5, 5, 40, 14}},
    nullptr, kNoCloseBox};
const MenuTemplate kMenuA{"INPUT_A", {{"File", {{101, "Connect"}, {0, ""}, {108, "Exit"}}}}};
const MenuTemplate kMenuB{"INPUT_B", {{"File", {{103, "Applications"}}}, {"Help", {{107, "A"}}}}};

class GuiInput : public ::testing::Test {
protected:
    void SetUp() override {
        static bool registered = false;
        if (!registered) {
            registered = true;
            RegisterDialogTemplate(&kConfirm);
            RegisterDialogTemplate(&kNoClose);
            RegisterMenuTemplate(&kMenuA);
            RegisterMenuTemplate(&kMenuB);
        }
        test::Reset();
    }
    // Which command a key ends the confirmation with, with the given control focused.
    static int Outcome(int focused, int key) {
        test::OnDialog(70, [=](Dialog& d) {
            d.SetFocus(focused);
            test::PressKey(d, key);
        });
        return DialogBox(0, 70, [](Dialog& d, const DialogEvent& e) {
            if (e.kind == DialogEventKind::Command && e.id >= 1 && e.id <= 3) d.End(e.id);
            return true;
        });
    }
};

TEST_F(GuiInput, EnterPressesTheFocusedButtonElseTheDefault) {
    EXPECT_EQ(Outcome(2, kVkReturn), 2);  // a confirmation answered No on Cancel
    EXPECT_EQ(Outcome(3, kVkReturn), 3);
    EXPECT_EQ(Outcome(1, kVkReturn), 1);
    EXPECT_EQ(Outcome(201, kVkReturn), 1);
    EXPECT_EQ(Outcome(1, kVkEscape), 2);
    EXPECT_EQ(Outcome(201, kVkEscape), 2);
    EXPECT_TRUE(test::Unscripted().empty());
}

TEST_F(GuiInput, DigitFieldsTakeDigitsUpToTheirLimit) {
    std::string typed, free;
    test::OnDialog(70, [&](Dialog& d) {
        test::TypeInto(d, 202, "1a2.b34");
        test::TypeInto(d, 201, "ab1");
        typed = d.Text(202, 10);
        free = d.Text(201, 10);
        d.End(1);
    });
    DialogBox(0, 70, [](Dialog&, const DialogEvent&) { return true; });
    EXPECT_EQ(typed, "123");
    EXPECT_EQ(free, "ab1");
}

TEST_F(GuiInput, ADialogWithoutCloseBoxIgnoresEscapeUnlessItsProcedureActs) {
    bool closeBox = true;
    int cancels = 0;
    test::OnDialog(71, [&](Dialog& d) {
        closeBox = test::HasCloseBox(d);
        test::PressKey(d, kVkEscape);
        EXPECT_FALSE(d.Ended());
        d.SetFocus(319);
        EXPECT_EQ(d.FocusedId(), 319);
        d.Press(319);
    });
    DialogBox(0, 71, [&](Dialog& d, const DialogEvent& e) {
        if (e.kind == DialogEventKind::Command && e.id == 2) ++cancels;
        if (e.kind == DialogEventKind::Command && e.id == 319) d.End(0);
        return true;
    });
    EXPECT_FALSE(closeBox);
    EXPECT_EQ(cancels, 1);  // delivered, and the procedure chose to stay
}

TEST_F(GuiInput, MenuSwitchesAndToolbarsLeaveNoWidgetsBehind) {
    Window frame =
        CreateFrame({"F", 0, 0, 640, 480}, [](Window, const Message&) -> long { return 0; });
    ShowFrame(frame);
    Menu a = LoadMenu("INPUT_A"), b = LoadMenu("INPUT_B");
    AttachMenu(frame, a);
    ProcessEvents();
    const int before = test::LiveWidgets();
    ToolButton set[] = {{kStdFileOpen, 400, true, "Shop & Co"}, {kImageNone, 102, true, "x"}};
    for (int i = 0; i < 250; ++i) {
        AttachMenu(frame, b);
        AttachMenu(frame, a);
        ClearToolbar(frame);
        AddToolButtons(frame, set);
    }
    ProcessEvents();
    EXPECT_LE(test::LiveWidgets(), before + 4);  // the toolbar's two buttons, at most
    EXPECT_EQ(test::ToolButtonCaption(frame, 0), "Shop & Co");

    // A menu item that switches the menus from its own action.
    std::vector<int> seen;
    Window f2 = CreateFrame({"G", 0, 0, 640, 480}, [&](Window w, const Message& m) -> long {
        if (m.msg == Msg::Command) {
            seen.push_back(m.id);
            AttachMenu(w, m.id == 101 ? b : a);
        }
        return 0;
    });
    ShowFrame(f2);
    AttachMenu(f2, a);
    EXPECT_TRUE(PressMenuItem(f2, 101));
    EXPECT_TRUE(PressMenuItem(f2, 103));
    ProcessEvents();
    EXPECT_EQ(seen, (std::vector<int>{101, 103}));
    DestroyWindow(f2);
    DestroyWindow(frame);
    DestroyMenu(a);
    DestroyMenu(b);
    ProcessEvents();
}

TEST_F(GuiInput, PlacementIsTheOuterRectangleAndOnlyAMoveChangesIt) {
    Window frame =
        CreateFrame({"F", 30, 40, 700, 500}, [](Window, const Message&) -> long { return 0; });
    ShowFrame(frame);
    ProcessEvents();
    int x, y, w, h;
    GetFramePlacement(frame, x, y, w, h);
    EXPECT_EQ((std::vector<int>{x, y, w, h}), (std::vector<int>{30, 40, 700, 500}));
    EXPECT_EQ(WindowRectOf(frame), (Rect{30, 40, 730, 540}));
    MoveFrame(frame, 50, 60, 720, 510);
    GetFramePlacement(frame, x, y, w, h);
    EXPECT_EQ((std::vector<int>{x, y, w, h}), (std::vector<int>{50, 60, 720, 510}));

    SetStatusText(frame, "Disconnecting\u2026");
    EXPECT_EQ(test::StatusTexts().back(), "Disconnecting\u2026");
    DestroyWindow(frame);
    ProcessEvents();
}

}  // namespace
