// Quit before the loop runs, and message boxes asked for from a worker thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/gui/Gui.h"
#include "platform/gui/TestDriver.h"

namespace {

using namespace gui;

const DialogTemplate kQuitDialog{
    61, "Quit", 100, 40, {{ControlKind::DefButton, 1, "OK", 10, 10, 40, 14}}};

TEST(GuiQuit, AQuitOutsideTheLoopLeavesLaterDialogsWorking) {
    RegisterDialogTemplate(&kQuitDialog);
    test::Reset();
    Quit(7);  // a frame destroyed before the loop, as at a refused start or in a test
    bool ran = false;
    test::OnDialog(61, [&](Dialog& d) {
        ran = true;
        d.End(3);
    });
    EXPECT_EQ(DialogBox(0, 61, [](Dialog&, const DialogEvent&) { return false; }), 3);
    EXPECT_TRUE(ran);
    EXPECT_TRUE(test::Unscripted().empty());
}

TEST(GuiQuit, AWorkerThreadsMessageBoxIsShownByTheWindowThread) {
    test::Reset();
    std::atomic<bool> done{false};
    int result = 0;
    std::thread worker([&] {
        result = MessageBox(0, "send() SOCKET_ERROR", "Quorvel Studio");
        done = true;
    });
    for (int i = 0; i < 5000 && !done; ++i) {
        ProcessEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worker.join();
    EXPECT_EQ(result, 1);
    ASSERT_EQ(test::MessageBoxes().size(), 1u);
    EXPECT_EQ(test::MessageBoxes()[0].text, "send() SOCKET_ERROR");
}

}  // namespace
