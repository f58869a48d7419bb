// Menus and dialogs as plain data. The studio's resources fill these; the windowing
// layer builds widgets from them, so no widget code knows a menu or a dialog by heart.
#pragma once

#include <vector>

// Part of the layer's interface (see Gui.h).
#pragma GCC visibility push(default)
namespace gui {

// One menu item; id 0 is a separator.
struct MenuItem {
    int id = 0;
    const char* text = "";
    bool grey = false;
    bool checked = false;
    const char* shortcut = nullptr;  // "Ctrl+S": the key that triggers the item
};

struct Popup {
    const char* title = "";
    std::vector<MenuItem> items;
    // The frame's open MDI windows follow the items, numbered, the active one checked.
    bool windowList = false;
};

struct MenuTemplate {
    const char* name = "";
    std::vector<Popup> popups;
};

enum class ControlKind {
    Label,      // static text
    Edit,       // single- or multi-line edit field
    Button,     // push button; a click is the command with its id
    DefButton,  // the default push button (Enter presses it)
    ListBox,
    ComboBox,
    CheckBox,
    Radio,
    Icon,      // the program's icon
    Frame,     // a black frame drawn around a group of fields
    Progress,  // a progress bar with its percentage
    Chart,     // a small line chart of one time series; the text is its title
    TextView,  // a read-only viewer for long texts, fixed-pitch, both scroll bars, find
    // A code editor: line numbers, highlighting by language, find and replace (Ctrl+F,
    // Ctrl+H, F3), go to line (Ctrl+G), undo and redo, a fixed-pitch font. Its text is
    // kept whole, line ends as they came.
    CodeEditor,
};

// Control styles; combine with |.
enum ControlStyle : unsigned {
    kPassword = 1u << 0,
    kReadOnly = 1u << 1,
    kMultiLine = 1u << 2,
    kNoHScroll = 1u << 3,     // the box's width limits what can be typed
    kUnsorted = 1u << 4,      // list entries stay in insertion order (always true here)
    kDropDownList = 1u << 5,  // combo box without an edit part
    kGroupStart = 1u << 6,    // first radio button of a group
    kVScroll = 1u << 7,
    kAlignRight = 1u << 8,  // labels: text flush right, next to its field
    kDisabled = 1u << 9,
    kDigits = 1u << 10,  // edits: only the digits 0 to 9 can be typed
};

// Positions and sizes in dialog units: a quarter of the dialog font's average character
// width horizontally, an eighth of its height vertically.
struct ControlTemplate {
    ControlKind kind = ControlKind::Label;
    int id = -1;  // -1: a control that is never addressed
    const char* text = "";
    int x = 0, y = 0, w = 0, h = 0;
    unsigned style = 0;
    int limit = 0;  // edits: at most this many characters can be typed (0: no limit)
};

// Dialog styles.
enum DialogStyle : unsigned {
    kNoCloseBox = 1u << 0,  // no system menu, no close box: the procedure decides the end
};

struct DialogTemplate {
    int id = 0;
    const char* title = "";
    int w = 0, h = 0;  // dialog units
    std::vector<ControlTemplate> controls;
    const char* menu = nullptr;  // name of a menu template shown as the dialog's menu bar
    unsigned style = 0;          // DialogStyle
};

// The layer looks templates up by name and id in what the program registered.
void RegisterMenuTemplate(const MenuTemplate* tpl);
void RegisterDialogTemplate(const DialogTemplate* tpl);
const MenuTemplate* FindMenuTemplate(const char* name);
const DialogTemplate* FindDialogTemplate(int id);

}  // namespace gui
#pragma GCC visibility pop
