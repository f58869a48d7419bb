// Find in Scripts (Requests window, Ctrl+Shift+F): the lines of the listed requests'
// scripts that hold a text, in a list from which a line opens its script there.
#pragma once

#include "platform/gui/Gui.h"

namespace qvw {

// Runs the dialog modally over the requests of ReqList, owned by owner.
void RunFindInScripts(gui::Window owner);

}  // namespace qvw
