// The Users window: the server's users with their description and type ("Dev" users work
// on applications, "Run" users call private requests), their editing dialog and their
// passwords.
#pragma once

#include "studio/windows/ListWindow.h"

namespace qvw {

inline constexpr const char* kUserClassName = "UserClassName";

// The window's kind and list object, for the whole run.
ListWindow& UserWindow();
// Registers the window class (once).
void RegisterUserWindow();
// The frame's Users command, after it showed toolbar set 4.
gui::Window OpenUsers();

// "Dev", "Run" or "???".
const char* UserTypeText(long type);

}  // namespace qvw
