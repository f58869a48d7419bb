// The Requests window: the requests of the application in CurrentApp, their editor, the
// delete confirmation, and the single-request upload and download.
#pragma once

#include "studio/windows/ListWindow.h"

namespace qvw {

inline constexpr const char* kReqClassName = "ReqClassName";

// The window's kind and list object, for the whole run.
ListWindow& ReqWindow();
// Registers the window class (once).
void RegisterReqWindow();
// The frame's Requests command, after the title, REQ_MENU and its check.
gui::Window OpenRequests();

// "SQL", "JAVA" or "???"; "+ Public", "- Private" or "???".
const char* LanguageText(long language);
const char* AccessText(long access);

}  // namespace qvw
