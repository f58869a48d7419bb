// The studio's shell: the frame window, its menus and toolbar sets, the connect dialog,
// and the start-up of the program. The object windows live in a library above this one,
// so the frame reaches them only through the hooks they install here.
#pragma once

#include <functional>
#include <string>

#include "platform/gui/Gui.h"

class StudioSettings;

namespace shell {

// What the frame calls to open the object windows; an empty hook does nothing (the
// command then opens no window, and nothing crashes).
struct WindowHooks {
    std::function<void()> openApplications;      // 103, after set 3 and the list fetch
    std::function<void()> openDataSources;       // 104, after set 4
    std::function<void()> openUsers;             // 105, after set 4
    std::function<void()> runMonitor;            // 106
    std::function<void()> openRequests;          // 123, after title, REQ_MENU and the check
    std::function<void(int id)> openFileWindow;  // 124, 125, 126, 132
};
void SetWindowHooks(WindowHooks hooks);

// The frame and the six menus, valid while the frame exists.
gui::Window Frame();
gui::Menu MenuByName(const std::string& name);  // "MAIN_MENU", "FUNC_MENU", "APP_MENU", ...

// Toolbar sets 1 to 6.
void ClearToolbar();
void SetToolbar(int set);

// The connected title "%s - %s [%i.%i.%i.%i:%i]" and, with an application, its longer form.
void SetConnectedTitle();
void SetApplicationTitle(const std::string& appName);

// Handles of the Requests, Htmls, Images, Data and Files windows: 0 while absent. Each
// window sets and clears its own; the frame's 122, 123 to 126, 132 and 127 read them.
enum class ChildSlot { Requests, Htmls, Images, Data, Files };
gui::Window& ChildHandle(ChildSlot slot);

// The start directory of the run.
const std::string& StartDirectory();

// The one settings object of the run (connection, up/down folder, placement, profiles).
StudioSettings& Settings();

// The start-up without the loop: the single-instance check, the configuration, the fonts,
// the frame with toolbar set 1. 0 with the frame shown; -1 when the start is refused
// (the reason was shown in a message box). Needs the gui::Application and the resources.
int Start();
// After the loop: logout when still connected, the fonts and the single-instance lock
// released.
void Finish();
// Called once, when the frame has painted for the first time (start-up measurements).
void OnFirstPaint(std::function<void()> hook);

// The whole program: single instance, configuration, frame, loop, logout at exit.
// Returns the loop's value, or -1 when the start is refused.
int Run(int argc, char** argv);

}  // namespace shell
