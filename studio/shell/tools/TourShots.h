// What the screenshot tours share: letting the toolkit settle, and cropping the frame's
// area out of the virtual screen with ImageMagick's import.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/gui/Gui.h"
#include "platform/gui/TestDriver.h"
#include "studio/resources/ShellResources.h"
#include "studio/shell/Shell.h"

namespace tour {

inline void Settle(int rounds = 25) {
    for (int i = 0; i < rounds; ++i) {
        gui::ProcessEvents();
        usleep(20000);
    }
}

// Writes dir/name.png; scale is the QT_SCALE_FACTOR in use, since the frame's placement
// is in unscaled pixels.
inline void Shot(const std::string& dir, double scale, const char* name, const char* program) {
    Settle();
    int x = 0, y = 0, w = 0, h = 0;
    gui::GetFramePlacement(shell::Frame(), x, y, w, h);
    char cmd[2048];
    std::snprintf(cmd, sizeof cmd, "import -window root -crop %dx%d+%d+%d +repage '%s/%s.png'",
                  static_cast<int>(w * scale), static_cast<int>(h * scale),
                  static_cast<int>(x * scale), static_cast<int>(y * scale), dir.c_str(), name);
    if (std::system(cmd) != 0) std::fprintf(stderr, "%s: %s failed\n", program, cmd);
}

// Connects to 127.0.0.1:port as admin through the connect dialog (the test driver on).
inline void Connect(const std::string& port, const std::string& password) {
    gui::test::OnDialog(kConnectDialog, [&](gui::Dialog& d) {
        const char* ip[] = {"127", "0", "0", "1"};
        for (int i = 0; i < 4; ++i) d.SetText(201 + i, ip[i]);
        d.SetText(205, port);
        d.SetText(206, "admin");
        d.SetText(207, password);
        d.Press(1);
    });
    gui::SendCommand(shell::Frame(), 101);
    Settle(5);
}

}  // namespace tour
