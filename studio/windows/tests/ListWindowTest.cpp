#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/gui/Gui.h"
#include "platform/gui/TestDriver.h"
#include "platform/gui/tests/TestApp.h"
#include "studio/windows/ListWindow.h"

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
        k.onCreate = [this] { ++creates; };
        k.onDestroy = [this] {
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

}  // namespace
