// The windowing layer: the vocabulary of a classic multiple-document program (a frame
// with an MDI client, menus by name, toolbar button sets, modal dialogs with controls by
// id, message boxes, cursors, child windows fed messages, a painter for fixed-pitch text)
// without a single toolkit type. Everything runs on the thread that made the Application,
// except PostCommand, which any thread may call.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gui/Templates.h"

// The layer is built with hidden symbols: what this header declares is its interface.
#pragma GCC visibility push(default)
namespace gui {

// A window handle: 0 is none. Handles are never reused within a run, so a stale handle
// addresses nothing instead of some newer window.
using Window = long;
// A menu handle, from LoadMenu: 0 is none.
using Menu = long;
// A font handle, from CreateFont: 0 is none.
using Font = long;

using Colour = unsigned;  // 0x00BBGGRR, as RGB builds it
constexpr Colour RGB(int r, int g, int b) {
    return static_cast<Colour>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int RedOf(Colour c) {
    return c & 0xFF;
}
constexpr int GreenOf(Colour c) {
    return (c >> 8) & 0xFF;
}
constexpr int BlueOf(Colour c) {
    return (c >> 16) & 0xFF;
}

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

// The one application object; construct it first in main and keep it for the run.
class Application {
public:
    Application(int& argc, char** argv);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;
    // Runs the message loop until Quit; returns Quit's value.
    int Run();
};
void Quit(int code);
// The program's icon, as XPM rows (title bars, the Icon control of dialogs).
void SetAppIcon(const char* const* xpm);
// Runs pending events once (tests and start-up measurements).
void ProcessEvents();

// ---- messages ----------------------------------------------------------------------

enum class Msg {
    Create,         // the window exists; its size is not yet known
    Destroy,        // the window is going away
    Size,           // lParam: width | height << 16 of the client area
    Paint,          // paint what is invalid (BeginPaint/EndPaint)
    VScroll,        // wParam: code (below); lParam: the thumb position, in full
    LButtonDown,    // lParam: x | y << 16
    LButtonDblClk,  // lParam: x | y << 16
    RButtonDown,    // lParam: x | y << 16
    KeyDown,        // wParam: virtual key (below); keys without one are not delivered
    MdiActivate,    // wParam: 1 becoming active, 0 losing activation
    Command,        // id: command id; wParam: notification (0 menu/button, 1 toolbar)
    DropFiles,      // local files were dropped on a window that accepts them (DroppedFiles)
};

enum ScrollCode {
    kLineUp = 0,
    kLineDown = 1,
    kPageUp = 2,
    kPageDown = 3,
    kThumbPosition = 4,
    kThumbTrack = 5
};
enum VirtualKey {
    kVkReturn = 0x0D,
    kVkEscape = 0x1B,
    kVkPrior = 0x21,
    kVkNext = 0x22,
    kVkEnd = 0x23,
    kVkHome = 0x24,
    kVkLeft = 0x25,
    kVkUp = 0x26,
    kVkRight = 0x27,
    kVkDown = 0x28,
    kVkInsert = 0x2D,
    kVkDelete = 0x2E,
    kVkF = 0x46,
    kVkF3 = 0x72,
    kVkF5 = 0x74,
};

struct Message {
    Msg msg = Msg::Command;
    int id = 0;
    long wParam = 0;
    long lParam = 0;
};
inline long MakeLong(int low, int high) {
    return static_cast<long>((static_cast<unsigned long>(high & 0xFFFF) << 16) | (low & 0xFFFF));
}

using WindowProc = std::function<long(Window, const Message&)>;

// Child-window classes: the MDI children of a class get their messages through its procedure.
void RegisterClass(std::string_view className, WindowProc proc, Colour background);

// Delivers a command to a window (frame, child or dialog) from the window thread's queue;
// safe from any thread. A window gone by then gets nothing.
void PostCommand(Window target, int id, long wParam = 0);
// Delivers a command at once (window thread only). Returns the procedure's result.
long SendCommand(Window target, int id, long wParam = 0);

bool IsWindow(Window w);
// Files dragged from the desktop's file manager: a child window that accepts them gets
// DropFiles once the drag has ended (so the handler may run modal dialogs), for local
// files and folders (the handler decides what it takes); remote items are not taken.
void DragAcceptFiles(Window w, bool accept);
// Inside DropFiles: the local paths of the files dropped, in the order dragged.
std::vector<std::string> DroppedFiles();
Rect ClientRect(Window w);  // (0, 0, width, height) of the area a window paints in
bool IsIconic(Window w);
void SetFocus(Window w);

// ---- the frame -----------------------------------------------------------------------

struct FrameSpec {
    const char* title = "";
    int x = 0, y = 0, width = 0, height = 0;  // the outer rectangle
    Colour clientBackground = RGB(128, 128, 128);
};
// The frame gets Create, Destroy (once, before it goes), Command (menus and toolbar)
// and Paint for its MDI client's background (BeginPaint on MdiClient()).
Window CreateFrame(const FrameSpec& spec, WindowProc proc);
Window MdiClient(Window frame);
void ShowFrame(Window frame);
// Ends a window: the frame (which ends the loop's purpose; the frame's Destroy should Quit),
// a child (as MdiDestroy) or nothing else.
void DestroyWindow(Window w);
void SetTitle(Window w, std::string_view title);
std::string GetTitle(Window w);
// The frame's outer rectangle as (x, y, width, height): the rectangle it was created with
// for as long as nobody has moved or resized it.
void GetFramePlacement(Window frame, int& x, int& y, int& width, int& height);
// Moves and sizes the frame's outer rectangle, as the user dragging it would.
void MoveFrame(Window frame, int x, int y, int width, int height);
// The frame's status line.
void SetStatusText(Window frame, std::string_view text);

// Menus: loaded from templates by name; state is kept per menu whether attached or not.
Menu LoadMenu(std::string_view name);
void DestroyMenu(Menu m);
void AttachMenu(Window frame, Menu m);
Menu AttachedMenu(Window frame);
std::string MenuName(Menu m);
void GreyItem(Menu m, int id, bool grey);
void CheckItem(Menu m, int id, bool checked);
bool IsItemGrey(Menu m, int id);
bool IsItemChecked(Menu m, int id);
bool HasItem(Menu m, int id);

// Toolbar images: the standard set; kImageNone shows the label alone.
enum StdImage {
    kImageNone = -1,
    kStdFileOpen = 0,
    kStdFileNew,
    kStdProperties,
    kStdDelete,
    kStdFind,
    kStdReplace,
    kStdRedoW,
    kStdUndo,
};
struct ToolButton {
    int image = kImageNone;
    int id = 0;
    bool enabled = true;
    std::string label;
};
void ClearToolbar(Window frame);
void AddToolButtons(Window frame, std::span<const ToolButton> buttons);
std::vector<ToolButton> ToolButtons(Window frame);
// The tooltip of the button with this id (by default its label), and what it says now.
void SetToolButtonTip(Window frame, int id, std::string_view tip);
std::string ToolButtonTip(Window frame, int id);
// As a click on the button at index (tests, and nothing when there is none).
void PressToolButton(Window frame, int index);
// Trigger a menu item of the attached menu, as a click (tests). False when it is greyed or absent.
bool PressMenuItem(Window frame, int id);

// MDI children
Window CreateChild(Window frame, std::string_view className, std::string_view title, int x, int y,
                   int w, int h);
Window ActiveChild(Window frame);
void MdiDestroy(Window child);
void Cascade(Window frame);
void Tile(Window frame, bool horizontal);
void ArrangeIcons(Window frame);
std::vector<Window> Children(Window frame);
Rect WindowRectOf(Window w);  // outer rectangle, relative to its parent's client area

// ---- assistive technologies ------------------------------------------------------------

// What a list painted line by line tells screen readers and other assistive tools, asked
// for whenever they read it: the window shows itself to them as a list whose children are
// the records (the whole list's count, though only the rows asked for exist as objects),
// each with its line and, where the columns are known, its texts by column.
struct ListAccess {
    std::function<long()> count;                  // records in the whole list
    std::function<long()> current;                // 0-based index of the current record; -1: none
    std::function<long()> top;                    // 0-based index of the first record on the screen
    std::function<long()> shown;                  // records on the screen
    std::function<Rect(long index)> rowRect;      // client rectangle of a record on the screen
    std::function<std::string(long index)> line;  // the record's line, as painted
    std::vector<std::string> columns;             // column headers; empty: none known
    std::function<std::vector<std::string>(long index)> cells;  // the texts by column
};
void SetListAccess(Window w, ListAccess access);
enum class ListChange {
    Current,   // another record became the current one
    Contents,  // the records were replaced (a fetch, a refresh)
};
// Tells the assistive tools that are listening; nothing when none are.
void NotifyList(Window w, ListChange change);
// True when the desktop asks for high contrast: painted windows then take the palette's
// text, base and highlight colours instead of their own.
bool HighContrast();
enum class SysColour { Text, Base, Highlight, HighlightedText };
Colour PaletteColour(SysColour which);

// ---- painting ------------------------------------------------------------------------

Font CreateFont(const char* face, int cellHeight, int weight, bool italic);
void DeleteFont(Font f);

// A device context: drawing into a window. Coordinates are client pixels; text is drawn
// with its cell's top-left corner at (x, y).
class Painter {
public:
    virtual ~Painter() = default;
    virtual void SelectSystemFont() = 0;
    virtual void SelectFixedFont() = 0;
    virtual void SelectFont(Font f) = 0;
    virtual void SetTextColor(Colour c) = 0;
    virtual void SetBkColor(Colour c) = 0;
    virtual void SetBkTransparent(bool transparent) = 0;
    virtual void TextOut(int x, int y, std::string_view text) = 0;
    virtual void FrameRect(const Rect& r, Colour c) = 0;
    virtual void FillRect(const Rect& r, Colour c) = 0;
    // Text height plus external leading of the selected font.
    virtual int LineHeight() = 0;
    virtual int CharWidth() = 0;
};

// Inside Paint: a painter clipped to what is invalid; EndPaint validates it.
Painter* BeginPaint(Window w);
void EndPaint(Window w);
// Outside Paint: draw at once (a cursor frame). Null for windows without a surface.
Painter* GetDC(Window w);
void ReleaseDC(Window w);
// Moves the pixels of the band top..bottom (full width) by dy, clipped to the band.
void ScrollBand(Window w, int top, int bottom, int dy);
// Marks a rectangle (nullptr: all) for painting; erase fills it with the class background.
void Invalidate(Window w, const Rect* r, bool erase);
// Paints what is invalid now, before returning.
void UpdateNow(Window w);

// The vertical scroll bar of a child window.
void SetScrollRange(Window w, int min, int max, bool redraw);
void SetScrollPos(Window w, int pos, bool redraw);
void ShowScrollBar(Window w, bool show);
int GetScrollPos(Window w);
bool IsScrollBarShown(Window w);
void GetScrollRange(Window w, int& min, int& max);

// ---- cursors, message boxes, file dialogs ------------------------------------------

void SetWaitCursor();
void SetArrowCursor();
bool IsWaitCursor();

// An OK message box owned by owner (0: none). Returns 1 (OK).
int MessageBox(Window owner, std::string_view text, std::string_view caption);

// One entry of a file dialog's type list.
struct FileFilter {
    std::string description;  // "HTML Files (*.html)"
    std::string pattern;      // "*.html", or several joined by ';': "*.jpg;*.gif;*.png"
};
struct FileDialogSpec {
    std::string filterName;  // "Connection Files (*.con)": a single entry, when filters is empty
    std::string pattern;     // "*.con"
    std::string folder;      // initial folder
    std::string fileName;    // initial file-name field
    std::string title;       // empty: the usual title
    std::vector<FileFilter> filters;  // the type list in order; the first is preselected
    bool confirmOverwrite = true;     // save: ask before replacing an existing file
};
// True with a full path when the user confirms.
bool GetOpenFileName(Window owner, const FileDialogSpec& spec, std::string& path);
bool GetSaveFileName(Window owner, const FileDialogSpec& spec, std::string& path);

// ---- modal dialogs -------------------------------------------------------------------

class Dialog;
enum class DialogEventKind { Init, Command, Timer };
struct DialogEvent {
    DialogEventKind kind = DialogEventKind::Init;
    int id = 0;       // command id; the timer's id for Timer
    int notify = 0;   // 0 click / menu; kListDoubleClick; kSelectionChanged
    long wParam = 0;  // posted commands carry it through
};
enum DialogNotify { kClicked = 0, kListDoubleClick = 2, kSelectionChanged = 1 };
// What a code editor highlights.
enum class CodeLanguage { Plain, Sql, Java };
using DialogProc = std::function<bool(Dialog&, const DialogEvent&)>;

// Runs a dialog modally; returns End's value (-1 when the template is unknown).
int DialogBox(Window owner, int dialogId, DialogProc proc);

class Dialog {
public:
    virtual ~Dialog() = default;
    virtual void SetText(int id, std::string_view text) = 0;
    // The control's text, at most maxChars characters (the rest is dropped).
    virtual std::string Text(int id, int maxChars) const = 0;
    virtual void Enable(int id, bool enable) = 0;
    virtual bool IsEnabled(int id) const = 0;
    virtual void Check(int id, bool checked) = 0;
    virtual bool IsChecked(int id) const = 0;
    virtual void ListAdd(int id, std::string_view text) = 0;
    virtual void ListClear(int id) = 0;
    virtual int ListCount(int id) const = 0;
    virtual std::string ListText(int id, int index) const = 0;
    virtual void ListSelect(int id, int index) = 0;
    virtual int ListSelection(int id) const = 0;  // -1: none
    virtual void SetTitle(std::string_view title) = 0;
    virtual std::string Title() const = 0;
    virtual void End(int result) = 0;
    virtual bool Ended() const = 0;
    virtual Window Handle() const = 0;
    virtual int Id() const = 0;
    // As a click on a button or menu item (also used by the test driver); false when
    // the control is disabled or absent.
    virtual bool Press(int id) = 0;
    virtual void SetMenuItemGrey(int id, bool grey) = 0;
    // The keyboard focus: Enter presses the focused push button, else the default one.
    virtual void SetFocus(int id) = 0;
    virtual int FocusedId() const = 0;  // -1: no control of the dialog has it
    // Progress bars, in bytes: value of total (total 0: busy, no known end), written on the
    // bar as "3.4 MB of 12.0 MB (28%)"; value -1 hides the bar.
    virtual void SetProgress(int id, long long value, long long total) = 0;
    virtual long long ProgressValue(int id) const = 0;
    virtual bool IsShown(int id) const = 0;
    // Repaints the dialog at once, for a status line shown before a long exchange.
    virtual void Refresh() = 0;
    // The fixed-pitch font on a control, so that columns of text line up.
    virtual void SetFixedFont(int id) = 0;
    // Text views: the caret and the view go to the end of the text.
    virtual void ShowEnd(int id) = 0;
    // Text views: selects the next occurrence of text after the selection, ignoring case
    // and going round from the top; false when there is none.
    virtual bool FindNext(int id, std::string_view text) = 0;
    // Charts: one more point of the series; the axes follow the points.
    virtual void ChartAdd(int id, double x, double y) = 0;
    // A Timer event with this id every ms milliseconds until KillTimer or the dialog ends;
    // setting a running timer again restarts it with the new period.
    virtual void SetTimer(int timerId, int ms) = 0;
    virtual void KillTimer(int timerId) = 0;
    // A key (with Ctrl when ctrl) anywhere in the dialog becomes the command commandId.
    virtual void AddAccelerator(int virtualKey, bool ctrl, int commandId) = 0;
    // Code editors: the language highlighted, and what is highlighted now.
    virtual void SetCodeLanguage(int id, CodeLanguage language) = 0;
    virtual CodeLanguage GetCodeLanguage(int id) const = 0;
    // Code editors: the caret to the start of line (from 1; past the end, the last line),
    // scrolled into view.
    virtual void GoToLine(int id, int line) = 0;
};

}  // namespace gui
#pragma GCC visibility pop
