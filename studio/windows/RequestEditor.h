// The request editor (dialog 4) with its parameter dialog (7), the script editor (9) and
// the cancel confirmation (16). The Requests window prepares CurrentReq, ReqParamList,
// ReqUserList and ReqScript before and empties them after.
#pragma once

#include "platform/gui/Gui.h"

namespace qvw {

// Copies the record at index of ReqList into CurrentReq; false when there is none.
bool TakeRequestAt(long index);
// The editor's mode while it is open (1 New, 2 Edit).
extern int ReqMode;
// Opens the editor modally, owned by owner. The dialog outcome says afterwards whether
// the request was saved.
void RunRequestEditor(gui::Window owner, int mode);
// Opens the script editor alone on ReqScript, the script of CurrentReq, with the caret at
// the start of line (from 1). True when Save left the edited text in ReqScript.
bool RunScriptEditorAt(gui::Window owner, long line);

}  // namespace qvw
