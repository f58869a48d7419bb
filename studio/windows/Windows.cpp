#include "studio/windows/Windows.h"

#include "studio/resources/WindowResources.h"
#include "studio/shell/Shell.h"
#include "studio/shell/StudioSettings.h"
#include "studio/windows/AppWindow.h"
#include "studio/windows/DSWindow.h"
#include "studio/windows/FileWindows.h"
#include "studio/windows/Monitor.h"
#include "studio/windows/ReqWindow.h"
#include "studio/windows/UserWindow.h"

namespace qvw {

static_assert(static_cast<int>(shell::ChildSlot::Requests) == kSlotRequests &&
              static_cast<int>(shell::ChildSlot::Files) == kSlotFiles);

void RegisterAll() {
    Host& host = TheHost();
    host.frame = [] { return shell::Frame(); };
    host.menuByName = [](const std::string& name) { return shell::MenuByName(name); };
    host.clearToolbar = [] { shell::ClearToolbar(); };
    host.setToolbar = [](int set) { shell::SetToolbar(set); };
    host.upDownDir = [] { return std::string(shell::Settings().GetUpDownDir()); };
    // The windows' slots are the shell's, in the same order.
    host.setSlot = [](WindowSlot slot, gui::Window w) {
        shell::ChildHandle(static_cast<shell::ChildSlot>(slot)) = w;
    };
    RegisterWindowResources();
    RegisterAppWindow();
    RegisterReqWindow();
    RegisterDSWindow();
    RegisterUserWindow();
    RegisterFileWindows();
    shell::WindowHooks hooks;
    hooks.openApplications = [] { OpenApplications(); };
    hooks.openDataSources = [] { OpenDataSources(); };
    hooks.openUsers = [] { OpenUsers(); };
    hooks.runMonitor = [] {
        const StudioSettings& st = shell::Settings();
        RunMonitor(
            shell::Frame(),
            {st.GetName(), {st.GetIp1(), st.GetIp2(), st.GetIp3(), st.GetIp4()}, st.GetPort()});
    };
    hooks.openRequests = [] { OpenRequests(); };
    hooks.openFileWindow = [](int id) { OpenFileWindow(id); };
    shell::SetWindowHooks(std::move(hooks));
}

}  // namespace qvw
