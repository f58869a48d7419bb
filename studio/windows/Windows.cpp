#include "studio/windows/Windows.h"

#include "studio/resources/WindowResources.h"
#include "studio/shell/Shell.h"
#include "studio/shell/StudioSettings.h"
#include "studio/windows/AppWindow.h"
#include "studio/windows/Monitor.h"

namespace qvw {

void RegisterAll() {
    Host& host = TheHost();
    host.frame = [] { return shell::Frame(); };
    host.menuByName = [](const std::string& name) { return shell::MenuByName(name); };
    host.clearToolbar = [] { shell::ClearToolbar(); };
    host.setToolbar = [](int set) { shell::SetToolbar(set); };
    host.upDownDir = [] { return std::string(shell::Settings().GetUpDownDir()); };
    RegisterWindowResources();
    RegisterAppWindow();
    shell::WindowHooks hooks;
    hooks.openApplications = [] { OpenApplications(); };
    hooks.runMonitor = [] {
        const StudioSettings& st = shell::Settings();
        RunMonitor(
            shell::Frame(),
            {st.GetName(), {st.GetIp1(), st.GetIp2(), st.GetIp3(), st.GetIp4()}, st.GetPort()});
    };
    shell::SetWindowHooks(std::move(hooks));
}

}  // namespace qvw
