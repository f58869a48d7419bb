// What the shell's tests share: a workspace of their own (start directory, lock folder),
// a quorvel-devserver on a free loopback port, and helpers that drive the real frame.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gui/Gui.h"
#include "platform/gui/TestDriver.h"

namespace shelltest {

// A quorvel-devserver with demo data in a temporary folder, for the whole test program.
class DevServer {
public:
    // Starts it once; false (with the reason) when the binary is unknown or does not start.
    static bool Ensure(std::string& why);
    static int Port();
    static const std::string& AdminPassword();
    static void Stop();
};

void WriteFile(const std::string& path, const std::string& text);
std::string ReadFile(const std::string& path);

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes quorvelide.cfg into the workspace.
    void WriteConfig(const std::string& text = "UpDownDir=\r\nx=10\r\ny=20\r\nw=700\r\nh=500\r\n");
    // Writes a profile NAME.con for the devserver (or the port given).
    void WriteProfile(const std::string& file, const std::string& name, int port,
                      const std::string& user = "admin");
    // Start() with the checks every started frame passes.
    void StartFrame();
    // Ends the frame and the run as the program does after its loop.
    void EndRun();
    // Runs the connect command with a script for the dialog.
    void Connect(gui::test::DialogScript script);
    // Logs in through the dialog; true when the frame is connected afterwards.
    bool Login(const std::string& user, const std::string& password);

    std::vector<int> ButtonIds() const;
    std::string MenuName() const;

    std::string m_Dir;
    std::string m_OldDir;
    bool m_Started = false;
};

}  // namespace shelltest
