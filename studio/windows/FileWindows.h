// The file windows of the current application: Files (its whole file area, folder by
// folder), and Htmls, Images and Data (one flat list each of its pages, images and data
// files), with delete, rename, upload, download and files dropped from the desktop.
#pragma once

#include "studio/windows/ListWindow.h"

namespace qvw {

// The window that a View command (Htmls 124, Images 125, Data 126, Files 132) toggles;
// null for any other command.
ListWindow* FileWindow(int viewCommand);
// Registers the four window classes (once).
void RegisterFileWindows();
// The frame's toggle, after it checked the View item: opens the window (or returns the
// open one); 0 for any other command.
gui::Window OpenFileWindow(int viewCommand);

}  // namespace qvw
