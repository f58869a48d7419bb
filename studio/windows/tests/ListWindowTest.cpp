#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/gui/Gui.h"
#include "platform/gui/TestDriver.h"
#include "platform/gui/tests/TestApp.h"
#include "studio/windows/ListWindow.h"
#include "studio/windows/tests/Harness.h"

namespace {

// A kind over a plain vector of names; commands are recorded.
struct Fixture {
    std::vector<std::string> names;
    std::vector<int> commands;
    int creates = 0, destroys = 0;
    qvw::ListWindow window{qvw::ListWindowKind{}};

    Fixture() {
        auto& k = window.Kind();
        k.className = "TestListClass";
        k.titleWord = "Things [";
        k.defaultCommand = 112;
        k.header = [] {
            char b[64];
            std::snprintf(b, sizeof b, "%-20.20s %s", "Name", "Other");
            return std::string(b);
        };
        k.formatLine = [this](long i, char* buf, std::size_t n) {
            if (i < 0 || i >= static_cast<long>(names.size())) return false;
            std::snprintf(buf, n, "%-20.20s %d", names[static_cast<std::size_t>(i)].c_str(),
                          static_cast<int>(i));
            return true;
        };
        k.count = [this] { return static_cast<long>(names.size()); };
        k.onCreate = [this](gui::Window) { ++creates; };
        k.onDestroy = [this](gui::Window) {
            ++destroys;
            names.clear();
        };
        k.onCommand = [this](gui::Window, int id) { commands.push_back(id); };
    }
};

TEST(ListWindowPattern, CountedTitleAndOutcome) {
    EXPECT_EQ(qvw::CountedTitle("Requests [", 3), "Requests [3]");
    EXPECT_EQ(qvw::CountedTitle("Files [", 0), "Files [0]");
    qvw::DialogOutcome = 1;
    EXPECT_TRUE(qvw::TakeDialogOutcome());
    EXPECT_EQ(qvw::DialogOutcome, 0);
    EXPECT_FALSE(qvw::TakeDialogOutcome());
}

TEST(ListWindowPattern, MessageTableDrivesTheListAndTheDefaultCommand) {
    Fixture f;
    f.names = {"alpha", "a-name-longer-than-twenty-characters", "gamma"};
    f.window.Register();
    f.window.Proc(0, {gui::Msg::Create, 0, 0, 0});
    EXPECT_EQ(f.creates, 1);
    EXPECT_EQ(f.window.Browse().GetNumberOfRecords(), 3);
    EXPECT_EQ(f.window.Browse().HeaderText(), "Name                 Other");
    // Keys move the cursor; others do nothing.
    f.window.Proc(0, {gui::Msg::Size, 0, 0, gui::MakeLong(300, 16 * 10)});
    f.window.Proc(0, {gui::Msg::KeyDown, 0, gui::kVkDown, 0});
    EXPECT_EQ(f.window.Browse().CurrentIndex(), 1);
    f.window.Proc(0, {gui::Msg::KeyDown, 0, 0x41, 0});
    EXPECT_EQ(f.window.Browse().CurrentIndex(), 1);
    f.window.Proc(0, {gui::Msg::KeyDown, 0, gui::kVkEnd, 0});
    EXPECT_EQ(f.window.Browse().CurrentIndex(), 2);
    // Commands reach the kind.
    f.window.Proc(0, {gui::Msg::Command, 110, 0, 0});
    ASSERT_EQ(f.commands.size(), 1u);
    EXPECT_EQ(f.commands[0], 110);
    // Refresh to a found record, then to a missing one (first record).
    f.names.push_back("delta");
    f.window.RefreshTo(3);
    EXPECT_EQ(f.window.Browse().GetNumberOfRecords(), 4);
    EXPECT_EQ(f.window.Browse().CurrentIndex(), 3);
    f.window.RefreshTo(-1);
    EXPECT_EQ(f.window.Browse().CurrentIndex(), 0);
    f.window.Proc(0, {gui::Msg::Destroy, 0, 0, 0});
    EXPECT_EQ(f.destroys, 1);
}

TEST(ListWindowPattern, EmptyListHasNoCurrentRecord) {
    Fixture f;
    f.window.Proc(0, {gui::Msg::Create, 0, 0, 0});
    EXPECT_EQ(f.window.Browse().CurrentIndex(), -1);
    // A paint with a record gone meanwhile must not touch it.
    f.window.Proc(0, {gui::Msg::Paint, 0, 0, 0});
}

// Real windows: a counted title set at creation survives the sub-window, a suffix goes
// after a blank, activation reaches the kind, and the two ways of closing.
TEST(ListWindowPattern, RealWindowsTitleActivateAndClose) {
    qvwtest::TestFrame frame;
    Fixture f;
    f.names = {"a", "b", "c"};
    int activations = 0;
    f.window.Kind().slot = qvw::kSlotFiles;
    f.window.Kind().viewItem = 132;
    f.window.Kind().onActivate = [&activations](gui::Window) { ++activations; };
    f.window.Register();
    gui::CheckItem(frame.Menu("REQ_MENU"), 132, true);
    gui::Window w = f.window.Open();
    gui::ProcessEvents();
    EXPECT_EQ(gui::GetTitle(w), "Things [3]");
    EXPECT_EQ(frame.slots[qvw::kSlotFiles], w);
    EXPECT_GE(activations, 1);
    f.window.UpdateTitle("docs\\old");
    EXPECT_EQ(gui::GetTitle(w), "Things [3] docs\\old");
    f.names.pop_back();
    f.window.Reshow();  // the title stays until asked
    EXPECT_EQ(gui::GetTitle(w), "Things [3] docs\\old");
    f.window.ReshowTitled();
    EXPECT_EQ(gui::GetTitle(w), "Things [2]");
    gui::MdiDestroy(w);
    gui::ProcessEvents();
    EXPECT_FALSE(gui::IsItemChecked(frame.Menu("REQ_MENU"), 132));
    EXPECT_EQ(frame.slots[qvw::kSlotFiles], 0);
    ASSERT_FALSE(frame.commands.empty());
    EXPECT_EQ(frame.commands.back(), qvw::kCmdChildClosed);
    EXPECT_TRUE(frame.toolbarSets.empty());

    // A window of its own menu puts the connected menu and set 2 back instead.
    qvw::ListWindow own{qvw::ListWindowKind{}};
    own.Kind().className = "TestOwnClass";
    own.Kind().fixedTitle = "Own";
    own.Kind().menuName = "APP_MENU";
    own.Register();
    gui::Window o = own.Open();
    EXPECT_EQ(gui::MenuName(gui::AttachedMenu(frame.Handle())), "APP_MENU");
    gui::MdiDestroy(o);
    gui::ProcessEvents();
    EXPECT_EQ(gui::MenuName(gui::AttachedMenu(frame.Handle())), "FUNC_MENU");
    EXPECT_EQ(frame.toolbarSets, std::vector<int>{2});
}

}  // namespace
