// The test driver: scripts what happens when a modal dialog, a message box or a file
// dialog opens, and records every message box, so tests run the real window and dialog
// procedures end to end without a person at the screen.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/gui/Gui.h"

// Exported from the build tree's libqv_gui only: the installed library keeps it inside.
#pragma GCC visibility push(default)
namespace gui::test {

struct MessageRecord {
    Window owner = 0;
    std::string text;
    std::string caption;
};

// While enabled, message boxes and file dialogs never show: boxes are recorded and
// answer OK, file dialogs answer from the queue (cancel when it is empty). A modal
// dialog runs its script once it is up; a dialog without a script, or one still open
// after its script, is cancelled (command 2) and noted in Unscripted().
void Enable();
void Disable();
bool Enabled();
void Reset();  // forget scripts, answers and records

using DialogScript = std::function<void(Dialog&)>;
// Scripts run in the order queued, each for the next dialog with that id.
void OnDialog(int dialogId, DialogScript script);
int PendingScripts();

// Next answers of the file dialogs: a path confirms, nullopt cancels.
void QueueOpenFile(std::optional<std::string> path);
void QueueSaveFile(std::optional<std::string> path);

struct FileDialogRecord {
    bool save = false;
    FileDialogSpec spec;
};
const std::vector<FileDialogRecord>& FileDialogs();

const std::vector<MessageRecord>& MessageBoxes();
const std::vector<int>& DialogsOpened();
const std::vector<int>& Unscripted();

// Every text a painter has drawn since the last Reset, as drawn: bytes that are not
// UTF-8 come back as U+FFFD.
const std::vector<std::string>& DrawnTexts();
// A dialog control as it shows: its pixels (rows of colours, the viewport of a scrolling
// control), the colour of a selection's background, the text it shows (a password's
// dots), and whether that text fits into the control's width.
std::vector<std::vector<Colour>> ControlImage(Dialog& d, int id);
Colour HighlightColour(Dialog& d, int id);
std::string ShownText(Dialog& d, int id);
bool TextFits(Dialog& d, int id);
// The left mouse button pressed at one point of a dialog control (of its viewport, as
// ControlImage), moved to another and let go there.
void DragOn(Dialog& d, int id, int fromX, int fromY, int toX, int toY);

// Pixel of a child window's surface (its client coordinates), for checking what was drawn.
Colour SurfacePixel(Window w, int x, int y);
// Number of Paint messages a window has received, and the last painted rectangle.
int PaintCount(Window w);
Rect LastPaintRect(Window w);
// Delivers input as the toolkit would: key, click, scroll bar action.
void SendKey(Window w, int virtualKey);
void SendMessageTo(Window w, const Message& m);
// Characters typed on a child window, one key press each, as a keyboard gives them.
void TypeText(Window w, std::string_view text);
// Mouse wheel notches over a child window's list or its scroll bar; positive turns
// towards the user (down the list).
void Wheel(Window w, int notches, bool overScrollBar);
// Drops local files on a child window as a file manager would (drag enter, then drop);
// false when the window did not take them. DropFiles arrives with the next events.
bool DropFiles(Window w, const std::vector<std::string>& paths);
// Drags a child window's scroll bar thumb to a position and lets it go.
void DragThumb(Window w, int position);

// Dialogs: a key press given to the focused control (unhandled, it goes to the dialog),
// and characters typed into a control after giving it the focus.
void PressKey(Dialog& d, int virtualKey, bool ctrl = false);
void TypeInto(Dialog& d, int id, std::string_view text);
bool HasCloseBox(Dialog& d);
// Whether a label shows its whole text: the text fits the label, and the label the dialog.
bool ShowsWholeText(Dialog& d, int id);
// The points of a dialog's chart, and the period of a running dialog timer (0: none).
std::vector<std::pair<double, double>> ChartPoints(Dialog& d, int id);
int TimerPeriod(Dialog& d, int timerId);
// The selected text of a text view, and whether it shows its end with the caret there.
std::string SelectedText(Dialog& d, int id);
bool ShowsEnd(Dialog& d, int id);
// A key with modifiers ("Ctrl+F", "F3", "Return") given to the dialog's focused control;
// an enabled menu item of the dialog with that shortcut takes it first, as the toolkit's
// shortcut map would.
void PressKeys(Dialog& d, std::string_view keys);
// A code editor's line (0-based) with the cursor, and its selected text.
int CodeEditorLine(Dialog& d, int id);
std::string CodeEditorSelection(Dialog& d, int id);

// The frame: a toolbar button's caption as it shows, every status text set, and the
// number of live widgets (what was let go is gone first).
std::string ToolButtonCaption(Window frame, int index);
const std::vector<std::string>& StatusTexts();
int LiveWidgets();

}  // namespace gui::test
#pragma GCC visibility pop
