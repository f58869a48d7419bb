// quorvel-monitor-tour: the monitor and a trace under a virtual X server, for screenshots.
// Run it in a workspace prepared like the studio's own (quorvelide.cfg), with a devserver
// holding the demo data.
//
//   quorvel-monitor-tour DIR PORT PASSWORD
//       connects to 127.0.0.1:PORT as admin, adds two applications, turns the System
//       and Application traces on, lets the monitor refresh itself a few times and writes
//       DIR/monitor.png and DIR/trace.png (the whole screen; needs ImageMagick's import)
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/gui/Gui.h"
#include "platform/gui/TestDriver.h"
#include "studio/resources/MonitorResources.h"
#include "studio/resources/ShellResources.h"
#include "studio/session/ServerSession.h"
#include "studio/shell/Shell.h"
#include "studio/shell/StudioSettings.h"
#include "studio/shell/tools/TourShots.h"
#include "studio/windows/Windows.h"

namespace {

std::string g_Dir;

void Shot(const char* name) {
    tour::Settle();
    const std::string cmd = "import -window root '" + g_Dir + "/" + name + ".png'";
    if (std::system(cmd.c_str()) != 0)
        std::fprintf(stderr, "quorvel-monitor-tour: %s failed\n", cmd.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: quorvel-monitor-tour DIR PORT PASSWORD\n");
        return 2;
    }
    g_Dir = argv[1];
    const std::string port = argv[2], password = argv[3];
    gui::Application app(argc, argv);
    RegisterShellResources();
    gui::SetAppIcon(AppIconXpm());
    qvw::RegisterAll();
    if (shell::Start() != 0) return 1;
    tour::Settle();
    gui::test::Enable();
    tour::Connect(port, password);
    shell::Settings().SetName("Demo server");
    struct App {
        const char* name;
        const char* description;
    };
    for (App a : {App{"inventory", "Stock levels and reorders"},
                  App{"helpdesk-tickets-2026", "Support tickets of the service desk team"}}) {
        CurrentApp.m_Name = a.name;
        CurrentApp.m_Description = a.description;
        CurrentApp.m_SessionTimeout = 30;
        Session.Execute(kCmdNewApp);
    }
    // Traces on, so that the System trace has something to show.
    gui::test::OnDialog(kMonitorDialog, [](gui::Dialog& d) {
        d.Check(kIdMonSystemTrace, true);
        d.Check(kIdMonAppTrace, true);
        d.Press(kIdMonSave);
    });
    gui::SendCommand(shell::Frame(), 106);
    gui::test::OnDialog(kTraceDialog, [](gui::Dialog& d) {
        Shot("trace");
        d.Press(2);
    });
    gui::test::OnDialog(kMonitorDialog, [](gui::Dialog& d) {
        d.SetText(kIdMonInterval, "1");
        d.Press(kIdMonAutoRefresh);
        for (int i = 0; i < 300; ++i) {  // about six refreshes
            gui::ProcessEvents();
            usleep(20000);
        }
        d.ListSelect(kIdMonApps, 1);
        Shot("monitor");
        d.Press(kIdMonSystem);
        d.Press(2);
    });
    gui::SendCommand(shell::Frame(), 106);
    for (const auto& box : gui::test::MessageBoxes())
        std::fprintf(stderr, "quorvel-monitor-tour: message box \"%s\"\n", box.text.c_str());
    if (shell::Frame()) gui::DestroyWindow(shell::Frame());
    gui::ProcessEvents();
    shell::Finish();
    gui::test::Disable();
    return 0;
}
