// The connect dialog (resource dialog 1) and the two profile operations of its menu.
#pragma once

#include "platform/gui/Gui.h"

namespace shell {

// Caption, address 127.0.0.1, the connection fields, status "Disconnected".
void InitConnectDlg(gui::Dialog& dlg);
bool ConnectDlgProc(gui::Dialog& dlg, const gui::DialogEvent& e);

// The open and save dialogs for "*.con" files; a confirmed choice is loaded or written.
void OpenProfile(gui::Window owner);
void SaveProfileAs(gui::Window owner);

}  // namespace shell
