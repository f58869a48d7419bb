// The Data Sources window: the server's data sources with their number of connections,
// their editing dialog, and the database user name and password each logs in with.
#pragma once

#include "studio/windows/ListWindow.h"

namespace qvw {

inline constexpr const char* kDSClassName = "DSClassName";

// The window's kind and list object, for the whole run.
ListWindow& DSWindow();
// Registers the window class (once).
void RegisterDSWindow();
// The frame's Data Sources command, after it showed toolbar set 4.
gui::Window OpenDataSources();

}  // namespace qvw
