// The Applications window: the applications of the server, their editing dialog with
// the users allowed to work on each, and the whole-application upload and download.
#pragma once

#include "studio/windows/ListWindow.h"

namespace qvw {

inline constexpr const char* kAppClassName = "AppClassName";

// The window's kind and list object, for the whole run.
ListWindow& AppWindow();
// Registers the window class (once).
void RegisterAppWindow();
// The frame's Applications command, after it fetched AppList.
gui::Window OpenApplications();

// The application dialog's mode (1 New, 2 Edit).
extern int AppMode;
// Recomputes AvailUserList: the "Dev" users of UserList not in AppUserList.
void ComputeAvailableUsers();

}  // namespace qvw
