// quorvelide-tour: drives the studio through its first states, for screenshots under a
// virtual X server and for the start-up measurement. Run it in a workspace prepared like
// the studio's own (quorvelide.cfg, one profile).
//
//   quorvelide-tour measure
//       prints the milliseconds from process start to the frame's first paint
//   quorvelide-tour shots DIR PASSWORD [SCALE]
//       writes DIR/frame.png, connect-ssh.png, connect.png, connected.png and about.png
//       (needs ImageMagick's import); SCALE is the QT_SCALE_FACTOR in use, to crop the
//       frame's area
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/gui/Gui.h"
#include "platform/gui/TestDriver.h"
#include "studio/resources/ShellResources.h"
#include "studio/shell/Shell.h"
#include "studio/shell/tools/TourShots.h"

namespace {

using tour::Settle;

// Milliseconds since this process started, from the kernel's record of its start.
double MillisSinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::size_t close = all.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream rest(all.substr(close + 2));
    std::string field;
    // Fields after the name start at 3 (state); the start time is field 22.
    for (int i = 3; i < 22; ++i) rest >> field;
    unsigned long long startTicks = 0;
    rest >> startTicks;
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    double nowMs = now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
    return nowMs - startTicks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::string g_Dir;
double g_Scale = 1;

void Shot(const char* name) {
    tour::Shot(g_Dir, g_Scale, name, "quorvelide-tour");
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode != "measure" && !(mode == "shots" && argc >= 4)) {
        std::fprintf(stderr, "usage: quorvelide-tour measure | shots DIR PASSWORD [SCALE]\n");
        return 2;
    }
    const double atMain = MillisSinceProcessStart();
    gui::Application app(argc, argv);
    const double atApplication = MillisSinceProcessStart();
    RegisterShellResources();
    gui::SetAppIcon(AppIconXpm());
    bool painted = false;
    double firstPaint = 0;
    shell::OnFirstPaint([&] {
        painted = true;
        firstPaint = MillisSinceProcessStart();
    });
    if (shell::Start() != 0) return 1;
    for (int i = 0; i < 500 && !painted; ++i) {
        gui::ProcessEvents();
        if (!painted) usleep(2000);
    }
    if (mode == "measure") {
        std::printf(
            "first painted frame after %.0f ms (main entered at %.0f ms, toolkit up at %.0f ms)\n",
            firstPaint, atMain, atApplication);
        shell::Finish();
        return painted ? 0 : 1;
    }
    g_Dir = argv[2];
    std::string password = argv[3];
    if (argc > 4) g_Scale = std::atof(argv[4]);
    // Dialogs are scripted; message boxes are only recorded.
    gui::test::Enable();
    Shot("frame");
    // The dialog as for a server behind an SSH host, then cancelled.
    gui::test::OnDialog(kConnectDialog, [&](gui::Dialog& d) {
        d.SetText(205, "8090");
        d.SetText(206, "admin");
        d.SetText(207, password);
        d.SetText(209, "admin@gw.example.com");
        Shot("connect-ssh");
        d.Press(2);
    });
    gui::SendCommand(shell::Frame(), 101);
    Settle(2);
    gui::test::OnDialog(kConnectDialog, [&](gui::Dialog& d) {
        d.SetText(207, password);
        Shot("connect");
        d.Press(1);
    });
    gui::PressToolButton(shell::Frame(), 0);
    Settle(5);
    Shot("connected");
    gui::test::OnDialog(kAboutDialog, [](gui::Dialog& d) {
        Shot("about");
        d.Press(1);
    });
    gui::SendCommand(shell::Frame(), 107);
    for (const auto& box : gui::test::MessageBoxes())
        std::fprintf(stderr, "quorvelide-tour: message box \"%s\"\n", box.text.c_str());
    shell::Finish();
    gui::test::Disable();
    return 0;
}
